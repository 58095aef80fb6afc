#include "shape.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ColorCase {
    uint32_t tcolor;
    int r, g, b;
};

void PrintTo(const ColorCase& c, std::ostream* os)
{
    *os << std::hex << c.tcolor;
}

class TColorConversion : public ::testing::TestWithParam<ColorCase> {};

TEST_P(TColorConversion, RedIsTheLowByteAndConvertsBack)
{
    const ColorCase c = GetParam();
    const QColor color = gui::fromTColor(c.tcolor);
    EXPECT_EQ(color.red(), c.r);
    EXPECT_EQ(color.green(), c.g);
    EXPECT_EQ(color.blue(), c.b);
    EXPECT_EQ(gui::toTColor(color), c.tcolor);
}

INSTANTIATE_TEST_SUITE_P(
    Shape, TColorConversion,
    ::testing::Values(ColorCase{gui::clRed, 255, 0, 0}, ColorCase{gui::clMaroon, 128, 0, 0},
                      ColorCase{gui::clLime, 0, 255, 0}, ColorCase{gui::clGreen, 0, 128, 0},
                      ColorCase{gui::clNavy, 0, 0, 128}, ColorCase{gui::clGray, 128, 128, 128},
                      ColorCase{0x123456, 0x56, 0x34, 0x12}));

QImage picture(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(Shape, RectangleHasItsPenOnTheEdgeAndItsBrushInside)
{
    gui::Shape shape;
    shape.resize(40, 50);
    shape.setPenColor(gui::clBlack);
    shape.setBrushColor(gui::clGray);
    const QImage img = picture(shape);
    for (QPoint edge : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 49), QPoint(39, 49), QPoint(20, 49)})
        EXPECT_EQ(img.pixelColor(edge), QColor(Qt::black)) << edge.x() << "," << edge.y();
    for (QPoint inside : {QPoint(1, 1), QPoint(20, 25), QPoint(38, 48)})
        EXPECT_EQ(img.pixelColor(inside), gui::fromTColor(gui::clGray))
            << inside.x() << "," << inside.y();
    EXPECT_EQ(shape.brushColor(), gui::clGray);
}

TEST(Shape, CircleFillsItsCentreAndLeavesTheCorners)
{
    QWidget parent;
    parent.setAutoFillBackground(true);
    parent.setPalette(QPalette(Qt::yellow));
    parent.resize(20, 20);
    auto* shape = new gui::Shape(&parent);
    shape->setGeometry(5, 5, 10, 10);
    shape->setShape(gui::Shape::Kind::Circle);
    shape->setBrushColor(gui::clLime);
    const QImage img = picture(parent);
    EXPECT_EQ(img.pixelColor(10, 10), gui::fromTColor(gui::clLime));
    EXPECT_EQ(img.pixelColor(5, 5), QColor(Qt::yellow));
    EXPECT_EQ(img.pixelColor(14, 14), QColor(Qt::yellow));
    // The outline stays inside the widget.
    EXPECT_EQ(img.pixelColor(4, 10), QColor(Qt::yellow));
    EXPECT_EQ(img.pixelColor(15, 10), QColor(Qt::yellow));
    EXPECT_NE(img.pixelColor(5, 10), QColor(Qt::yellow));
}

TEST(Shape, BrushChangeRepaints)
{
    gui::Shape shape;
    shape.resize(20, 20);
    shape.setBrushColor(gui::clGray);
    const QImage before = picture(shape);
    shape.setBrushColor(gui::clWhite);
    const QImage after = picture(shape);
    EXPECT_EQ(before.pixelColor(10, 10), gui::fromTColor(gui::clGray));
    EXPECT_EQ(after.pixelColor(10, 10), QColor(Qt::white));
}

class ShapeRelease : public ::testing::TestWithParam<Qt::MouseButton> {};

TEST_P(ShapeRelease, EveryButtonsReleaseIsReportedOnce)
{
    gui::Shape shape;
    shape.resize(10, 10);
    QSignalSpy spy(&shape, &gui::Shape::mouseReleased);
    QTest::mousePress(&shape, GetParam(), Qt::ShiftModifier, QPoint(9, 0));
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseRelease(&shape, GetParam(), Qt::ShiftModifier, QPoint(9, 0));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<Qt::MouseButton>(), GetParam());
    EXPECT_EQ(spy.at(0).at(2).toPoint(), QPoint(9, 0));
}

INSTANTIATE_TEST_SUITE_P(Shape, ShapeRelease,
                         ::testing::Values(Qt::LeftButton, Qt::RightButton, Qt::MiddleButton));

} // namespace
