#include "gauge.h"

#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct HoldCase {
    int min, max, set, expected;
};

void PrintTo(const HoldCase& c, std::ostream* os)
{
    *os << c.min << ".." << c.max << " set " << c.set;
}

class GaugeHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(GaugeHold, ProgressIsHeldWithinTheRange)
{
    const HoldCase c = GetParam();
    gui::Gauge gauge;
    gauge.setMinValue(c.min);
    gauge.setMaxValue(c.max);
    gauge.setProgress(c.set);
    EXPECT_EQ(gauge.progress(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Gauge, GaugeHold,
                         ::testing::Values(HoldCase{0, 100, 47, 47}, HoldCase{0, 100, -3, 0},
                                           HoldCase{0, 100, 110, 100}, HoldCase{0, 100, 100, 100},
                                           HoldCase{-11, 11, -128, -11}, HoldCase{-11, 11, 127, 11},
                                           HoldCase{-11, 11, -11, -11}, HoldCase{-11, 11, 7, 7}));

TEST(Gauge, NarrowingTheRangeMovesProgressIn)
{
    gui::Gauge gauge;
    gauge.setProgress(80);
    gauge.setMaxValue(50);
    EXPECT_EQ(gauge.progress(), 50);
    gauge.setMinValue(60);
    EXPECT_EQ(gauge.minValue(), 60);
    EXPECT_GE(gauge.maxValue(), 60);
    EXPECT_EQ(gauge.progress(), 60);
}

TEST(Gauge, PercentDoneCountsFromMinValue)
{
    gui::Gauge gauge;
    gauge.setMinValue(-11);
    gauge.setMaxValue(11);
    gauge.setProgress(0);
    EXPECT_EQ(gauge.percentDone(), 50);
    gauge.setProgress(-11);
    EXPECT_EQ(gauge.percentDone(), 0);
    gauge.setProgress(11);
    EXPECT_EQ(gauge.percentDone(), 100);
}

QImage picture(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(Gauge, BarFillsItsShareInForeColor)
{
    gui::Gauge gauge;
    gauge.resize(265, 17);
    gauge.setForeColor(QColor(0, 0, 128));
    gauge.setShowText(false);
    gauge.setProgress(50);
    const QImage img = picture(gauge);
    EXPECT_EQ(img.pixelColor(0, 8), QColor(Qt::black)); // single border
    EXPECT_EQ(img.pixelColor(60, 8), QColor(0, 0, 128));
    EXPECT_EQ(img.pixelColor(200, 8), QColor(Qt::white));
    gauge.setProgress(100);
    EXPECT_EQ(picture(gauge).pixelColor(200, 8), QColor(0, 0, 128));
}

TEST(Gauge, ShowTextDrawsThePercentage)
{
    gui::Gauge gauge;
    gauge.resize(265, 17);
    gauge.setProgress(50);
    gauge.setShowText(false);
    const QImage plain = picture(gauge);
    gauge.setShowText(true);
    const QImage withText = picture(gauge);
    EXPECT_NE(plain, withText);
    // Outside the middle nothing changes.
    EXPECT_EQ(plain.copy(0, 0, 60, 17), withText.copy(0, 0, 60, 17));
}

// The highest red value along row y between columns x0 and x1.
int brightest(const QImage& img, int y, int x0, int x1)
{
    int best = 0;
    for (int x = x0; x <= x1; ++x)
        best = std::max(best, img.pixelColor(x, y).red());
    return best;
}

TEST(Gauge, NeedlePointsLeftAtMinValueAndRightAtMaxValue)
{
    gui::Gauge gauge;
    gauge.setKind(gui::Gauge::Needle);
    gauge.setBorderStyle(gui::Gauge::BorderNone);
    gauge.setShowText(false);
    gauge.setForeColor(Qt::white);
    gauge.setBackColor(QColor(128, 128, 128));
    gauge.setMinValue(-11);
    gauge.setMaxValue(11);
    gauge.resize(100, 52);
    // The needle lies along the dial's flat edge at either end of the range.
    const int edge = 49;
    gauge.setProgress(-11);
    QImage img = picture(gauge);
    EXPECT_GT(brightest(img, edge, 10, 40), 200);
    EXPECT_LE(brightest(img, edge, 60, 90), 128);
    gauge.setProgress(11);
    img = picture(gauge);
    EXPECT_LE(brightest(img, edge, 10, 40), 128);
    EXPECT_GT(brightest(img, edge, 60, 90), 200);
    // Upright at the middle of the range.
    gauge.setProgress(0);
    img = picture(gauge);
    EXPECT_GT(brightest(img, 20, 48, 52), 200);
    EXPECT_LE(brightest(img, 20, 20, 40), 128);
    EXPECT_LE(brightest(img, 20, 60, 80), 128);
}

} // namespace
