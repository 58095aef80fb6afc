// The jog window without a board: layout, components, device path, start-up.
#include "jogtesting.h"

#include "gauge.h"
#include "opendialog.h"
#include "timer.h"
#include "unitjog.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <memory>

namespace {

using jogtesting::isWhite;

class JogWindow : public ::testing::Test {
protected:
    void SetUp() override { window = std::make_unique<TformJog>(QStringList{}); }

    jogtesting::NoBoard noBoard;
    jogtesting::Messages messages;
    std::unique_ptr<TformJog> window;
};

struct Placement {
    int index;
    const char* className;
    int top, left;
};

// The panel row by row, as the user sees it.
constexpr Placement panel[] = {
    {18, "LedKeyButton", 10, 210}, {19, "LedKeyButton", 10, 255}, {20, "LedKeyButton", 10, 300},
    {21, "LedKeyButton", 10, 345}, {22, "LedKeyButton", 10, 390}, {23, "LedKeyButton", 10, 435},
    {16, "LedKeyButton", 100, 10}, {17, "LedKeyButton", 100, 55}, {12, "KeyButton", 100, 500},
    {0, "KeyButton", 155, 10},     {1, "KeyButton", 155, 55},     {2, "KeyButton", 155, 100},
    {3, "KeyButton", 155, 145},    {13, "KeyButton", 155, 500},   {4, "KeyButton", 210, 10},
    {5, "KeyButton", 210, 55},     {6, "KeyButton", 210, 100},    {7, "KeyButton", 210, 145},
    {14, "KeyButton", 210, 500},   {8, "KeyButton", 265, 10},     {9, "KeyButton", 265, 55},
    {10, "KeyButton", 265, 100},   {11, "KeyButton", 265, 145},   {15, "KeyButton", 265, 500},
    {24, "Led", 350, 25},          {25, "Led", 350, 70},          {26, "Led", 350, 115},
    {27, "Led", 350, 160},         {28, "Led", 350, 205},         {29, "Led", 350, 250},
    {30, "Led", 350, 295},         {31, "Led", 350, 340},         {32, "KeyButton", 370, 10},
    {33, "KeyButton", 370, 55},    {34, "KeyButton", 370, 100},   {35, "KeyButton", 370, 145},
    {36, "KeyButton", 370, 190},   {37, "KeyButton", 370, 235},   {38, "KeyButton", 370, 280},
    {39, "KeyButton", 370, 325},   {40, "KeyButton", 370, 455},   {41, "KeyButton", 370, 500},
};
static_assert(std::size(panel) == 42);

TEST_F(JogWindow, IndicatorPanel)
{
    std::set<int> seen;
    for (const Placement& p : panel) {
        SCOPED_TRACE(p.index);
        QWidget* indicator = window->indicators[p.index];
        ASSERT_NE(indicator, nullptr);
        EXPECT_STREQ(indicator->metaObject()->className(), p.className);
        EXPECT_EQ(indicator->y(), p.top);
        EXPECT_EQ(indicator->x(), p.left);
        EXPECT_EQ(indicator->size(),
                  std::string(p.className) == "Led" ? QSize(10, 10) : QSize(40, 50));
        EXPECT_EQ(indicator->parentWidget(), window.get());
        seen.insert(p.index);
    }
    EXPECT_EQ(seen.size(), 42u);
}

TEST_F(JogWindow, PanelStartsInItsInitialState)
{
    for (int i = 0; i < 42; ++i) {
        SCOPED_TRACE(i);
        if (auto* led = qobject_cast<Led*>(window->indicators[i])) {
            EXPECT_EQ(led->onColor, gui::clLime);
            EXPECT_EQ(led->offColor, gui::clGreen);
            EXPECT_FALSE(led->isOn());
        } else {
            EXPECT_FALSE(isWhite(window->indicators[i]));
            if (auto* key = qobject_cast<LedKeyButton*>(window->indicators[i])) {
                EXPECT_FALSE(key->isLedOn());
            }
        }
    }
}

TEST_F(JogWindow, FreeStandingLedsSitCentredAboveTheirKeys)
{
    for (int n = 0; n < 8; ++n) {
        const QRect led = window->indicators[24 + n]->geometry();
        const QRect key = window->indicators[32 + n]->geometry();
        EXPECT_EQ(led.center().x(), key.center().x()) << n;
        EXPECT_LT(led.bottom(), key.top()) << n;
    }
}

TEST_F(JogWindow, WindowFrame)
{
    EXPECT_EQ(window->windowTitle(), "Jog Shuttle testprogramma (\\\\.\\ezusb-0)");
    EXPECT_EQ(window->size(), QSize(593, 445));
    EXPECT_EQ(window->minimumSize(), QSize(593, 445));
    EXPECT_EQ(window->maximumSize(), QSize(593, 445));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_EQ(window->font().pointSize(), 8);
    const QPoint screenCentre = window->screen()->geometry().center();
    EXPECT_LE((window->geometry().center() - screenCentre).manhattanLength(), 2);
}

struct Component {
    const char* name;
    const char* className;
    QRect geometry;
};

TEST_F(JogWindow, DesignTimeComponents)
{
    const Component components[] = {
        {"labelRotation", "QLabel", {288, 320, 100, 13}},
        {"cGaugeJogShuttle", "gui::Gauge", {288, 264, 100, 52}},
        {"cGaugeJog", "gui::Gauge", {210, 192, 265, 17}},
        {"buttonFirmware", "QPushButton", {280, 136, 121, 25}},
        {"progressBar", "QProgressBar", {0, 428, 593, 17}},
    };
    for (const Component& c : components) {
        SCOPED_TRACE(c.name);
        auto* w = window->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.className);
        EXPECT_EQ(w->geometry(), c.geometry);
    }
    EXPECT_EQ(window->labelRotation()->text(), "+0");
    EXPECT_EQ(window->labelRotation()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(window->buttonFirmware()->text(), "Firmware downloaden");
    EXPECT_EQ(window->progressBar()->minimum(), 0);
    EXPECT_EQ(window->progressBar()->maximum(), 100);
    EXPECT_EQ(window->progressBar()->value(), 0);
    EXPECT_EQ(window->bitLabels,
              (std::array{window->label1(), window->label2(), window->label3()}));
}

TEST_F(JogWindow, FirmwareButtonStaysHiddenAndProgressBarAtTheBottom)
{
    window->show();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->buttonFirmware()->isVisible());
    EXPECT_TRUE(window->progressBar()->isVisible());
    EXPECT_EQ(window->progressBar()->geometry().bottom(), window->height() - 1);
}

