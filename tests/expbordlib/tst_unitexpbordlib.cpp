// The board library against the virtual board: what each operation sends or
// receives, as the board's event log records it, and how failures show.
#include "simboard.h"
#include "unitexpbordlib.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include "printrows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

using testsupport::SimBoard;

namespace {

using testsupport::PrintTo;

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

class BoardLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        h = openBoard(sim.devicePath().c_str());
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
    }
    void TearDown() override
    {
        if (h != INVALID_HANDLE_VALUE)
            closeBoard(h);
    }
    void ctl(const Args& args)
    {
        testsupport::CtlResult r = sim.ctl(args);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    // Waits until the board has n reads pending.
    bool pendingReads(int n)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < deadline) {
            if (sim.state()["pendingReads"].toInt() == n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    SimBoard sim;
    BoardHandle h = INVALID_HANDLE_VALUE;
};

// A key read on its own thread, as the player's key reader does it.
struct BackgroundRead {
    BoardHandle handle;
    std::atomic<bool> done{false};
    bool result = false;
    uint8_t buffer[64] = {};
    uint32_t count = 0;
    std::thread thread;

    explicit BackgroundRead(BoardHandle h) : handle(h)
    {
        thread = std::thread([this] {
            result = readBoardKeys(handle, buffer, count);
            done = true;
        });
    }
    // Whether the read ended within timeoutMs.
    bool waitDone(int timeoutMs = 3000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done;
    }
    ~BackgroundRead()
    {
        if (thread.joinable())
            thread.join();
    }
};

std::string writeFile(const std::string& dir, const Bytes& content)
{
    std::string path = dir + "/image.bix";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    return path;
}

Bytes imageOf(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = uint8_t(i * 7 + 3);
    return b;
}

QString sha256(const Bytes& b)
{
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toUpper();
}

// ---------------------------------------------------------------- one request each

struct OperationCase {
    const char* name;
    std::vector<Args> setup;
    std::function<bool(BoardHandle)> call;
    bool result;
    const char* op;
    std::map<QString, QJsonValue> fields;
};

class Operation : public BoardLibrary, public testing::WithParamInterface<OperationCase> {};

TEST_P(Operation, SendsOneRequestWithTheseBytes)
{
    const OperationCase& c = GetParam();
    for (const Args& a : c.setup)
        ctl(a);
    long before = sim.lastSeq();
    EXPECT_EQ(c.call(h), c.result);
    std::vector<QJsonObject> events = sim.events(0, before);
    ASSERT_EQ(events.size(), 1u) << "one device call per operation";
    const QJsonObject& e = events[0];
    EXPECT_EQ(e["op"].toString(), c.op);
    EXPECT_EQ(e["ok"].toBool(), c.result);
    for (const auto& [key, value] : c.fields)
        EXPECT_EQ(e[key], value) << key.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Operation,
    testing::Values(
        OperationCase{"setBoardLeds",
                      {},
                      [](BoardHandle h) { return setBoardLeds(h, 0x5A); },
                      true,
                      "leds",
                      {{"pattern", "5A"}}},
        OperationCase{"setBoardLedsFails",
                      {{"fail", "leds"}},
                      [](BoardHandle h) { return setBoardLeds(h, 0xFF); },
                      false,
                      "leds",
                      {{"pattern", "FF"}}},
        OperationCase{"writeBoardLeds",
                      {},
                      [](BoardHandle h) { return writeBoardLeds(h, 0x0F, 0xA0); },
                      true,
                      "bulkwrite",
                      {{"pipe", 1}, {"bytes", "A00F"}}},
        OperationCase{"writeBoardLedsFails",
                      {{"fail", "bulkwrite"}},
                      [](BoardHandle h) { return writeBoardLeds(h, 0x01, 0x80); },
                      false,
                      "bulkwrite",
                      {{"pipe", 1}, {"bytes", "8001"}}},
        OperationCase{"setBoardResetHold",
                      {},
                      [](BoardHandle h) { return setBoardReset(h, 1); },
                      true,
                      "anchor",
                      {{"addr", "7F92"}, {"length", 1}, {"value", "01"}}},
        OperationCase{"setBoardResetRun",
                      {},
                      [](BoardHandle h) { return setBoardReset(h, 0); },
                      true,
                      "anchor",
                      {{"addr", "7F92"}, {"length", 1}, {"value", "00"}}},
        OperationCase{"writeBoardText",
                      {},
                      [](BoardHandle h) { return writeBoardText(h, "0Song.mp3"); },
                      true,
                      "write",
                      {{"bytes", "30536F6E672E6D7033"}, {"text", "0Song.mp3"}}},
        OperationCase{"writeBoardTextLatin1",
                      {},
                      [](BoardHandle h) { return writeBoardText(h, "2caf\xE9"); },
                      true,
                      "write",
                      {{"bytes", "32636166E9"}, {"text", QString::fromUtf8("2caf\xC3\xA9")}}},
        OperationCase{"writeBoardTextEmpty",
                      {},
                      [](BoardHandle h) { return writeBoardText(h, ""); },
                      true,
                      "write",
                      {{"bytes", ""}, {"text", ""}}},
        OperationCase{"writeBoardTextFails",
                      {{"fail", "text"}},
                      [](BoardHandle h) { return writeBoardText(h, "1"); },
                      false,
                      "write",
                      {{"bytes", "31"}}},
        OperationCase{"abortBoardRead",
                      {},
                      [](BoardHandle h) { return abortBoardRead(h); },
                      true,
                      "abort",
                      {{"pipe", 0}}},
        OperationCase{"abortBoardReadFails",
                      {{"fail", "abort"}},
                      [](BoardHandle h) { return abortBoardRead(h); },
                      false,
                      "abort",
                      {{"pipe", 0}}},
        OperationCase{"readBoardControls",
                      {{"controls", "01", "02", "03", "04", "05", "06", "07", "08"}},
                      [](BoardHandle h) {
                          uint8_t keys[3];
                          int8_t shuttle;
                          uint8_t l, r, k6, k7;
                          return readBoardControls(h, keys, shuttle, l, r, k6, k7);
                      },
                      true,
                      "bulkread",
                      {{"pipe", 0}, {"bytes", "0102030405060708"}}},
        OperationCase{"readBoardKeys",
                      {{"keys", "F0", "1C"}},
                      [](BoardHandle h) {
                          uint8_t buffer[64];
                          uint32_t count = 0;
                          return readBoardKeys(h, buffer, count) && count == 2;
                      },
                      true,
                      "read",
                      {{"bytes", "F01C"}, {"length", 64}}},
        OperationCase{"readBoardKeysFails",
                      {{"keys", "1C"}, {"fail", "read"}},
                      [](BoardHandle h) {
                          uint8_t buffer[64];
                          uint32_t count = 0;
                          return readBoardKeys(h, buffer, count);
                      },
                      false,
                      "read",
                      {{"bytes", ""}}},
        OperationCase{
            "closeBoard", {}, [](BoardHandle h) { return closeBoard(h); }, true, "close", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardLibrary, OpenBoardIsOneOpenRequest)
{
    long before = sim.lastSeq();
    BoardHandle second = openBoard(sim.devicePath().c_str());
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    auto events = sim.events(0, before);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["op"], "open");
    EXPECT_TRUE(events[0]["ok"].toBool());
    closeBoard(second);

    ctl({"fail", "open"});
    EXPECT_EQ(openBoard(sim.devicePath().c_str()), INVALID_HANDLE_VALUE);
    for (const char* bad : {"", "ezusb-0", "\\\\.\\", "\\\\.\\ezusb-9", "\\\\.\\..",
                            "\\\\.\\a/ezusb-0", "//./ezusb-0"})
        EXPECT_EQ(openBoard(bad), INVALID_HANDLE_VALUE) << bad;
    EXPECT_EQ(openBoard(nullptr), INVALID_HANDLE_VALUE);
}

// ---------------------------------------------------------------- firmware

TEST_F(BoardLibrary, DownloadFirmwareHoldsWritesReleases)
{
    Bytes image = imageOf(300);
    std::string path = writeFile(sim.dir(), image);
    long before = sim.lastSeq();
    EXPECT_TRUE(downloadFirmware(h, path.c_str()));
    std::vector<QJsonObject> anchors = sim.events("anchor", 0, before);
    ASSERT_EQ(anchors.size(), 3u);
    EXPECT_EQ(anchors[0]["addr"], "7F92");
    EXPECT_EQ(anchors[0]["value"], "01");
    EXPECT_EQ(anchors[1]["addr"], "0000");
    EXPECT_EQ(anchors[1]["length"], 300);
    EXPECT_EQ(anchors[1]["sha256"], sha256(image));
    EXPECT_EQ(anchors[2]["addr"], "7F92");
    EXPECT_EQ(anchors[2]["value"], "00");
    EXPECT_EQ(sim.events(0, before).size(), 3u) << "nothing but the three anchors";
    QJsonObject s = sim.state();
    EXPECT_EQ(s["cpucs"].toInt(), 0);
    EXPECT_EQ(s["image"].toObject()["bytes"].toInt(), 300);
    EXPECT_EQ(s["image"].toObject()["sha256"], sha256(image));
    EXPECT_TRUE(s["image"].toObject()["running"].toBool());
    EXPECT_TRUE(setBoardLeds(h, 1)) << "the handle outlives the restart";
}

struct DownloadCase {
    const char* name;
    std::optional<size_t> fileSize; // none: the file does not exist
    Args fault;
    bool result;
    size_t anchors; // requests that reached the board
    int cpucs;
    int imageBytes;
};

class Download : public BoardLibrary, public testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, BoardStateAfterwards)
{
    const DownloadCase& c = GetParam();
    std::string path = sim.dir() + "/missing.bix";
    if (c.fileSize)
        path = writeFile(sim.dir(), imageOf(*c.fileSize));
    if (!c.fault.empty())
        ctl(c.fault);
    long before = sim.lastSeq();
    EXPECT_EQ(downloadFirmware(h, path.c_str()), c.result);
    EXPECT_EQ(sim.events(0, before).size(), c.anchors);
    EXPECT_EQ(sim.events("anchor", 0, before).size(), c.anchors);
    QJsonObject s = sim.state();
    EXPECT_EQ(s["cpucs"].toInt(), c.cpucs);
    EXPECT_EQ(s["image"].toObject()["bytes"].toInt(), c.imageBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Download,
    testing::Values(
        DownloadCase{"missingFile", std::nullopt, {}, false, 0, 0, 0},
        DownloadCase{"emptyFile", 0, {}, false, 0, 0, 0},
        DownloadCase{"holdFails", 100, {"fail", "anchor"}, false, 1, 0, 0},
        DownloadCase{"transferFails", 100, {"fail", "anchor", "--after", "1"}, false, 2, 1, 0},
        DownloadCase{"releaseFails", 100, {"fail", "anchor", "--after", "2"}, false, 3, 1, 100},
        DownloadCase{"imageOutsideMemory", 0x1B41, {}, false, 2, 1, 0},
        DownloadCase{"imageFillsMemory", 0x1B40, {}, true, 3, 0, 0x1B40},
        DownloadCase{"oneByte", 1, {}, true, 3, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardLibrary, DownloadFirmwareOfADirectoryTouchesNoBoard)
{
    long before = sim.lastSeq();
    EXPECT_FALSE(downloadFirmware(h, sim.dir().c_str()));
    EXPECT_FALSE(downloadFirmware(h, nullptr));
    EXPECT_EQ(sim.lastSeq(), before);
}

// ---------------------------------------------------------------- control report

struct ControlsCase {
    const char* name;
    Args setup;
    bool result;
    Bytes keys;
    int shuttle;
    int left, right, key6, key7;
};

class Controls : public BoardLibrary, public testing::WithParamInterface<ControlsCase> {};

TEST_P(Controls, ReportToOutputs)
{
    const ControlsCase& c = GetParam();
    ctl(c.setup);
    // Sentinels: a failed read must leave every output as it was.
    uint8_t keys[3] = {0xEE, 0xEE, 0xEE};
    int8_t shuttle = 99;
    uint8_t left = 0xEE, right = 0xEE, key6 = 0xEE, key7 = 0xEE;
    EXPECT_EQ(readBoardControls(h, keys, shuttle, left, right, key6, key7), c.result);
    EXPECT_EQ(Bytes(keys, keys + 3), c.keys);
    EXPECT_EQ(shuttle, c.shuttle);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(right, c.right);
    EXPECT_EQ(key6, c.key6);
    EXPECT_EQ(key7, c.key7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Controls,
    testing::Values(
        ControlsCase{"full",
                     {"controls", "11", "22", "33", "F5", "F5", "F5", "66", "77"},
                     true,
                     {0x11, 0x22, 0x33},
                     -11,
                     245,
                     245,
                     0x66,
                     0x77},
        ControlsCase{"extremes",
                     {"controls", "00", "FF", "80", "7F", "00", "FF", "80", "01"},
                     true,
                     {0x00, 0xFF, 0x80},
                     127,
                     0,
                     255,
                     0x80,
                     0x01},
        ControlsCase{
            "shuttleMost", {"controls", "0000008000000000"}, true, {0, 0, 0}, -128, 0, 0, 0, 0},
        ControlsCase{"shortReport",
                     {"controls", "11", "22", "33", "F5", "F5", "F5", "66"},
                     false,
                     {0xEE, 0xEE, 0xEE},
                     99,
                     0xEE,
                     0xEE,
                     0xEE,
                     0xEE},
        ControlsCase{
            "emptyReport", {"controls"}, false, {0xEE, 0xEE, 0xEE}, 99, 0xEE, 0xEE, 0xEE, 0xEE},
        ControlsCase{"requestFails",
                     {"fail", "bulkread"},
                     false,
                     {0xEE, 0xEE, 0xEE},
                     99,
                     0xEE,
                     0xEE,
                     0xEE,
                     0xEE}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- handles and reads

TEST_F(BoardLibrary, TwoHandlesAtOnce)
{
    BoardHandle second = openBoard(sim.devicePath().c_str());
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, h);
    EXPECT_EQ(sim.state()["openHandles"].toInt(), 2);
    long before = sim.lastSeq();
    EXPECT_TRUE(setBoardLeds(h, 0x01));
    EXPECT_TRUE(writeBoardText(second, "0x"));
    auto events = sim.events(0, before);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0]["handle"], events[1]["handle"]) << "one connection per handle";
    EXPECT_TRUE(closeBoard(second));
    EXPECT_EQ(sim.state()["openHandles"].toInt(), 1);
    EXPECT_FALSE(setBoardLeds(second, 0x02)) << "a closed handle is gone";
    EXPECT_TRUE(setBoardLeds(h, 0x03));
}

TEST_F(BoardLibrary, AbortOnOtherHandleEndsPendingRead)
{
    BoardHandle reader = openBoard(sim.devicePath().c_str());
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    {
        BackgroundRead read(reader);
        ASSERT_TRUE(pendingReads(1));
        // The GUI thread's requests go through meanwhile.
        EXPECT_TRUE(setBoardLeds(h, 0xFF));
        EXPECT_TRUE(writeBoardText(h, "2abc"));
        EXPECT_FALSE(read.done);
        EXPECT_TRUE(abortBoardRead(h));
        ASSERT_TRUE(read.waitDone()) << "the abort must end the read";
        EXPECT_FALSE(read.result);
    }
    EXPECT_EQ(sim.state()["pendingReads"].toInt(), 0);
    // The reader's handle stays usable.
    ctl({"keys", "29"});
    uint8_t buffer[64];
    uint32_t count = 0;
    EXPECT_TRUE(readBoardKeys(reader, buffer, count));
    EXPECT_EQ(count, 1u);
    closeBoard(reader);
}

TEST_F(BoardLibrary, ReadWaitsForKeys)
{
    BackgroundRead read(h);
    ASSERT_TRUE(pendingReads(1));
    EXPECT_FALSE(read.done);
    ctl({"keys", "E0", "5A"});
    ASSERT_TRUE(read.waitDone());
    EXPECT_TRUE(read.result);
    EXPECT_EQ(Bytes(read.buffer, read.buffer + read.count), (Bytes{0xE0, 0x5A}));
}

TEST_F(BoardLibrary, ZeroByteBlockIsASuccessfulRead)
{
    ctl({"keys"});
    uint8_t buffer[64];
    uint32_t count = 99;
    EXPECT_TRUE(readBoardKeys(h, buffer, count));
    EXPECT_EQ(count, 0u);
}

TEST_F(BoardLibrary, SixtyFourByteBlockArrivesWhole)
{
    Args keys = {"keys"};
    Bytes expected;
    for (int i = 0; i < 64; ++i) {
        expected.push_back(uint8_t(0xC0 ^ i));
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", expected.back());
        keys.push_back(hex);
    }
    ctl(keys);
    ctl({"keys", "01"});
    uint8_t buffer[64];
    uint32_t count = 0;
    ASSERT_TRUE(readBoardKeys(h, buffer, count));
    EXPECT_EQ(Bytes(buffer, buffer + count), expected);
    ASSERT_TRUE(readBoardKeys(h, buffer, count));
    EXPECT_EQ(count, 1u) << "the next block is a read of its own";
}

TEST_F(BoardLibrary, UnplugEndsPendingReadAndHandle)
{
    {
        BackgroundRead read(h);
        ASSERT_TRUE(pendingReads(1));
        ctl({"unplug"});
        ASSERT_TRUE(read.waitDone());
        EXPECT_FALSE(read.result);
    }
    EXPECT_FALSE(setBoardLeds(h, 0x01));
    EXPECT_EQ(openBoard(sim.devicePath().c_str()), INVALID_HANDLE_VALUE);
    ctl({"plug"});
    EXPECT_FALSE(setBoardLeds(h, 0x01)) << "the handle named the device that went away";
    BoardHandle fresh = openBoard(sim.devicePath().c_str());
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(setBoardLeds(fresh, 0x02));
    EXPECT_EQ(sim.state()["leds"].toString(), "02");
    closeBoard(fresh);
}

// ---------------------------------------------------------------- no board

TEST_F(BoardLibrary, InvalidHandleFailsEverywhere)
{
    std::string image = writeFile(sim.dir(), imageOf(10));
    long before = sim.lastSeq();
    BoardHandle none = INVALID_HANDLE_VALUE;
    uint8_t buffer[64];
    uint32_t count = 0;
    uint8_t keys[3] = {0xEE, 0xEE, 0xEE};
    int8_t shuttle = 5;
    uint8_t l = 1, r = 2, k6 = 3, k7 = 4;
    EXPECT_FALSE(setBoardReset(none, 1));
    EXPECT_FALSE(downloadFirmware(none, image.c_str()));
    EXPECT_FALSE(writeBoardText(none, "0x"));
    EXPECT_FALSE(setBoardLeds(none, 0xFF));
    EXPECT_FALSE(readBoardKeys(none, buffer, count));
    EXPECT_FALSE(abortBoardRead(none));
    EXPECT_FALSE(readBoardControls(none, keys, shuttle, l, r, k6, k7));
    EXPECT_EQ(shuttle, 5);
    EXPECT_EQ(keys[0], 0xEE);
    EXPECT_FALSE(writeBoardLeds(none, 1, 2));
    EXPECT_FALSE(closeBoard(none));
    EXPECT_FALSE(closeBoard(none)) << "closing it again is as harmless";
    EXPECT_EQ(sim.lastSeq(), before) << "nothing reaches the board";
    EXPECT_TRUE(setBoardLeds(h, 0x01)) << "and real handles are unaffected";
}

TEST_F(BoardLibrary, KilledDaemonGivesFailuresNotHangs)
{
    std::string image = writeFile(sim.dir(), imageOf(10));
    BoardHandle second = openBoard(sim.devicePath().c_str());
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    {
        BackgroundRead read(second);
        ASSERT_TRUE(pendingReads(1));
        sim.kill();
        ASSERT_TRUE(read.waitDone()) << "a read pending on a vanished board must end";
        EXPECT_FALSE(read.result);
    }
    // Run the calls on a thread so a hang shows as a failure, not a stuck test.
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    std::thread calls([&] {
        uint8_t buffer[64], keys[3];
        uint32_t count = 0;
        int8_t shuttle;
        uint8_t l, r, k6, k7;
        failures += !setBoardLeds(h, 1);
        failures += !writeBoardText(h, "0gone");
        failures += !writeBoardLeds(h, 1, 2);
        failures += !abortBoardRead(h);
        failures += !readBoardControls(h, keys, shuttle, l, r, k6, k7);
        failures += !readBoardKeys(h, buffer, count);
        failures += !downloadFirmware(h, image.c_str());
        failures += !closeBoard(h);
        failures += openBoard(sim.devicePath().c_str()) == INVALID_HANDLE_VALUE;
        done = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!done) {
        // The thread cannot be joined or abandoned safely; end the run loudly.
        std::fprintf(stderr, "a call hangs on a board whose daemon is gone\n");
        std::abort();
    }
    calls.join();
    EXPECT_EQ(failures, 9);
    h = INVALID_HANDLE_VALUE;
    closeBoard(second);
}

} // namespace
