// The control commands as a pure function, typed text as scan codes, and the
// frames of the control socket.
#include "ctlcommands.h"
#include "ctlprotocol.h"
#include "keyboard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "printrows.h"

#include <gtest/gtest.h>

using namespace boardsim;

namespace {

using testsupport::PrintTo;

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

// Reads the queued blocks back through a handle of the board.
std::vector<Bytes> drainKeys(BoardModel& board)
{
    std::vector<Bytes> blocks;
    board.open(99);
    while (board.queuedKeyBlocks() > 0)
        board.read(99, 64, [&](bool, const Bytes& b) { blocks.push_back(b); });
    board.close(99);
    return blocks;
}

struct CtlCase {
    const char* name;
    Args args;
    int exitCode;
    std::function<void(BoardModel&)> check; // the effect, on success
    const char* message = "";               // part of the text, on failure
};

class Ctl : public testing::TestWithParam<CtlCase> {};

TEST_P(Ctl, ArgumentsToEffect)
{
    const CtlCase& c = GetParam();
    BoardModel board;
    CtlReply reply = runCtlCommand(board, c.args);
    EXPECT_EQ(reply.exitCode, c.exitCode) << reply.output;
    if (c.exitCode == CtlOk && c.check)
        c.check(board);
    if (c.exitCode != CtlOk) {
        EXPECT_NE(reply.output.find(c.message), std::string::npos) << reply.output;
        // A refused command leaves the board as it was.
        EXPECT_EQ(board.queuedKeyBlocks(), 0u);
        EXPECT_TRUE(board.faults().empty());
        EXPECT_TRUE(board.plugged());
        EXPECT_EQ(board.controlReport(), Bytes(8, 0));
    }
}

Args manyBytes(int n)
{
    Args a = {"keys"};
    for (int i = 0; i < n; ++i)
        a.push_back("00");
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Ctl,
    testing::Values(
        CtlCase{"noCommand", {}, CtlUsage, {}, "opdracht"},
        CtlCase{"unknownCommand", {"reboot"}, CtlUsage, {}, "onbekende opdracht 'reboot'"},
        CtlCase{"keys",
                {"keys", "1C", "F0", "1c"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(drainKeys(b), std::vector<Bytes>{Bytes({0x1C, 0xF0, 0x1C})});
                }},
        CtlCase{"keysRunOfDigits",
                {"keys", "E0F07A", "5"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(drainKeys(b), std::vector<Bytes>{Bytes({0xE0, 0xF0, 0x7A, 0x05})});
                }},
        CtlCase{"keysEmptyBlock",
                {"keys"},
                CtlOk,
                [](BoardModel& b) { EXPECT_EQ(drainKeys(b), std::vector<Bytes>{Bytes{}}); }},
        CtlCase{"keys64", manyBytes(64), CtlOk,
                [](BoardModel& b) { EXPECT_EQ(drainKeys(b), std::vector<Bytes>{Bytes(64, 0)}); }},
        CtlCase{"keys65", manyBytes(65), CtlUsage, {}, "64"},
        CtlCase{"keysNotHex", {"keys", "1G"}, CtlUsage, {}, "hexadecima"},
        CtlCase{"keysOddRun", {"keys", "F01"}, CtlUsage, {}, "hexadecima"},
        CtlCase{"keysEmptyArg", {"keys", ""}, CtlUsage, {}, "hexadecima"},
        CtlCase{"type",
                {"type", "a", "B"},
                CtlOk,
                [](BoardModel& b) {
                    std::vector<Bytes> expected = {{0x1C},       {0xF0, 0x1C}, {0x29},
                                                   {0xF0, 0x29}, {0x12},       {0x32},
                                                   {0xF0, 0x32}, {0xF0, 0x12}};
                    EXPECT_EQ(drainKeys(b), expected);
                }},
        CtlCase{"typeNothing", {"type"}, CtlUsage, {}, "tekst"},
        CtlCase{"typeUnknown", {"type", "ab\xC3\xA9"}, CtlUsage, {}, "'\xC3\xA9'"},
        CtlCase{"controls",
                {"controls", "01", "02", "03", "F5", "F5", "F5", "07", "08"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(b.controlReport(), (Bytes{1, 2, 3, 0xF5, 0xF5, 0xF5, 7, 8}));
                }},
        CtlCase{"controlsShort",
                {"controls", "01", "02", "03", "04", "05", "06", "07"},
                CtlOk,
                [](BoardModel& b) { EXPECT_EQ(b.controlReport().size(), 7u); }},
        CtlCase{"controlsNone",
                {"controls"},
                CtlOk,
                [](BoardModel& b) { EXPECT_TRUE(b.controlReport().empty()); }},
        CtlCase{"controlsNine", {"controls", "0102030405060708", "09"}, CtlUsage, {}, "8 bytes"},
        CtlCase{"failOnce",
                {"fail", "anchor"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(b.faults().at(Op::Anchor).remaining, 1);
                    EXPECT_EQ(b.faults().at(Op::Anchor).skip, 0);
                }},
        CtlCase{"failCount",
                {"fail", "bulkread", "3"},
                CtlOk,
                [](BoardModel& b) { EXPECT_EQ(b.faults().at(Op::BulkRead).remaining, 3); }},
        CtlCase{"failTextIsWrite",
                {"fail", "text", "always"},
                CtlOk,
                [](BoardModel& b) { EXPECT_EQ(b.faults().at(Op::Write).remaining, -1); }},
        CtlCase{"failAfter",
                {"fail", "anchor", "--after", "2"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(b.faults().at(Op::Anchor).remaining, 1);
                    EXPECT_EQ(b.faults().at(Op::Anchor).skip, 2);
                }},
        CtlCase{"failCountAfter",
                {"fail", "leds", "2", "--after", "1"},
                CtlOk,
                [](BoardModel& b) {
                    EXPECT_EQ(b.faults().at(Op::Leds).remaining, 2);
                    EXPECT_EQ(b.faults().at(Op::Leds).skip, 1);
                }},
        CtlCase{"failOff",
                {"fail", "open", "off"},
                CtlOk,
                [](BoardModel& b) { EXPECT_EQ(b.faults().count(Op::Open), 0u); }},
        CtlCase{"failZero", {"fail", "open", "0"}, CtlUsage, {}, "ongeldig aantal"},
        CtlCase{"failUnknownOp", {"fail", "ioctl"}, CtlUsage, {}, "onbekende bewerking"},
        CtlCase{"failNoOp", {"fail"}, CtlUsage, {}, "bulkwrite"},
        CtlCase{"failAfterNoNumber", {"fail", "open", "--after"}, CtlUsage, {}, "--after"},
        CtlCase{"failTwoCounts", {"fail", "open", "1", "2"}, CtlUsage, {}, "'2'"},
        CtlCase{"unplug", {"unplug"}, CtlOk, [](BoardModel& b) { EXPECT_FALSE(b.plugged()); }},
        CtlCase{"unplugArgument", {"unplug", "now"}, CtlUsage, {}, "geen argumenten"},
        CtlCase{"plug", {"plug"}, CtlOk, [](BoardModel& b) { EXPECT_TRUE(b.plugged()); }},
        CtlCase{"stateArgument", {"state", "x"}, CtlUsage, {}, "geen argumenten"},
        CtlCase{"eventsBadSince", {"events", "--since", "-1"}, CtlUsage, {}, "'-1'"},
        CtlCase{"eventsStray", {"events", "7"}, CtlUsage, {}, "--since"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Ctl, StateIsOneJsonObject)
{
    BoardModel board;
    board.open(1);
    board.ioControl(1, 0x002220C8, {0xA5}, 0, {});
    board.write(1, {'2', 'h', 0xE9});
    board.setFault(Op::Anchor, {1, -1});
    CtlReply reply = runCtlCommand(board, {"state"});
    ASSERT_EQ(reply.exitCode, CtlOk);
    ASSERT_EQ(reply.output.back(), '\n');
    EXPECT_EQ(std::count(reply.output.begin(), reply.output.end(), '\n'), 1);
    QJsonObject s = QJsonDocument::fromJson(QByteArray::fromStdString(reply.output)).object();
    EXPECT_EQ(s["cpucs"].toInt(-1), 0);
    EXPECT_EQ(s["leds"].toString(), "A5");
    EXPECT_EQ(s["display"].toArray()[2].toString(), QString::fromUtf8("h\xC3\xA9"));
    EXPECT_EQ(s["jogLeds"].toObject()["flags"].toString(), "00");
    EXPECT_EQ(s["image"].toObject()["bytes"].toInt(-1), 0);
    EXPECT_EQ(s["openHandles"].toInt(), 1);
    EXPECT_EQ(s["pendingReads"].toInt(-1), 0);
    EXPECT_EQ(s["report"].toString(), "0000000000000000");
    EXPECT_EQ(s["faults"].toObject()["anchor"].toObject()["remaining"].toString(), "always");
    EXPECT_EQ(s["faults"].toObject()["anchor"].toObject()["after"].toInt(), 1);
    EXPECT_EQ(s["lastSeq"].toInt(), 3);
}

TEST(Ctl, EventsSinceGivesLaterLinesOldestFirst)
{
    BoardModel board;
    board.open(1);
    for (uint8_t p : {1, 2, 3})
        board.ioControl(1, 0x002220C8, {p}, 0, {});
    CtlReply all = runCtlCommand(board, {"events"});
    EXPECT_EQ(std::count(all.output.begin(), all.output.end(), '\n'), 4);
    CtlReply later = runCtlCommand(board, {"events", "--since", "2"});
    ASSERT_EQ(later.exitCode, CtlOk);
    std::vector<std::string> lines;
    for (size_t pos = 0, end; (end = later.output.find('\n', pos)) != std::string::npos;
         pos = end + 1)
        lines.push_back(later.output.substr(pos, end - pos));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object()["pattern"],
              "02");
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(lines[1])).object()["seq"], 4);
    EXPECT_EQ(runCtlCommand(board, {"events", "--since", "4"}).output, "");
}

