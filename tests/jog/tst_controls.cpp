#include "jogtesting.h"

#include <QPointer>
#include <QTest>

namespace {

using jogtesting::isWhite;

TEST(KeyButton, StartsGrayAndShowsItsInputWhite)
{
    QWidget owner;
    auto* key = new KeyButton(&owner);
    EXPECT_EQ(key->size(), QSize(40, 50));
    EXPECT_EQ(key->shape->geometry(), QRect(0, 0, 40, 50));
    EXPECT_EQ(key->shape->shape(), gui::Shape::Kind::Rectangle);
    EXPECT_EQ(key->shape->penColor(), gui::clBlack);
    EXPECT_EQ(key->shape->brushColor(), gui::clGray);
    EXPECT_EQ(key->shape->parentWidget(), key);
    EXPECT_EQ(key->parentWidget(), &owner);

    const struct {
        bool active;
        uint32_t color;
    } steps[] = {{true, gui::clWhite},
                 {true, gui::clWhite},
                 {false, gui::clGray},
                 {false, gui::clGray},
                 {true, gui::clWhite}};
    for (const auto& step : steps) {
        key->setActive(step.active);
        EXPECT_EQ(key->shape->brushColor(), step.color) << step.active;
    }
}

TEST(KeyButton, ClickingChangesNothing)
{
    KeyButton key(nullptr);
    EXPECT_EQ(key.cursor().shape(), Qt::ArrowCursor);
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(key.shape, b, {}, QPoint(20, 25));
    EXPECT_EQ(key.shape->brushColor(), gui::clGray);
}

TEST(KeyButton, OwnerFreesItsChildren)
{
    auto* owner = new QWidget;
    auto* key = new LedKeyButton(owner);
    QPointer<gui::Shape> shape = key->shape;
    QPointer<Led> led = key->led;
    delete owner;
    EXPECT_TRUE(shape.isNull());
    EXPECT_TRUE(led.isNull());
}

TEST(Led, StartsDarkWithHandCursor)
{
    Led led(nullptr, gui::clLime, gui::clGreen);
    EXPECT_EQ(led.size(), QSize(10, 10));
    EXPECT_EQ(led.shape(), gui::Shape::Kind::Circle);
    EXPECT_EQ(led.penColor(), gui::clBlack);
    EXPECT_EQ(led.brushColor(), gui::clGreen);
    EXPECT_FALSE(led.isOn());
    EXPECT_EQ(led.cursor().shape(), Qt::PointingHandCursor);
}

struct ReleaseCase {
    const char* name;
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    QPoint pos;
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << c.name;
}

class LedRelease : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(LedRelease, EveryReleaseToggles)
{
    const ReleaseCase c = GetParam();
    Led led(nullptr, gui::clRed, gui::clMaroon);
    QTest::mouseClick(&led, c.button, c.modifiers, c.pos);
    EXPECT_TRUE(led.isOn());
    EXPECT_EQ(led.brushColor(), gui::clRed);
    QTest::mouseClick(&led, c.button, c.modifiers, c.pos);
    EXPECT_FALSE(led.isOn());
    EXPECT_EQ(led.brushColor(), gui::clMaroon);
}

INSTANTIATE_TEST_SUITE_P(
    Led, LedRelease,
    ::testing::Values(ReleaseCase{"left", Qt::LeftButton, {}, QPoint(5, 5)},
                      ReleaseCase{"right", Qt::RightButton, {}, QPoint(5, 5)},
                      ReleaseCase{"middle", Qt::MiddleButton, {}, QPoint(5, 5)},
                      ReleaseCase{"shiftCorner", Qt::LeftButton, Qt::ShiftModifier, QPoint(0, 9)},
                      ReleaseCase{"ctrlRightEdge", Qt::RightButton, Qt::ControlModifier,
                                  QPoint(9, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Led, EqualColoursAreOnAndStayOn)
{
    Led led(nullptr, gui::clLime, gui::clLime);
    EXPECT_TRUE(led.isOn());
    QTest::mouseClick(&led, Qt::LeftButton);
    EXPECT_TRUE(led.isOn());
    EXPECT_EQ(led.brushColor(), gui::clLime);
}

TEST(LedKeyButton, LedSitsOnTopNearTheTopEdge)
{
    QWidget window;
    auto* key = new LedKeyButton(&window);
    key->move(10, 10);
    window.resize(60, 70);
    window.show();
    EXPECT_EQ(key->led->geometry(), QRect(15, 5, 10, 10));
    EXPECT_EQ(key->led->parentWidget(), key);
    EXPECT_EQ(key->led->onColor, gui::clRed);
    EXPECT_EQ(key->led->offColor, gui::clMaroon);
    EXPECT_FALSE(key->isLedOn());
    // What a click at a point of the key lands on.
    EXPECT_EQ(key->childAt(20, 10), key->led);
    EXPECT_EQ(key->childAt(5, 40), key->shape);
}

TEST(LedKeyButton, KeyAndLedAreIndependent)
{
    LedKeyButton key(nullptr);
    key.setActive(true);
    EXPECT_FALSE(key.isLedOn());
    QTest::mouseClick(key.led, Qt::LeftButton);
    EXPECT_TRUE(key.isLedOn());
    EXPECT_TRUE(isWhite(&key));
    key.setActive(false);
    EXPECT_TRUE(key.isLedOn());
    QTest::mouseClick(key.led, Qt::RightButton);
    EXPECT_FALSE(key.isLedOn());
    EXPECT_FALSE(isWhite(&key));
    // A click on the rectangle outside the LED does nothing.
    QTest::mouseClick(key.shape, Qt::LeftButton, {}, QPoint(5, 40));
    EXPECT_FALSE(key.isLedOn());
    EXPECT_FALSE(isWhite(&key));
}

} // namespace
