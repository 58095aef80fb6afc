#include "scancodes.h"

#include "printrows.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using scancode::KeyEvent;
using Kind = scancode::KeyEvent::Kind;

using testsupport::PrintTo;

namespace {

struct Recorder : scancode::KeySink {
    std::vector<std::string> events;
    void keyEvent(const KeyEvent& e) override
    {
        static const char* names[] = {"MAKE", "BREAK", "EXTMAKE", "EXTBREAK", "PAUSE"};
        char text[32];
        if (e.kind == Kind::Pause)
            std::snprintf(text, sizeof text, "PAUSE%s", e.complete ? "" : "?");
        else
            std::snprintf(text, sizeof text, "%s %02X", names[int(e.kind)], e.code);
        events.push_back(text);
    }
};

} // namespace

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> events;
    size_t consumed;
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, SplitsSequences)
{
    Recorder r;
    EXPECT_EQ(scancode::decode(GetParam().bytes, r), GetParam().consumed);
    EXPECT_EQ(r.events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decode,
    ::testing::Values(
        DecodeCase{"MakeBreak", {0x1C, 0xF0, 0x1C}, {"MAKE 1C", "BREAK 1C"}, 3},
        DecodeCase{"Empty", {}, {}, 0},
        DecodeCase{"LoneExtendedWaits", {0x1C, 0xE0}, {"MAKE 1C"}, 1},
        DecodeCase{"ExtendedBreakPrefixWaits", {0xE0, 0xF0}, {}, 0},
        DecodeCase{"BreakPrefixWaits", {0x1C, 0xF0}, {"MAKE 1C"}, 1},
        DecodeCase{"ExtendedMakeAndBreak",
                   {0xE0, 0x7D, 0xE0, 0xF0, 0x7D},
                   {"EXTMAKE 7D", "EXTBREAK 7D"},
                   5},
        DecodeCase{"PrintScreenIsTwoExtendedMakes",
                   {0xE0, 0x12, 0xE0, 0x7C},
                   {"EXTMAKE 12", "EXTMAKE 7C"},
                   4},
        DecodeCase{"PauseIncomplete", {0xE1, 0x14, 0x77, 0xE1}, {"PAUSE?"}, 0},
        DecodeCase{"PauseComplete",
                   {0xE1, 0x14, 0x77, 0xE1, 0xF0, 0x14, 0xF0, 0x77, 0x1C},
                   {"PAUSE", "MAKE 1C"},
                   9},
        // The seven bytes after E1 are skipped whatever they are.
        DecodeCase{"PauseSwallowsAnything",
                   {0xE1, 0xE0, 0xF0, 0xE1, 0, 0, 0, 0, 0x1C},
                   {"PAUSE", "MAKE 1C"},
                   9},
        DecodeCase{"KeyboardAcknowledgeIsAMake", {0xFA, 0xAA}, {"MAKE FA", "MAKE AA"}, 2},
        DecodeCase{"RepeatedMake", {0x1C, 0x1C, 0x1C}, {"MAKE 1C", "MAKE 1C", "MAKE 1C"}, 3},
        DecodeCase{"ExtendedBreakOfBreakByte", {0xE0, 0xF0, 0xF0}, {"EXTBREAK F0"}, 3},
        DecodeCase{"BreakOfPrefixByte", {0xF0, 0xE0, 0x1C}, {"BREAK E0", "MAKE 1C"}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Every entry the keyboard tables give, by key; all others must be 0.
TEST(ScanCodeTables, HoldExactlyThePlayersKeys)
{
    std::map<uint8_t, uint8_t> plain = {
        {0x05, 0x70}, {0x06, 0x71}, {0x04, 0x72}, {0x0C, 0x73}, {0x03, 0x74}, {0x0B, 0x75},
        {0x83, 0x76}, {0x0A, 0x77}, {0x01, 0x78}, {0x09, 0x79}, {0x78, 0x7A}, {0x07, 0x7B},
        {0x0D, 0x09}, {0x0E, 0x60}, {0x29, 0x20}, {0x41, 0x2C}, {0x49, 0x2E}, {0x4A, 0x2F},
        {0x4C, 0x3B}, {0x4E, 0x2D}, {0x52, 0x27}, {0x54, 0x5B}, {0x55, 0x2B}, {0x5B, 0x5D},
        {0x5D, 0x5C}, {0x58, 0x14}, {0x5A, 0x0D}, {0x66, 0x08}, {0x76, 0x1B}, {0x77, 0x90},
        {0x79, 0x6B}, {0x7B, 0x6D}, {0x7C, 0x6A}, {0x7E, 0x91},
    };
    const uint8_t letters[26] = {0x1C, 0x32, 0x21, 0x23, 0x24, 0x2B, 0x34, 0x33, 0x43,
                                 0x3B, 0x42, 0x4B, 0x3A, 0x31, 0x44, 0x4D, 0x15, 0x2D,
                                 0x1B, 0x2C, 0x3C, 0x2A, 0x1D, 0x22, 0x35, 0x1A};
    for (int i = 0; i < 26; ++i)
        plain[letters[i]] = uint8_t(0x41 + i);
    const uint8_t digits[10] = {0x45, 0x16, 0x1E, 0x26, 0x25, 0x2E, 0x36, 0x3D, 0x3E, 0x46};
    for (int i = 0; i < 10; ++i)
        plain[digits[i]] = uint8_t(0x30 + i);
    const std::map<uint8_t, uint8_t> extended = {
        {0x5A, 0xF5}, {0x66, 0x08}, {0x69, 0x23}, {0x6C, 0x24}, {0x70, 0x2D},
        {0x71, 0x2E}, {0x7A, 0x21}, {0x7C, 0x2C}, {0x7D, 0x22},
    };
    for (int code = 0; code < 256; ++code) {
        auto p = plain.find(uint8_t(code));
        EXPECT_EQ(scancode::scanCodeTable[code], p == plain.end() ? 0 : p->second) << code;
        auto e = extended.find(uint8_t(code));
        EXPECT_EQ(scancode::extendedScanCodeTable[code], e == extended.end() ? 0 : e->second)
            << code;
    }
}
