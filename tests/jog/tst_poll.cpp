// The poll cycle against the virtual board: what each report shows, what is
// written back, and how failures stop it.
#include "jogtesting.h"

#include "gauge.h"
#include "simboard.h"
#include "timer.h"
#include "unitjog.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>
#include <array>
#include <memory>
#include <set>

namespace {

using jogtesting::isWhite;
using Report = std::array<uint8_t, 8>;

// The 34 indicators that show a key input.
const std::set<int> keyIndicators = [] {
    std::set<int> s;
    for (int i = 0; i < 42; ++i)
        if (i < 24 || i >= 32)
            s.insert(i);
    return s;
}();

class Poll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { board = new testsupport::SimBoard({0}); }
    static void TearDownTestSuite()
    {
        delete board;
        board = nullptr;
    }

    void SetUp() override
    {
        ASSERT_EQ(board->ctl({"fail", "bulkread", "off"}).exitCode, 0);
        ASSERT_EQ(board->ctl({"fail", "bulkwrite", "off"}).exitCode, 0);
        setReport({});
        window = std::make_unique<TformJog>(QStringList{"0"});
        ASSERT_NE(window->device, INVALID_HANDLE_VALUE);
        // Ticks are driven by hand unless a test needs the timer.
        window->timer->setEnabled(false);
    }

    void setReport(const Report& report)
    {
        std::vector<std::string> args{"controls"};
        for (uint8_t b : report)
            args.push_back(QString("%1").arg(b, 2, 16, QChar('0')).toUpper().toStdString());
        ASSERT_EQ(board->ctl(args).exitCode, 0);
    }

    // Indicators that show white now.
    std::set<int> whiteKeys() const
    {
        std::set<int> white;
        for (int i : keyIndicators)
            if (isWhite(window->indicators[i]))
                white.insert(i);
        return white;
    }

    void clickLed(int index)
    {
        QWidget* target = window->indicators[index];
        if (auto* key = qobject_cast<LedKeyButton*>(target))
            target = key->led;
        QTest::mouseClick(target, Qt::LeftButton);
    }

    static testsupport::SimBoard* board;
    jogtesting::Messages messages;
    std::unique_ptr<TformJog> window;
};
testsupport::SimBoard* Poll::board = nullptr;

struct BitCase {
    int byte;
    uint8_t mask;
    int indicator; // -1: shown by no indicator
};

void PrintTo(const BitCase& c, std::ostream* os)
{
    *os << "byte " << c.byte << " mask " << int(c.mask) << " -> " << c.indicator;
}

class PollIndicator : public Poll, public ::testing::WithParamInterface<BitCase> {};