TEST_F(JogWindow, SelfSizingLabelsKeepTheirEdgeAndShowTheWholeText)
{
    struct Edge {
        QLabel* label;
        int left;  // -1: right-aligned, see right
        int right; // last pixel column
        int top;
    };
    const Edge edges[] = {{window->label1(), 8, -1, 8},
                          {window->label2(), 8, -1, 24},
                          {window->label3(), 8, -1, 40},
                          {window->labelJogCountLeft(), 208, -1, 216},
                          {window->labelJogCountRight(), -1, 471, 216}};
    for (const Edge& e : edges) {
        SCOPED_TRACE(e.label->objectName().toStdString());
        EXPECT_EQ(e.label->text(), "xxxxxxxx");
        const QRect g = e.label->geometry();
        EXPECT_EQ(g.top(), e.top);
        if (e.left >= 0)
            EXPECT_EQ(g.left(), e.left);
        else
            EXPECT_EQ(g.right(), e.right);
        EXPECT_GE(g.width(), e.label->fontMetrics().horizontalAdvance(e.label->text()));
        EXPECT_GE(g.height(), e.label->fontMetrics().height());
    }
    EXPECT_TRUE(window->labelJogCountRight()->alignment() & Qt::AlignRight);
}

TEST_F(JogWindow, Gauges)
{
    gui::Gauge* bar = window->cGaugeJog();
    EXPECT_EQ(bar->kind(), gui::Gauge::HorizontalBar);
    EXPECT_EQ(bar->minValue(), 0);
    EXPECT_EQ(bar->maxValue(), 100);
    EXPECT_EQ(bar->progress(), 50);
    EXPECT_EQ(bar->foreColor(), gui::fromTColor(gui::clNavy));
    EXPECT_TRUE(bar->showText());

    gui::Gauge* needle = window->cGaugeJogShuttle();
    EXPECT_EQ(needle->kind(), gui::Gauge::Needle);
    EXPECT_EQ(needle->minValue(), -11);
    EXPECT_EQ(needle->maxValue(), 11);
    EXPECT_EQ(needle->progress(), 0);
    EXPECT_FALSE(needle->showText());
    EXPECT_EQ(needle->borderStyle(), gui::Gauge::BorderNone);
    EXPECT_EQ(needle->foreColor(), gui::fromTColor(gui::clWhite));
    EXPECT_EQ(needle->backColor(), gui::fromTColor(gui::clGray));
}

