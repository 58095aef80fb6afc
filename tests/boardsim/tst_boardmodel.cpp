// The board model on its own: memory, CPUCS and image, reports, key queue,
// request checks, faults, unplugging and the event log.
#include "boardmodel.h"
#include "ezusb.h"

#include "printrows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace boardsim;

namespace {

using testsupport::PrintTo;

using Bytes = std::vector<uint8_t>;

Bytes le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes addressBlock(uint16_t address)
{
    return {uint8_t(address), uint8_t(address >> 8)};
}

// A model with one open handle (1) and a clock the test sets.
struct Board {
    int64_t now = 0;
    BoardModel model{[this] { return now; }};
    Board() { model.open(1); }

    wire::Reply anchor(uint16_t address, const Bytes& data, int handle = 1)
    {
        return model.ioControl(handle, ezusb::IOCTL_ANCHOR_DOWNLOAD, addressBlock(address),
                               uint32_t(data.size()), data);
    }
    wire::Reply leds(uint8_t pattern, int handle = 1)
    {
        return model.ioControl(handle, ezusb::IOCTL_SET_LEDS, {pattern}, 0, {});
    }
    wire::Reply bulkRead(uint32_t outLength = 8, int handle = 1)
    {
        return model.ioControl(handle, ezusb::IOCTL_BULK_READ, le32(ezusb::PIPE_IN), outLength, {});
    }
    wire::Reply abort(uint32_t pipe, int handle = 1)
    {
        return model.ioControl(handle, ezusb::IOCTL_ABORT_PIPE, le32(pipe), 0, {});
    }
    std::string lastEvent() const { return eventJson(model.events().back()); }
};

// Collects what a read returned.
struct ReadResult {
    bool done = false;
    bool ok = false;
    Bytes bytes;
    BoardModel::ReadDone callback()
    {
        return [this](bool k, const Bytes& b) {
            done = true;
            ok = k;
            bytes = b;
        };
    }
};

// ---------------------------------------------------------------- memory

struct AnchorCase {
    const char* name;
    uint16_t address;
    size_t length;
    bool ok;
};

class AnchorBounds : public testing::TestWithParam<AnchorCase> {};

TEST_P(AnchorBounds, WritesOnlyInsideBoardMemory)
{
    const AnchorCase& c = GetParam();
    Board b;
    Bytes data(c.length, 0x5A);
    EXPECT_EQ(b.anchor(c.address, data).ok, c.ok);
    // A refused download writes nothing, not even the part that would fit.
    EXPECT_EQ(b.model.peek(c.address), c.ok ? 0x5A : 0x00);
}

INSTANTIATE_TEST_SUITE_P(Table, AnchorBounds,
                         testing::Values(AnchorCase{"ramFirst", 0x0000, 1, true},
                                         AnchorCase{"ramLast", 0x1B3F, 1, true},
                                         AnchorCase{"ramWhole", 0x0000, 0x1B40, true},
                                         AnchorCase{"ramOneTooMany", 0x0000, 0x1B41, false},
                                         AnchorCase{"pastRam", 0x1B40, 1, false},
                                         AnchorCase{"beforeRegisters", 0x7B3F, 1, false},
                                         AnchorCase{"acrossGap", 0x1B30, 0x7B50 - 0x1B30, false},
                                         AnchorCase{"registersFirst", 0x7B40, 1, true},
                                         AnchorCase{"registersWhole", 0x7B40, 0x4C0, true},
                                         AnchorCase{"registersLast", 0x7FFF, 1, true},
                                         AnchorCase{"pastRegisters", 0x7FFF, 2, false},
                                         AnchorCase{"above32k", 0x8000, 1, false},
                                         AnchorCase{"topOfSpace", 0xFFFF, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, AnchorNeedsTwoByteAddressBlock)
{
    Board b;
    for (Bytes block : {Bytes{}, Bytes{0x00}, Bytes{0x00, 0x00, 0x00}}) {
        EXPECT_FALSE(b.model.ioControl(1, ezusb::IOCTL_ANCHOR_DOWNLOAD, block, 1, {0x77}).ok)
            << block.size();
    }
    EXPECT_EQ(b.model.peek(0), 0);
}

// ---------------------------------------------------------------- CPUCS and image

struct Write {
    uint16_t address;
    Bytes data;
};

struct CpuCase {
    const char* name;
    std::vector<Write> writes;
    uint8_t cpucs;
    size_t imageBytes;
    bool running;
};

class Cpucs : public testing::TestWithParam<CpuCase> {};

TEST_P(Cpucs, TracksResetAndImage)
{
    const CpuCase& c = GetParam();
    Board b;
    EXPECT_EQ(b.model.cpucs(), 0) << "a board starts running";
    Bytes lastAtZero;
    for (const Write& w : c.writes) {
        ASSERT_TRUE(b.anchor(w.address, w.data).ok);
        if (w.address == 0 && b.model.heldInReset())
            lastAtZero = w.data;
    }
    EXPECT_EQ(b.model.cpucs(), c.cpucs);
    EXPECT_EQ(b.model.imageBytes(), c.imageBytes);
    EXPECT_EQ(b.model.imageRunning(), c.running);
    if (c.imageBytes)
        EXPECT_EQ(b.model.imageSha256(), sha256Hex(lastAtZero.data(), lastAtZero.size()));
    else
        EXPECT_EQ(b.model.imageSha256(), "");
}

const Bytes image(100, 0xC3);
const Bytes image2 = {0x02, 0x00, 0x10};

INSTANTIATE_TEST_SUITE_P(
    Table, Cpucs,
    testing::Values(
        CpuCase{"download", {{0x7F92, {1}}, {0, image}, {0x7F92, {0}}}, 0, 100, true},
        CpuCase{"heldAfterTransfer", {{0x7F92, {1}}, {0, image}}, 1, 100, false},
        CpuCase{"writtenWhileRunning", {{0, image}}, 0, 0, false},
        CpuCase{"notAtZero", {{0x7F92, {1}}, {0x0100, image}, {0x7F92, {0}}}, 0, 0, false},
        CpuCase{"secondImageReplaces",
                {{0x7F92, {1}}, {0, image}, {0x7F92, {0}}, {0x7F92, {1}}, {0, image2}},
                1,
                3,
                false},
        CpuCase{"holdAgainStopsIt",
                {{0x7F92, {1}}, {0, image}, {0x7F92, {0}}, {0x7F92, {1}}},
                1,
                100,
                false},
        CpuCase{"releaseWithoutImage", {{0x7F92, {1}}, {0x7F92, {0}}}, 0, 0, false},
        // CPUCS inside a larger register write counts as well.
        CpuCase{"registerBlock", {{0x7F91, {0xAA, 0x01, 0xBB}}, {0, image2}}, 1, 3, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- request checks

struct RequestCase {
    const char* name;
    uint32_t code;
    Bytes in;
    uint32_t outLength;
    Bytes out;
    bool ok;
};

class Requests : public testing::TestWithParam<RequestCase> {};

TEST_P(Requests, AcceptsOnlyWellFormedOnes)
{
    const RequestCase& c = GetParam();
    Board b;
    EXPECT_EQ(b.model.ioControl(1, c.code, c.in, c.outLength, c.out).ok, c.ok);
    EXPECT_EQ(b.model.events().back().ok, c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Requests,
    testing::Values(
        RequestCase{"leds", ezusb::IOCTL_SET_LEDS, {0xA5}, 0, {}, true},
        RequestCase{"ledsTwoBytes", ezusb::IOCTL_SET_LEDS, {0xA5, 0}, 0, {}, false},
        RequestCase{"ledsNoByte", ezusb::IOCTL_SET_LEDS, {}, 0, {}, false},
        RequestCase{"ledsWithSecondBuffer", ezusb::IOCTL_SET_LEDS, {0xA5}, 4, {}, false},
        RequestCase{"abortPipe0", ezusb::IOCTL_ABORT_PIPE, le32(0), 0, {}, true},
        RequestCase{"abortPipe1", ezusb::IOCTL_ABORT_PIPE, le32(1), 0, {}, true},
        RequestCase{"abortPipe2", ezusb::IOCTL_ABORT_PIPE, le32(2), 0, {}, false},
        RequestCase{"abortShortBlock", ezusb::IOCTL_ABORT_PIPE, {0, 0, 0}, 0, {}, false},
        RequestCase{"bulkReadPipe0", ezusb::IOCTL_BULK_READ, le32(0), 8, {}, true},
        RequestCase{"bulkReadPipe1", ezusb::IOCTL_BULK_READ, le32(1), 8, {}, false},
        RequestCase{"bulkReadNoBuffer", ezusb::IOCTL_BULK_READ, le32(0), 0, {}, false},
        RequestCase{"bulkWritePipe1", ezusb::IOCTL_BULK_WRITE, le32(1), 2, {1, 2}, true},
        RequestCase{"bulkWritePipe0", ezusb::IOCTL_BULK_WRITE, le32(0), 2, {1, 2}, false},
        RequestCase{"bulkWriteThreeBytes", ezusb::IOCTL_BULK_WRITE, le32(1), 3, {1, 2, 3}, false},
        RequestCase{
            "bulkWriteLongPipeBlock", ezusb::IOCTL_BULK_WRITE, {1, 0, 0, 0, 0}, 2, {1, 2}, false},
        RequestCase{"unknownCode", 0x00222000, {0}, 0, {}, false},
        RequestCase{"anchorCodeOtherDevice", 0x0012206D, addressBlock(0), 1, {1}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, RequestsOnUnknownHandleFail)
{
    Board b;
    EXPECT_FALSE(b.leds(0xFF, 7).ok);
    EXPECT_FALSE(b.model.write(7, {'0', 'x'}));
    EXPECT_FALSE(b.model.close(7));
    ReadResult r;
    b.model.read(7, 64, r.callback());
    EXPECT_TRUE(r.done);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(b.model.leds(), 0);
    EXPECT_EQ(b.model.display()[0], "");
    // A handle that was closed is unknown from then on.
    ASSERT_TRUE(b.model.close(1));
    EXPECT_FALSE(b.leds(0xFF).ok);
}

TEST(BoardModel, SeveralHandlesAtOnce)
{
    Board b;
    ASSERT_TRUE(b.model.open(2));
    EXPECT_FALSE(b.model.open(2)) << "one connection opens once";
    EXPECT_EQ(b.model.openHandles(), 2);
    EXPECT_TRUE(b.leds(0x01, 1).ok);
    EXPECT_TRUE(b.leds(0x02, 2).ok);
    EXPECT_EQ(b.model.leds(), 0x02);
}

// ---------------------------------------------------------------- display

struct TextCase {
    const char* name;
    std::string text;
    std::array<std::string, 3> display;
};

class Display : public testing::TestWithParam<TextCase> {};

TEST_P(Display, FirstByteSelectsField)
{
    const TextCase& c = GetParam();
    Board b;
    ASSERT_TRUE(b.model.write(1, {'1', 'o', 'l', 'd'}));
    EXPECT_TRUE(b.model.write(1, Bytes(c.text.begin(), c.text.end())));
    EXPECT_EQ(b.model.display(), c.display);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Display,
    testing::Values(TextCase{"trackName", "0Song.mp3", {"Song.mp3", "old", ""}},
                    TextCase{"playTime", "102:05", {"", "02:05", ""}},
                    TextCase{"typed", "2abc", {"", "old", "abc"}},
                    TextCase{"emptyField", "1", {"", "", ""}},
                    TextCase{"otherPrefixOnlyLogged", "3xyz", {"", "old", ""}},
                    TextCase{"emptyText", "", {"", "old", ""}},
                    TextCase{"latin1Kept", "0Caf\xE9", {"Caf\xE9", "old", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- control report

struct ReportCase {
    const char* name;
    Bytes report;
    std::vector<int> steps;
    uint32_t outLength;
    Bytes first;  // what the first bulk read returns
    Bytes second; // and the one after it
};

class Report : public testing::TestWithParam<ReportCase> {};

TEST_P(Report, BulkReadReturnsCurrentReport)
{
    const ReportCase& c = GetParam();
    Board b;
    ASSERT_TRUE(b.model.setControlReport(c.report));
    for (int s : c.steps)
        b.model.addJogSteps(s);
    wire::Reply r1 = b.bulkRead(c.outLength);
    ASSERT_TRUE(r1.ok);
    EXPECT_EQ(r1.data, c.first);
    EXPECT_EQ(r1.count, c.first.size());
    wire::Reply r2 = b.bulkRead(c.outLength);
    EXPECT_EQ(r2.data, c.second);
}

const Bytes zeros(8, 0);

INSTANTIATE_TEST_SUITE_P(
    Table, Report,
    testing::Values(
        ReportCase{"allZero", zeros, {}, 8, zeros, zeros},
        ReportCase{"asSet",
                   {1, 2, 3, 0xF5, 5, 6, 7, 8},
                   {},
                   8,
                   {1, 2, 3, 0xF5, 5, 6, 7, 8},
                   {1, 2, 3, 0xF5, 5, 6, 7, 8}},
        ReportCase{
            "short", {1, 2, 3, 4, 5, 6, 7}, {}, 8, {1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7}},
        ReportCase{"empty", {}, {}, 8, {}, {}},
        ReportCase{"smallBuffer", {1, 2, 3, 4, 5, 6, 7, 8}, {}, 3, {1, 2, 3}, {1, 2, 3}},
        // Wheel steps are counted since the last read and then start again.
        ReportCase{"stepsRight", zeros, {2, 3}, 8, {0, 0, 0, 0, 0, 5, 0, 0}, zeros},
        ReportCase{"stepsLeft", zeros, {-4}, 8, {0, 0, 0, 0, 4, 0, 0, 0}, zeros},
        ReportCase{"stepsBothWays", zeros, {-1, 2, -3}, 8, {0, 0, 0, 0, 4, 2, 0, 0}, zeros},
        ReportCase{
            "stepsSaturate", zeros, {200, 100, -1000}, 8, {0, 0, 0, 0, 255, 255, 0, 0}, zeros},
        ReportCase{"stepsOnTopOfReport",
                   {0, 0, 0, 0, 10, 250, 0, 0},
                   {20},
                   8,
                   {0, 0, 0, 0, 10, 255, 0, 0},
                   {0, 0, 0, 0, 10, 250, 0, 0}},
        ReportCase{"stepsLeftOnTopOfReport",
                   {0, 0, 0, 0, 250, 10, 0, 0},
                   {-20},
                   8,
                   {0, 0, 0, 0, 255, 10, 0, 0},
                   {0, 0, 0, 0, 250, 10, 0, 0}},
        // A report too short to carry the counts keeps them for a later one.
        ReportCase{"stepsWaitForLongReport", {9, 9, 9, 9}, {7}, 8, {9, 9, 9, 9}, {9, 9, 9, 9}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, ReportLongerThanEightIsRefused)
{
    Board b;
    EXPECT_FALSE(b.model.setControlReport(Bytes(9, 1)));
    EXPECT_EQ(b.model.controlReport(), zeros);
}

// A key or the shuttle of the window changes only its own bits; a short
// report set by a script is first filled up to a whole one.
TEST(BoardModel, ControlBitsChangeOnlyTheirMask)
{
    Board b;
    ASSERT_TRUE(b.model.setControlReport({0x81, 0x0F}));
    b.model.setControlBits(0, 0x02, 0xFF);
    b.model.setControlBits(1, 0x01, 0x00);
    b.model.setControlBits(3, 0xFF, 0xF5);
    b.model.setControlBits(8, 0xFF, 0xFF); // past the report: ignored
    EXPECT_EQ(b.model.controlReport(), (Bytes{0x83, 0x0E, 0, 0xF5, 0, 0, 0, 0}));
    EXPECT_EQ(b.bulkRead().data, (Bytes{0x83, 0x0E, 0, 0xF5, 0, 0, 0, 0}));
}

TEST(BoardModel, JogStepsKeptUntilReportCarriesThem)
{
    Board b;
    ASSERT_TRUE(b.model.setControlReport({9, 9, 9, 9}));
    b.model.addJogSteps(7);
    b.bulkRead();
    ASSERT_TRUE(b.model.setControlReport(zeros));
    EXPECT_EQ(b.bulkRead().data, (Bytes{0, 0, 0, 0, 0, 7, 0, 0}));
}

TEST(BoardModel, BulkWriteSetsJogLeds)
{
    Board b;
    ASSERT_TRUE(b.model.ioControl(1, ezusb::IOCTL_BULK_WRITE, le32(1), 2, {0xA0, 0x0F}).ok);
    EXPECT_EQ(b.model.jogFlags(), 0xA0);
    EXPECT_EQ(b.model.jogLeds(), 0x0F);
}

// ---------------------------------------------------------------- key queue

struct KeyCase {
    const char* name;
    std::vector<Bytes> blocks;
    std::vector<uint32_t> readLengths;
    std::vector<Bytes> results;
    size_t leftQueued;
};

class Keys : public testing::TestWithParam<KeyCase> {};

TEST_P(Keys, EachReadReturnsOneBlock)
{
    const KeyCase& c = GetParam();
    Board b;
    for (const Bytes& block : c.blocks)
        b.model.queueKeys(block);
    std::vector<Bytes> got;
    for (uint32_t max : c.readLengths) {
        ReadResult r;
        b.model.read(1, max, r.callback());
        ASSERT_TRUE(r.done) << "a queued block completes the read at once";
        ASSERT_TRUE(r.ok);
        got.push_back(r.bytes);
    }
    EXPECT_EQ(got, c.results);
    EXPECT_EQ(b.model.queuedKeyBlocks(), c.leftQueued);
}

const Bytes block64 = [] {
    Bytes b(64);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = uint8_t(i * 3);
    return b;
}();

INSTANTIATE_TEST_SUITE_P(
    Table, Keys,
    testing::Values(
        KeyCase{"oneBlockPerRead", {{0x1C}, {0xF0, 0x1C}}, {64, 64}, {{0x1C}, {0xF0, 0x1C}}, 0},
        KeyCase{"emptyBlock", {{}, {0x29}}, {64}, {{}}, 1},
        KeyCase{"wholeBlock64", {block64}, {64}, {block64}, 0},
        KeyCase{"longerThanRead", {{1, 2, 3, 4, 5, 6}}, {4, 4}, {{1, 2, 3, 4}, {5, 6}}, 0},
        KeyCase{"restBeforeNextBlock", {{1, 2, 3}, {9}}, {2, 64, 64}, {{1, 2}, {3}, {9}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, PendingReadsCompleteInOrder)
{
    Board b;
    ASSERT_TRUE(b.model.open(2));
    ReadResult first, second;
    b.model.read(1, 64, first.callback());
    b.model.read(2, 64, second.callback());
    EXPECT_FALSE(first.done);
    EXPECT_EQ(b.model.pendingReads(), 2);
    EXPECT_TRUE(b.leds(0x11, 2).ok) << "requests go through while reads wait";
    b.model.queueKeys({0x1C});
    EXPECT_TRUE(first.done);
    EXPECT_EQ(first.bytes, Bytes{0x1C});
    EXPECT_FALSE(second.done);
    b.model.queueKeys({0x32});
    EXPECT_EQ(second.bytes, Bytes{0x32});
    EXPECT_EQ(b.model.pendingReads(), 0);
}

TEST(BoardModel, AbortOfPipe0FailsEveryPendingRead)
{
    Board b;
    ASSERT_TRUE(b.model.open(2));
    ASSERT_TRUE(b.model.open(3));
    ReadResult r1, r2;
    b.model.read(1, 64, r1.callback());
    b.model.read(2, 64, r2.callback());
    EXPECT_TRUE(b.abort(1, 3).ok);
    EXPECT_FALSE(r1.done) << "pipe 1 carries no key data";
    EXPECT_TRUE(b.abort(0, 3).ok);
    EXPECT_TRUE(r1.done && r2.done);
    EXPECT_FALSE(r1.ok || r2.ok);
    EXPECT_EQ(b.model.pendingReads(), 0);
    // The abort ends only what was pending, not later reads.
    b.model.queueKeys({0x5A});
    ReadResult r3;
    b.model.read(1, 64, r3.callback());
    EXPECT_TRUE(r3.ok);
}

TEST(BoardModel, DroppedConnectionLosesItsReadAndIsLoggedClosed)
{
    Board b;
    ReadResult r;
    b.model.read(1, 64, r.callback());
    b.model.drop(1);
    EXPECT_EQ(b.model.pendingReads(), 0);
    EXPECT_EQ(b.model.openHandles(), 0);
    const Event& e = b.model.events().back();
    EXPECT_EQ(e.op, Op::Close);
    EXPECT_TRUE(e.dropped);
    b.model.queueKeys({1});
    EXPECT_EQ(b.model.queuedKeyBlocks(), 1u) << "no one took the block";
}

// ---------------------------------------------------------------- faults

struct FaultCase {
    const char* name;
    Fault fault;
    std::vector<bool> results; // of successive set-LEDs requests
};

class Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Faults, FailTheArmedRequests)
{
    const FaultCase& c = GetParam();
    Board b;
    b.model.setFault(Op::Leds, c.fault);
    std::vector<bool> got;
    for (size_t i = 0; i < c.results.size(); ++i)
        got.push_back(b.leds(uint8_t(i + 1)).ok);
    EXPECT_EQ(got, c.results);
    EXPECT_EQ(b.model.faults().count(Op::Leds), c.fault.remaining < 0 ? 1u : 0u)
        << "a spent fault is gone";
    EXPECT_TRUE(b.abort(0).ok) << "other requests are not affected";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Faults,
    testing::Values(FaultCase{"once", {0, 1}, {false, true, true}},
                    FaultCase{"twice", {0, 2}, {false, false, true}},
                    FaultCase{"always", {0, -1}, {false, false, false, false}},
                    FaultCase{"off", {0, 0}, {true, true}},
                    FaultCase{"afterOne", {1, 1}, {true, false, true}},
                    FaultCase{"alwaysAfterTwo", {2, -1}, {true, true, false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, FaultsOfOtherOps)
{
    Board b;
    b.model.setFault(Op::Open, {0, 1});
    EXPECT_FALSE(b.model.open(2));
    EXPECT_TRUE(b.model.open(3));

    b.model.setFault(Op::Write, {0, 1});
    EXPECT_FALSE(b.model.write(1, {'0', 'a'}));
    EXPECT_EQ(b.model.display()[0], "");

    b.model.queueKeys({0x1C});
    b.model.setFault(Op::Read, {0, 1});
    ReadResult r;
    b.model.read(1, 64, r.callback());
    EXPECT_TRUE(r.done);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(b.model.queuedKeyBlocks(), 1u) << "a failed read takes no block";

    b.model.setFault(Op::Close, {0, 1});
    EXPECT_FALSE(b.model.close(3));
    EXPECT_EQ(b.model.openHandles(), 1) << "the handle is released all the same";

    b.model.setFault(Op::Anchor, {0, 1});
    EXPECT_FALSE(b.anchor(0x7F92, {1}).ok);
    EXPECT_EQ(b.model.cpucs(), 0);
}

// ---------------------------------------------------------------- unplug

TEST(BoardModel, UnplugEndsHandlesForGood)
{
    Board b;
    ASSERT_TRUE(b.leds(0x3C).ok);
    ReadResult r;
    b.model.read(1, 64, r.callback());
    b.model.unplug();
    EXPECT_TRUE(r.done);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(b.leds(0xFF).ok);
    EXPECT_FALSE(b.model.open(2));
    EXPECT_EQ(b.model.openHandles(), 0);

    b.model.plug();
    EXPECT_FALSE(b.leds(0xFF).ok) << "a handle of the old device stays dead";
    ASSERT_TRUE(b.model.open(3));
    EXPECT_TRUE(b.leds(0x81, 3).ok);
    EXPECT_EQ(b.model.leds(), 0x81);
    EXPECT_TRUE(b.model.close(1)) << "closing a dead handle still releases it";
}

TEST(BoardModel, ReleasingResetKeepsHandles)
{
    Board b;
    ASSERT_TRUE(b.anchor(0x7F92, {1}).ok);
    ASSERT_TRUE(b.anchor(0, {0x02, 0x00}).ok);
    ASSERT_TRUE(b.anchor(0x7F92, {0}).ok);
    EXPECT_TRUE(b.leds(0x01).ok);
}

// ---------------------------------------------------------------- event log

struct EventCase {
    const char* name;
    std::function<void(Board&)> request;
    std::string json;
};

class Events : public testing::TestWithParam<EventCase> {};

TEST_P(Events, LineHasTheFieldsOfItsOp)
{
    const EventCase& c = GetParam();
    Board b;
    b.now = 1234;
    c.request(b);
    EXPECT_EQ(b.lastEvent(), c.json);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Events,
    testing::Values(
        EventCase{"open", [](Board& b) { b.model.open(5); },
                  R"({"seq":2,"t_us":1234,"handle":5,"op":"open","ok":true})"},
        EventCase{"close", [](Board& b) { b.model.close(1); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"close","ok":true})"},
        EventCase{"dropped", [](Board& b) { b.model.drop(1); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"close","ok":true,"dropped":true})"},
        EventCase{"leds", [](Board& b) { b.leds(0xA0); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"leds","ok":true,"pattern":"A0"})"},
        EventCase{"anchorOneByte", [](Board& b) { b.anchor(0x7F92, {1}); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"anchor","ok":true,"addr":"7F92",)"
                  R"("length":1,"sha256":)"
                  R"("4BF5122F344554C53BDE2EBB8CD2B7E3D1600AD631C385A5D7CCE23C7785459A",)"
                  R"("value":"01"})"},
        EventCase{"anchorOutside",
                  [](Board& b) {
                      b.anchor(0x1B40, {0, 0});
                  },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"anchor","ok":false,"addr":"1B40",)"
                  R"("length":2,"sha256":)"
                  R"("96A296D224F285C67BEE93C30F8A309157F0DAA35DC5B87E410B78630A09CFC7"})"},
        EventCase{"abort", [](Board& b) { b.abort(0); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"abort","ok":true,"pipe":0})"},
        EventCase{"bulkread", [](Board& b) { b.bulkRead(); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"bulkread","ok":true,)"
                  R"("bytes":"0000000000000000","pipe":0})"},
        EventCase{"bulkwrite",
                  [](Board& b) {
                      b.model.ioControl(1, ezusb::IOCTL_BULK_WRITE, le32(1), 2, {0xA0, 0x0F});
                  },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"bulkwrite","ok":true,)"
                  R"("bytes":"A00F","pipe":1})"},
        EventCase{"write",
                  [](Board& b) {
                      b.model.write(1, {'0', 'C', 0xE9, '"', '\n'});
                  },
                  "{\"seq\":2,\"t_us\":1234,\"handle\":1,\"op\":\"write\",\"ok\":true,"
                  "\"bytes\":\"3043E9220A\",\"text\":\"0C\xC3\xA9\\\"\\u000a\"}"},
        EventCase{"read",
                  [](Board& b) {
                      b.model.queueKeys({0xF0, 0x1C});
                      b.model.read(1, 64, {});
                  },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"read","ok":true,"bytes":"F01C",)"
                  R"("length":64})"},
        EventCase{"unknownCode", [](Board& b) { b.model.ioControl(1, 0x00222000, {}, 0, {}); },
                  R"({"seq":2,"t_us":1234,"handle":1,"op":"ioctl","ok":false,)"
                  R"("code":"00222000"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModel, ReadIsLoggedWhenItCompletes)
{
    Board b;
    b.now = 10;
    b.model.read(1, 64, {});
    uint64_t before = b.model.lastSeq();
    b.now = 99;
    b.model.queueKeys({0x29});
    ASSERT_EQ(b.model.lastSeq(), before + 1);
    EXPECT_EQ(b.model.events().back().tUs, 99);
    EXPECT_EQ(b.model.events().back().bytes, "29");
}

TEST(BoardModel, LogIsBoundedAndSeqKeepsCounting)
{
    Board b; // the open is event 1
    b.model.setLogLimits(5, size_t(1) << 30);
    for (int i = 0; i < 11; ++i)
        b.leds(uint8_t(i));
    EXPECT_EQ(b.model.lastSeq(), 12u);
    ASSERT_EQ(b.model.events().size(), 5u);
    EXPECT_EQ(b.model.events().front().seq, 8u);

    std::vector<uint64_t> seqs;
    b.model.forEachEventSince(9, [&](const Event& e) { seqs.push_back(e.seq); });
    EXPECT_EQ(seqs, (std::vector<uint64_t>{10, 11, 12}));
    seqs.clear();
    b.model.forEachEventSince(0, [&](const Event& e) { seqs.push_back(e.seq); });
    EXPECT_EQ(seqs, (std::vector<uint64_t>{8, 9, 10, 11, 12}));
    seqs.clear();
    b.model.forEachEventSince(12, [&](const Event& e) { seqs.push_back(e.seq); });
    EXPECT_TRUE(seqs.empty());

    // A byte budget bounds the log as well: large writes push old events out.
    b.model.setLogLimits(1000, 64 * 1024);
    for (int i = 0; i < 20; ++i)
        b.model.write(1, Bytes(8 * 1024, 'x'));
    EXPECT_LT(b.model.events().size(), 8u);
    EXPECT_EQ(b.model.events().back().seq, b.model.lastSeq());
}

TEST(BoardModel, ListenersHearEveryChange)
{
    Board b;
    int calls = 0;
    int id = b.model.addListener([&] { ++calls; });
    b.model.queueKeys({1});
    EXPECT_EQ(calls, 1);
    b.leds(1);
    EXPECT_EQ(calls, 2);
    b.model.addJogSteps(1);
    b.model.setControlReport({});
    b.model.unplug();
    b.model.plug();
    EXPECT_EQ(calls, 6);
    b.model.removeListener(id);
    b.leds(2);
    EXPECT_EQ(calls, 6);
}

} // namespace