// ---------------------------------------------------------------- scan codes

struct TypeCase {
    const char* name;
    std::string text;
    std::vector<Bytes> blocks;
};

class Typing : public testing::TestWithParam<TypeCase> {};

TEST_P(Typing, MakeAndBreakPerKey)
{
    TypedKeys typed = typeText(GetParam().text);
    EXPECT_TRUE(typed.ok());
    EXPECT_EQ(typed.blocks, GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Typing,
    testing::Values(
        TypeCase{"letter", "q", {{0x15}, {0xF0, 0x15}}},
        TypeCase{"capital", "Z", {{0x12}, {0x1A}, {0xF0, 0x1A}, {0xF0, 0x12}}},
        TypeCase{"digit", "7", {{0x3D}, {0xF0, 0x3D}}},
        TypeCase{"shiftedDigit", "!", {{0x12}, {0x16}, {0xF0, 0x16}, {0xF0, 0x12}}},
        TypeCase{"punctuation", ".", {{0x49}, {0xF0, 0x49}}},
        TypeCase{"question", "?", {{0x12}, {0x4A}, {0xF0, 0x4A}, {0xF0, 0x12}}},
        TypeCase{"space", " ", {{0x29}, {0xF0, 0x29}}},
        TypeCase{"enter", "\n", {{0x5A}, {0xF0, 0x5A}}},
        TypeCase{"word", "Ok", {{0x12}, {0x44}, {0xF0, 0x44}, {0xF0, 0x12}, {0x42}, {0xF0, 0x42}}},
        TypeCase{"empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Typing, UnknownCharacterStopsEverything)
{
    TypedKeys typed = typeText("ok\xE2\x82\xAC!");
    EXPECT_FALSE(typed.ok());
    EXPECT_EQ(typed.unknown, "\xE2\x82\xAC");
    EXPECT_TRUE(typed.blocks.empty());
}

// ---------------------------------------------------------------- control frames

TEST(CtlProtocol, RoundTripAndDamage)
{
    Args args = {"type", "", std::string("a\0b", 3)};
    std::vector<uint8_t> frame = encodeCtlRequest(args);
    Args parsed;
    wire::ParseResult pr = parseCtlRequest(frame, parsed);
    ASSERT_EQ(pr.status, wire::ParseStatus::Ok);
    EXPECT_EQ(pr.consumed, frame.size());
    EXPECT_EQ(parsed, args);

    for (size_t cut = 0; cut < frame.size(); ++cut)
        EXPECT_EQ(parseCtlRequest(std::span(frame).first(cut), parsed).status,
                  wire::ParseStatus::NeedMore)
            << cut;

    std::vector<uint8_t> lying = frame;
    lying[8] = 0xFF; // first argument longer than the body
    EXPECT_EQ(parseCtlRequest(lying, parsed).status, wire::ParseStatus::Malformed);
    std::vector<uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(parseCtlRequest(huge, parsed).status, wire::ParseStatus::Malformed);

    int exitCode = -1;
    std::string output;
    std::vector<uint8_t> reply = encodeCtlReply(2, "fout\n");
    ASSERT_EQ(parseCtlReply(reply, exitCode, output).status, wire::ParseStatus::Ok);
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(output, "fout\n");
}

} // namespace