TEST_F(JogWindow, NonVisualComponents)
{
    EXPECT_EQ(window->timer->interval(), 50);
    EXPECT_TRUE(window->timer->isActive());
    EXPECT_EQ(window->timer->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(window->timer->parent(), window.get());
    const gui::OpenDialog* dialog = window->openDialogFirmware;
    EXPECT_EQ(dialog->defaultExt, "bix");
    EXPECT_EQ(dialog->filter, "Binaire firmware bestanden (*.bix)|*.bix");
    EXPECT_EQ(dialog->options, gui::OpenDialog::HideReadOnly | gui::OpenDialog::PathMustExist |
                                   gui::OpenDialog::FileMustExist | gui::OpenDialog::EnableSizing);
    EXPECT_TRUE(dialog->title.isEmpty());
}

// Without a board: the open message, then the first poll's read message, and
// no further tick.
TEST_F(JogWindow, BoardAbsentReportsOpenThenReadFailure)
{
    EXPECT_EQ(window->device, INVALID_HANDLE_VALUE);
    ASSERT_EQ(messages.texts, QStringList{jogtesting::openFailed});
    bool timerRanDuringMessage = true;
    messages.onMessage = [&] { timerRanDuringMessage = window->timer->isActive(); };
    QDeadlineTimer deadline(2000);
    while (messages.texts.size() < 2 && !deadline.hasExpired())
        QTest::qWait(10);
    QTest::qWait(200);
    EXPECT_EQ(messages.texts, (QStringList{jogtesting::openFailed, jogtesting::readFailed}));
    EXPECT_FALSE(timerRanDuringMessage);
    EXPECT_FALSE(window->timer->isActive());
    EXPECT_EQ(window->label1()->text(), "xxxxxxxx");
    EXPECT_EQ(window->labelRotation()->text(), "+0");
    EXPECT_EQ(window->cGaugeJog()->progress(), 50);
    for (int i : {0, 12, 16, 32, 41})
        EXPECT_FALSE(isWhite(window->indicators[i])) << i;
}

struct PathCase {
    const char* name;
    QStringList args;
    const char* devicePath;
};

void PrintTo(const PathCase& c, std::ostream* os)
{
    *os << c.name;
}

class DevicePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DevicePath, FromTheFirstArgumentIntoTheCaption)
{
    jogtesting::NoBoard noBoard;
    jogtesting::Messages messages;
    TformJog window(GetParam().args);
    const std::string path = GetParam().devicePath;
    EXPECT_EQ(window.devicePath, path);
    EXPECT_EQ(window.windowTitle().toStdString(), "Jog Shuttle testprogramma (" + path + ")");
    EXPECT_EQ(messages.texts, QStringList{jogtesting::openFailed});
}

INSTANTIATE_TEST_SUITE_P(JogWindow, DevicePath,
                         ::testing::Values(PathCase{"none", {}, "\\\\.\\ezusb-0"},
                                           PathCase{"empty", {""}, "\\\\.\\ezusb-0"},
                                           PathCase{"two", {"2"}, "\\\\.\\ezusb-2"},
                                           PathCase{"abc", {"abc"}, "\\\\.\\ezusb-abc"},
                                           PathCase{"extra", {"3", "7", "x"}, "\\\\.\\ezusb-3"},
                                           PathCase{"emptyThenMore", {"", "5"}, "\\\\.\\ezusb-0"},
                                           PathCase{"spaced", {" 1"}, "\\\\.\\ezusb- 1"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
