#include "jogpanel.h"
#include "boardmodel.h"
#include "shape.h"

#include <QDial>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace boardsim {

// Report byte 3 is the shuttle, 4 and 5 the jog counts; the rest are keys.
const std::array<JogKeyInput, 34> jogKeyInputs = {{
    {0, 155, 10, 0, 0x01, 0},     {1, 155, 55, 0, 0x02, 0},     {2, 155, 100, 0, 0x04, 0},
    {3, 155, 145, 0, 0x08, 0},    {4, 210, 10, 2, 0x80, 0},     {5, 210, 55, 2, 0x40, 0},
    {6, 210, 100, 2, 0x20, 0},    {7, 210, 145, 2, 0x10, 0},    {8, 265, 10, 2, 0x01, 0},
    {9, 265, 55, 2, 0x02, 0},     {10, 265, 100, 2, 0x04, 0},   {11, 265, 145, 2, 0x08, 0},
    {12, 100, 500, 1, 0x02, 0},   {13, 155, 500, 1, 0x08, 0},   {14, 210, 500, 1, 0x04, 0},
    {15, 265, 500, 1, 0x01, 0},   {16, 100, 10, 0, 0x80, 0x80}, {17, 100, 55, 0, 0x40, 0x40},
    {18, 10, 210, 0, 0x20, 0x01}, {19, 10, 255, 0, 0x10, 0x02}, {20, 10, 300, 1, 0x80, 0x04},
    {21, 10, 345, 1, 0x40, 0x08}, {22, 10, 390, 1, 0x20, 0x10}, {23, 10, 435, 1, 0x10, 0x20},
    {32, 370, 10, 6, 0x01, 0},    {33, 370, 55, 6, 0x02, 0},    {34, 370, 100, 6, 0x04, 0},
    {35, 370, 145, 6, 0x08, 0},   {36, 370, 190, 6, 0x10, 0},   {37, 370, 235, 6, 0x20, 0},
    {38, 370, 280, 6, 0x40, 0},   {39, 370, 325, 6, 0x80, 0},   {40, 370, 455, 7, 0x02, 0},
    {41, 370, 500, 7, 0x01, 0},
}};

namespace {

constexpr int firstFreeLed = 24; // indicators 24..31: LED byte bits 0x80..0x01
constexpr int panelWidth = 550;
constexpr int panelHeight = 430;

int bitNumber(uint8_t mask)
{
    int bit = 0;
    while (mask > 1) {
        mask >>= 1;
        ++bit;
    }
    return bit;
}

gui::Shape* makeLed(QWidget* parent, int x, int y)
{
    auto* led = new gui::Shape(parent);
    led->setShape(gui::Shape::Kind::Circle);
    led->setGeometry(x, y, 10, 10);
    led->setAttribute(Qt::WA_TransparentForMouseEvents);
    return led;
}

uint8_t reportByte(const std::vector<uint8_t>& report, int index)
{
    return size_t(index) < report.size() ? report[size_t(index)] : 0;
}

QString hexByte(uint8_t b)
{
    return QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
}

} // namespace