TEST_P(PollIndicator, OneReportBitTurnsOneIndicatorWhite)
{
    const BitCase c = GetParam();
    Report report{};
    report[c.byte] = c.mask;
    setReport(report);
    window->timerTimer();
    const std::set<int> expected = c.indicator < 0 ? std::set<int>{} : std::set<int>{c.indicator};
    EXPECT_EQ(whiteKeys(), expected);
    setReport({});
    window->timerTimer();
    EXPECT_EQ(whiteKeys(), std::set<int>{});
    EXPECT_TRUE(messages.texts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Poll, PollIndicator,
    ::testing::Values(
        BitCase{0, 0x01, 0}, BitCase{0, 0x02, 1}, BitCase{0, 0x04, 2}, BitCase{0, 0x08, 3},
        BitCase{0, 0x10, 19}, BitCase{0, 0x20, 18}, BitCase{0, 0x40, 17}, BitCase{0, 0x80, 16},
        BitCase{1, 0x01, 15}, BitCase{1, 0x02, 12}, BitCase{1, 0x04, 14}, BitCase{1, 0x08, 13},
        BitCase{1, 0x10, 23}, BitCase{1, 0x20, 22}, BitCase{1, 0x40, 21}, BitCase{1, 0x80, 20},
        BitCase{2, 0x01, 8}, BitCase{2, 0x02, 9}, BitCase{2, 0x04, 10}, BitCase{2, 0x08, 11},
        BitCase{2, 0x10, 7}, BitCase{2, 0x20, 6}, BitCase{2, 0x40, 5}, BitCase{2, 0x80, 4},
        BitCase{6, 0x01, 32}, BitCase{6, 0x02, 33}, BitCase{6, 0x04, 34}, BitCase{6, 0x08, 35},
        BitCase{6, 0x10, 36}, BitCase{6, 0x20, 37}, BitCase{6, 0x40, 38}, BitCase{6, 0x80, 39},
        BitCase{7, 0x01, 41}, BitCase{7, 0x02, 40}, BitCase{7, 0xFC, -1}, BitCase{3, 0xFF, -1},
        BitCase{4, 0xFF, -1}, BitCase{5, 0xFF, -1}),
    [](const auto& info) {
        return "byte" + std::to_string(info.param.byte) + "_" +
               QString::number(info.param.mask, 16).toUpper().toStdString();
    });

TEST_F(Poll, OddRunAndItsNeighboursFromKeyByte1)
{
    setReport({0x00, 0x0F, 0x00, 0, 0, 0, 0, 0});
    window->timerTimer();
    EXPECT_EQ(whiteKeys(), (std::set<int>{12, 13, 14, 15}));
    EXPECT_EQ(window->label2()->text(), "00001111");
    setReport({0x05, 0x00, 0x00, 0, 0, 0, 0, 0});
    window->timerTimer();
    EXPECT_EQ(whiteKeys(), (std::set<int>{0, 2}));
    EXPECT_EQ(window->label1()->text(), "00000101");
}

struct BitStringCase {
    Report report;
    const char* label1;
    const char* label2;
    const char* label3;
};

void PrintTo(const BitStringCase& c, std::ostream* os)
{
    *os << c.label1 << " " << c.label2 << " " << c.label3;
}

class PollBitStrings : public Poll, public ::testing::WithParamInterface<BitStringCase> {};

TEST_P(PollBitStrings, KeyBytesMostSignificantBitFirst)
{
    const BitStringCase c = GetParam();
    setReport(c.report);
    window->timerTimer();
    EXPECT_EQ(window->label1()->text(), c.label1);
    EXPECT_EQ(window->label2()->text(), c.label2);
    EXPECT_EQ(window->label3()->text(), c.label3);
    // The whole string is in sight.
    for (QLabel* label : window->bitLabels)
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
}

INSTANTIATE_TEST_SUITE_P(
    Poll, PollBitStrings,
    ::testing::Values(
        BitStringCase{
            {0x05, 0xA0, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}, "00000101", "10100000", "00000000"},
        BitStringCase{{0x80, 0x01, 0xFF, 0, 0, 0, 0, 0}, "10000000", "00000001", "11111111"}));

struct BarCase {
    int start;
    uint8_t jogLeft, jogRight;
    int bar;
};

void PrintTo(const BarCase& c, std::ostream* os)
{
    *os << c.start << " -" << int(c.jogLeft) << " +" << int(c.jogRight) << " -> " << c.bar;
}

class PollBar : public Poll, public ::testing::WithParamInterface<BarCase> {};

TEST_P(PollBar, LeftSubtractsThenRightAddsEachHeldWithin0To100)
{
    const BarCase c = GetParam();
    window->cGaugeJog()->setProgress(c.start);
    setReport({0, 0, 0, 0, c.jogLeft, c.jogRight, 0, 0});
    window->timerTimer();
    EXPECT_EQ(window->cGaugeJog()->progress(), c.bar);
    EXPECT_EQ(window->labelJogCountLeft()->text(), QString::number(c.jogLeft));
    EXPECT_EQ(window->labelJogCountRight()->text(), QString::number(c.jogRight));
    // A count keeps its right or left edge as it grows.
    EXPECT_EQ(window->labelJogCountLeft()->x(), 208);
    EXPECT_EQ(window->labelJogCountRight()->geometry().right(), 471);
}

INSTANTIATE_TEST_SUITE_P(Poll, PollBar,
                         ::testing::Values(BarCase{50, 3, 0, 47}, BarCase{2, 5, 4, 4},
                                           BarCase{98, 0, 10, 100}, BarCase{50, 245, 0, 0},
                                           BarCase{50, 0, 255, 100}, BarCase{0, 255, 255, 100},
                                           BarCase{30, 40, 5, 5}));

TEST_F(Poll, BarCarriesOverFromTickToTick)
{
    setReport({0, 0, 0, 0, 0, 20, 0, 0});
    window->timerTimer();
    window->timerTimer();
    EXPECT_EQ(window->cGaugeJog()->progress(), 90);
}

struct ShuttleCase {
    uint8_t byte;
    const char* text;
    int needle;
};

void PrintTo(const ShuttleCase& c, std::ostream* os)
{
    *os << int(c.byte) << " -> " << c.text;
}

class PollShuttle : public Poll, public ::testing::WithParamInterface<ShuttleCase> {};

TEST_P(PollShuttle, SignedTextAndHeldNeedle)
{
    const ShuttleCase c = GetParam();
    setReport({0, 0, 0, c.byte, 0, 0, 0, 0});
    window->timerTimer();
    EXPECT_EQ(window->labelRotation()->text(), c.text);
    EXPECT_EQ(window->cGaugeJogShuttle()->progress(), c.needle);
}

INSTANTIATE_TEST_SUITE_P(Poll, PollShuttle,
                         ::testing::Values(ShuttleCase{0xF5, "-11", -11},
                                           ShuttleCase{0x7F, "127", 11},
                                           ShuttleCase{0x80, "-128", -11},
                                           ShuttleCase{0x00, "0", 0}, ShuttleCase{0x07, "7", 7},
                                           ShuttleCase{0xFD, "-3", -3},
                                           ShuttleCase{0x0C, "12", 11}));

struct OutputCase {
    const char* name;
    std::vector<int> clicks; // indicators whose LED is clicked
    const char* bytes;       // the LED block on the wire: flag byte, LED byte
};

void PrintTo(const OutputCase& c, std::ostream* os)
{
    *os << c.name << " -> " << c.bytes;
}

class PollOutput : public Poll, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(PollOutput, LedSwitchesBecomeTheLedBlock)
{
    for (int i : GetParam().clicks)
        clickLed(i);
    const long since = board->lastSeq();
    window->timerTimer();
    const auto reads = board->events("bulkread", 0, since);
    const auto writes = board->events("bulkwrite", 0, since);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0]["pipe"].toInt(), 0);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_TRUE(writes[0]["ok"].toBool());
    EXPECT_EQ(writes[0]["pipe"].toInt(), 1);
    EXPECT_EQ(writes[0]["bytes"].toString().toStdString(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Poll, PollOutput,
    ::testing::Values(OutputCase{"none", {}, "0000"}, OutputCase{"led24", {24}, "0080"},
                      OutputCase{"led31", {31}, "0001"}, OutputCase{"led27", {27}, "0010"},
                      OutputCase{"key16", {16}, "8000"}, OutputCase{"key17", {17}, "4000"},
                      OutputCase{"key18", {18}, "0100"}, OutputCase{"key19", {19}, "0200"},
                      OutputCase{"key20", {20}, "0400"}, OutputCase{"key23", {23}, "2000"},
                      OutputCase{"allKeys", {16, 17, 18, 19, 20, 21, 22, 23}, "FF00"},
                      OutputCase{"allLeds", {24, 25, 26, 27, 28, 29, 30, 31}, "00FF"},
                      OutputCase{"mixed", {19, 26, 29}, "0224"},
                      OutputCase{"toggledBack", {24, 24}, "0000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Poll, BothBytesAreWrittenOnEveryTick)
{
    clickLed(25);
    const long since = board->lastSeq();
    for (int n = 0; n < 3; ++n)
        window->timerTimer();
    const auto writes = board->events("bulkwrite", 0, since);
    ASSERT_EQ(writes.size(), 3u);
    for (const auto& w : writes)
        EXPECT_EQ(w["bytes"].toString(), "0040");
    const QJsonObject leds = board->state()["jogLeds"].toObject();
    EXPECT_EQ(leds["flags"].toString(), "00");
    EXPECT_EQ(leds["leds"].toString(), "40");
}

struct FailureCase {
    const char* name;
    const char* op;
    const char* message;
    bool displayUpdated;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class PollFailure : public Poll, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PollFailure, FirstFailureStopsTheTimerWithOneMessage)
{
    const FailureCase c = GetParam();
    setReport({0xFF, 0x0F, 0x01, 0xF5, 3, 0, 0x80, 0x03});
    ASSERT_EQ(board->ctl({"fail", c.op}).exitCode, 0);
    bool timerActiveAtMessage = true;
    messages.onMessage = [&] { timerActiveAtMessage = window->timer->isActive(); };
    const long since = board->lastSeq();
    window->timer->setEnabled(true);
    QDeadlineTimer deadline(3000);
    while (messages.texts.isEmpty() && !deadline.hasExpired())
        QTest::qWait(5);
    // The fault was for one request only: a further tick would succeed.
    QTest::qWait(300);
    EXPECT_EQ(messages.texts, QStringList{c.message});
    EXPECT_FALSE(timerActiveAtMessage);
    EXPECT_FALSE(window->timer->isActive());
    EXPECT_EQ(board->events("bulkread", 0, since).size(), 1u);
    EXPECT_EQ(board->events("bulkwrite", 0, since).size(), c.displayUpdated ? 1u : 0u);

    if (c.displayUpdated) {
        EXPECT_EQ(window->label1()->text(), "11111111");
        EXPECT_EQ(window->labelRotation()->text(), "-11");
        EXPECT_EQ(window->cGaugeJog()->progress(), 47);
        EXPECT_EQ(window->cGaugeJogShuttle()->progress(), -11);
        EXPECT_EQ(whiteKeys(),
                  (std::set<int>{0, 1, 2, 3, 16, 17, 18, 19, 12, 13, 14, 15, 8, 39, 40, 41}));
    } else {
        EXPECT_EQ(window->label1()->text(), "xxxxxxxx");
        EXPECT_EQ(window->labelJogCountLeft()->text(), "xxxxxxxx");
        EXPECT_EQ(window->labelRotation()->text(), "+0");
        EXPECT_EQ(window->cGaugeJog()->progress(), 50);
        EXPECT_EQ(window->cGaugeJogShuttle()->progress(), 0);
        EXPECT_EQ(whiteKeys(), std::set<int>{});
    }
    // The switches still toggle, but nothing is sent any more.
    clickLed(24);
    EXPECT_TRUE(static_cast<Led*>(window->indicators[24])->isOn());
    QTest::qWait(100);
    EXPECT_EQ(board->events("bulkwrite", 0, since).size(), c.displayUpdated ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Poll, PollFailure,
    ::testing::Values(FailureCase{"read", "bulkread", jogtesting::readFailed, false},
                      FailureCase{"write", "bulkwrite", jogtesting::writeFailed, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Poll, TimerPollsOnItsOwn)
{
    const long since = board->lastSeq();
    window->timer->setEnabled(true);
    ASSERT_TRUE(board->waitForEvent(
        [&](const QJsonObject& e) {
            return e["op"] == "bulkwrite" && e["seq"].toInteger() > since + 4;
        },
        3000, 0, since));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Poll, ClosingTheWindowClosesItsHandleOnce)
{
    const long before = board->lastSeq();
    auto other = std::make_unique<TformJog>(QStringList{"0"});
    const auto opens = board->events("open", 0, before);
    ASSERT_EQ(opens.size(), 1u);
    const long since = board->lastSeq();
    other.reset();
    const auto closes = board->events("close", 0, since);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0]["handle"], opens[0]["handle"]);
}

} // namespace