JogPanel::JogPanel(BoardModel& board, QWidget* parent)
    : QGroupBox("Jog/shuttle-eenheid", parent), board_(board)
{
    auto* outer = new QVBoxLayout(this);
    auto* area = new QWidget;
    area->setFixedSize(panelWidth, panelHeight);
    outer->addWidget(area);

    // Gray while the key is up, white while it is held, as the jog program shows it.
    area->setStyleSheet("QPushButton#jogKey { background: #808080; border: 1px solid black;"
                        " color: #202020; padding-top: 14px; }"
                        "QPushButton#jogKey:checked { background: white; }");
    for (const JogKeyInput& in : jogKeyInputs) {
        auto* key =
            new QPushButton(QString("%1.%2").arg(in.reportByte).arg(bitNumber(in.mask)), area);
        key->setObjectName("jogKey");
        key->setCheckable(true);
        key->setFocusPolicy(Qt::NoFocus);
        key->setGeometry(in.left, in.top, 40, 50);
        key->setToolTip(QString("Toets %1: stuurrapport byte %2, bit %3")
                            .arg(in.indicator)
                            .arg(in.reportByte)
                            .arg(hexByte(in.mask)));
        connect(key, &QPushButton::clicked, this, [this, in](bool down) {
            board_.setControlBits(size_t(in.reportByte), in.mask, down ? in.mask : 0);
        });
        keys_[size_t(in.indicator)] = key;
        if (in.flagBit != 0)
            leds_[size_t(in.indicator)] = makeLed(key, 15, 5);
    }
    for (int i = firstFreeLed; i < firstFreeLed + 8; ++i) {
        leds_[size_t(i)] = makeLed(area, 25 + 45 * (i - firstFreeLed), 350);
        leds_[size_t(i)]->setToolTip(QString("LED-byte bit %1").arg(hexByte(0x80 >> (i - 24))));
    }

    ledBytes_ = new QLabel(area);
    ledBytes_->setGeometry(8, 8, 190, 34);

    shuttleLabel_ = new QLabel(area);
    shuttleLabel_->setGeometry(210, 146, 265, 18);
    shuttle_ = new QSlider(Qt::Horizontal, area);
    shuttle_->setGeometry(210, 166, 265, 24);
    shuttle_->setRange(-128, 127);
    shuttle_->setTickPosition(QSlider::TicksBelow);
    shuttle_->setTickInterval(32);
    // Only a held shuttle leaves the middle: no page or wheel steps, no focus.
    shuttle_->setPageStep(0);
    shuttle_->setSingleStep(0);
    shuttle_->setFocusPolicy(Qt::NoFocus);
    connect(shuttle_, &QSlider::sliderMoved, this,
            [this](int value) { board_.setControlBits(3, 0xFF, uint8_t(int8_t(value))); });
    // The spring: letting go brings the shuttle back to 0.
    connect(shuttle_, &QSlider::sliderReleased, this,
            [this] { board_.setControlBits(3, 0xFF, 0); });

    leftCount_ = new QLabel(area);
    leftCount_->setGeometry(208, 198, 120, 16);
    rightCount_ = new QLabel(area);
    rightCount_->setGeometry(355, 198, 120, 16);
    rightCount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    wheel_ = new QDial(area);
    wheel_->setGeometry(288, 222, 100, 100);
    wheel_->setRange(0, wheelSteps - 1);
    wheel_->setWrapping(true);
    wheel_->setNotchesVisible(true);
    wheel_->setFocusPolicy(Qt::NoFocus);
    wheel_->setToolTip("Jogwiel: draai met de muis of het muiswiel");
    connect(wheel_, &QDial::valueChanged, this, &JogPanel::turnWheel);
    auto* wheelLabel = new QLabel("Jogwiel", area);
    wheelLabel->setGeometry(288, 322, 100, 16);
    wheelLabel->setAlignment(Qt::AlignCenter);

    refresh();
}

void JogPanel::turnWheel(int value)
{
    // The shorter way round: a drag across the top of the dial wraps.
    int delta = value - wheelPosition_;
    if (delta > wheelSteps / 2)
        delta -= wheelSteps;
    else if (delta < -wheelSteps / 2)
        delta += wheelSteps;
    wheelPosition_ = value;
    board_.addJogSteps(delta);
}

void JogPanel::refresh()
{
    const std::vector<uint8_t>& report = board_.controlReport();
    for (const JogKeyInput& in : jogKeyInputs)
        keys_[size_t(in.indicator)]->setChecked((reportByte(report, in.reportByte) & in.mask) != 0);

    uint8_t flags = board_.jogFlags();
    uint8_t ledByte = board_.jogLeds();
    for (const JogKeyInput& in : jogKeyInputs)
        if (in.flagBit != 0)
            leds_[size_t(in.indicator)]->setBrushColor((flags & in.flagBit) ? gui::clRed
                                                                            : gui::clMaroon);
    for (int n = 0; n < 8; ++n)
        leds_[size_t(firstFreeLed + n)]->setBrushColor(((ledByte << n) & 0x80) ? gui::clLime
                                                                               : gui::clGreen);
    ledBytes_->setText(QString("LED-byte %1\nVlagbyte %2").arg(hexByte(ledByte), hexByte(flags)));

    int shuttle = int8_t(reportByte(report, 3));
    if (!shuttle_->isSliderDown())
        shuttle_->setValue(shuttle);
    shuttleLabel_->setText(QString("Shuttle: %1 (loslaten: terug naar 0)").arg(shuttle));
    leftCount_->setText(QString("Links: %1").arg(board_.jogLeftSteps()));
    rightCount_->setText(QString("Rechts: %1").arg(board_.jogRightSteps()));
}

} // namespace boardsim
