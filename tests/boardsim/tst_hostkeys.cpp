// Host key events to PS/2 set 2 bytes: every key the player's decoder knows,
// the modifiers, arrows, Print Screen and Pause; by physical key, so that
// Shift and the host's layout do not change the codes.
#include "hostkeys.h"
#include "printrows.h"
#include "scancodes.h"

#include <QKeyEvent>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace {

using boardsim::scanBytesFor;
using testsupport::PrintTo;
using Bytes = std::vector<uint8_t>;

struct HostKeyCase {
    const char* name;
    unsigned evdev;
    int qtKey;
    bool keypad;
    Bytes press;
    Bytes release;
    // Whether Qt's key alone names this key (it does not tell right Shift from left).
    bool qtKeyIsEnough = true;
};

// X keycode of a Linux input code, as xcb reports it in nativeScanCode.
quint32 xKeycode(unsigned evdev)
{
    return evdev + 8;
}

QKeyEvent keyEvent(QEvent::Type type, int qtKey, bool keypad, quint32 nativeScanCode,
                   bool autoRepeat = false, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (keypad)
        modifiers |= Qt::KeypadModifier;
    return QKeyEvent(type, qtKey, modifiers, nativeScanCode, 0, 0, QString(), autoRepeat);
}

// Set 2 codes as a PS/2 keyboard sends them.
const HostKeyCase hostKeys[] = {
    {"F1", KEY_F1, Qt::Key_F1, false, {0x05}, {0xF0, 0x05}},
    {"F2", KEY_F2, Qt::Key_F2, false, {0x06}, {0xF0, 0x06}},
    {"F3", KEY_F3, Qt::Key_F3, false, {0x04}, {0xF0, 0x04}},
    {"F4", KEY_F4, Qt::Key_F4, false, {0x0C}, {0xF0, 0x0C}},
    {"F5", KEY_F5, Qt::Key_F5, false, {0x03}, {0xF0, 0x03}},
    {"F6", KEY_F6, Qt::Key_F6, false, {0x0B}, {0xF0, 0x0B}},
    {"F7", KEY_F7, Qt::Key_F7, false, {0x83}, {0xF0, 0x83}},
    {"F8", KEY_F8, Qt::Key_F8, false, {0x0A}, {0xF0, 0x0A}},
    {"F9", KEY_F9, Qt::Key_F9, false, {0x01}, {0xF0, 0x01}},
    {"F10", KEY_F10, Qt::Key_F10, false, {0x09}, {0xF0, 0x09}},
    {"F11", KEY_F11, Qt::Key_F11, false, {0x78}, {0xF0, 0x78}},
    {"F12", KEY_F12, Qt::Key_F12, false, {0x07}, {0xF0, 0x07}},
    {"A", KEY_A, Qt::Key_A, false, {0x1C}, {0xF0, 0x1C}},
    {"B", KEY_B, Qt::Key_B, false, {0x32}, {0xF0, 0x32}},
    {"C", KEY_C, Qt::Key_C, false, {0x21}, {0xF0, 0x21}},
    {"D", KEY_D, Qt::Key_D, false, {0x23}, {0xF0, 0x23}},
    {"E", KEY_E, Qt::Key_E, false, {0x24}, {0xF0, 0x24}},
    {"F", KEY_F, Qt::Key_F, false, {0x2B}, {0xF0, 0x2B}},
    {"G", KEY_G, Qt::Key_G, false, {0x34}, {0xF0, 0x34}},
    {"H", KEY_H, Qt::Key_H, false, {0x33}, {0xF0, 0x33}},
    {"I", KEY_I, Qt::Key_I, false, {0x43}, {0xF0, 0x43}},
    {"J", KEY_J, Qt::Key_J, false, {0x3B}, {0xF0, 0x3B}},
    {"K", KEY_K, Qt::Key_K, false, {0x42}, {0xF0, 0x42}},
    {"L", KEY_L, Qt::Key_L, false, {0x4B}, {0xF0, 0x4B}},
    {"M", KEY_M, Qt::Key_M, false, {0x3A}, {0xF0, 0x3A}},
    {"N", KEY_N, Qt::Key_N, false, {0x31}, {0xF0, 0x31}},
    {"O", KEY_O, Qt::Key_O, false, {0x44}, {0xF0, 0x44}},
    {"P", KEY_P, Qt::Key_P, false, {0x4D}, {0xF0, 0x4D}},
    {"Q", KEY_Q, Qt::Key_Q, false, {0x15}, {0xF0, 0x15}},
    {"R", KEY_R, Qt::Key_R, false, {0x2D}, {0xF0, 0x2D}},
    {"S", KEY_S, Qt::Key_S, false, {0x1B}, {0xF0, 0x1B}},
    {"T", KEY_T, Qt::Key_T, false, {0x2C}, {0xF0, 0x2C}},
    {"U", KEY_U, Qt::Key_U, false, {0x3C}, {0xF0, 0x3C}},
    {"V", KEY_V, Qt::Key_V, false, {0x2A}, {0xF0, 0x2A}},
    {"W", KEY_W, Qt::Key_W, false, {0x1D}, {0xF0, 0x1D}},
    {"X", KEY_X, Qt::Key_X, false, {0x22}, {0xF0, 0x22}},
    {"Y", KEY_Y, Qt::Key_Y, false, {0x35}, {0xF0, 0x35}},
    {"Z", KEY_Z, Qt::Key_Z, false, {0x1A}, {0xF0, 0x1A}},
    {"1", KEY_1, Qt::Key_1, false, {0x16}, {0xF0, 0x16}},
    {"2", KEY_2, Qt::Key_2, false, {0x1E}, {0xF0, 0x1E}},
    {"3", KEY_3, Qt::Key_3, false, {0x26}, {0xF0, 0x26}},
    {"4", KEY_4, Qt::Key_4, false, {0x25}, {0xF0, 0x25}},
    {"5", KEY_5, Qt::Key_5, false, {0x2E}, {0xF0, 0x2E}},
    {"6", KEY_6, Qt::Key_6, false, {0x36}, {0xF0, 0x36}},
    {"7", KEY_7, Qt::Key_7, false, {0x3D}, {0xF0, 0x3D}},
    {"8", KEY_8, Qt::Key_8, false, {0x3E}, {0xF0, 0x3E}},
    {"9", KEY_9, Qt::Key_9, false, {0x46}, {0xF0, 0x46}},
    {"0", KEY_0, Qt::Key_0, false, {0x45}, {0xF0, 0x45}},
    {"Tab", KEY_TAB, Qt::Key_Tab, false, {0x0D}, {0xF0, 0x0D}},
    {"BackQuote", KEY_GRAVE, Qt::Key_QuoteLeft, false, {0x0E}, {0xF0, 0x0E}},
    {"Space", KEY_SPACE, Qt::Key_Space, false, {0x29}, {0xF0, 0x29}},
    {"Comma", KEY_COMMA, Qt::Key_Comma, false, {0x41}, {0xF0, 0x41}},
    {"FullStop", KEY_DOT, Qt::Key_Period, false, {0x49}, {0xF0, 0x49}},
    {"Slash", KEY_SLASH, Qt::Key_Slash, false, {0x4A}, {0xF0, 0x4A}},
    {"Semicolon", KEY_SEMICOLON, Qt::Key_Semicolon, false, {0x4C}, {0xF0, 0x4C}},
    {"Minus", KEY_MINUS, Qt::Key_Minus, false, {0x4E}, {0xF0, 0x4E}},
    {"Apostrophe", KEY_APOSTROPHE, Qt::Key_Apostrophe, false, {0x52}, {0xF0, 0x52}},
    {"LeftBracket", KEY_LEFTBRACE, Qt::Key_BracketLeft, false, {0x54}, {0xF0, 0x54}},
    {"Equals", KEY_EQUAL, Qt::Key_Equal, false, {0x55}, {0xF0, 0x55}},
    {"RightBracket", KEY_RIGHTBRACE, Qt::Key_BracketRight, false, {0x5B}, {0xF0, 0x5B}},
    {"Backslash", KEY_BACKSLASH, Qt::Key_Backslash, false, {0x5D}, {0xF0, 0x5D}},
    {"CapsLock", KEY_CAPSLOCK, Qt::Key_CapsLock, false, {0x58}, {0xF0, 0x58}},
    {"Enter", KEY_ENTER, Qt::Key_Return, false, {0x5A}, {0xF0, 0x5A}},
    {"Backspace", KEY_BACKSPACE, Qt::Key_Backspace, false, {0x66}, {0xF0, 0x66}},
    {"Esc", KEY_ESC, Qt::Key_Escape, false, {0x76}, {0xF0, 0x76}},
    {"NumLock", KEY_NUMLOCK, Qt::Key_NumLock, false, {0x77}, {0xF0, 0x77}},
    {"KeypadPlus", KEY_KPPLUS, Qt::Key_Plus, true, {0x79}, {0xF0, 0x79}},
    {"KeypadMinus", KEY_KPMINUS, Qt::Key_Minus, true, {0x7B}, {0xF0, 0x7B}},
    {"KeypadAsterisk", KEY_KPASTERISK, Qt::Key_Asterisk, true, {0x7C}, {0xF0, 0x7C}},
    {"ScrollLock", KEY_SCROLLLOCK, Qt::Key_ScrollLock, false, {0x7E}, {0xF0, 0x7E}},
    {"Keypad0", KEY_KP0, Qt::Key_0, true, {0x70}, {0xF0, 0x70}},
    {"Keypad1", KEY_KP1, Qt::Key_1, true, {0x69}, {0xF0, 0x69}},
    {"Keypad2", KEY_KP2, Qt::Key_2, true, {0x72}, {0xF0, 0x72}},
    {"Keypad3", KEY_KP3, Qt::Key_3, true, {0x7A}, {0xF0, 0x7A}},
    {"Keypad4", KEY_KP4, Qt::Key_4, true, {0x6B}, {0xF0, 0x6B}},
    {"Keypad5", KEY_KP5, Qt::Key_5, true, {0x73}, {0xF0, 0x73}},
    {"Keypad6", KEY_KP6, Qt::Key_6, true, {0x74}, {0xF0, 0x74}},
    {"Keypad7", KEY_KP7, Qt::Key_7, true, {0x6C}, {0xF0, 0x6C}},
    {"Keypad8", KEY_KP8, Qt::Key_8, true, {0x75}, {0xF0, 0x75}},
    {"Keypad9", KEY_KP9, Qt::Key_9, true, {0x7D}, {0xF0, 0x7D}},
    {"KeypadFullStop", KEY_KPDOT, Qt::Key_Period, true, {0x71}, {0xF0, 0x71}},
    {"KeypadEnter", KEY_KPENTER, Qt::Key_Enter, true, {0xE0, 0x5A}, {0xE0, 0xF0, 0x5A}},
    {"KeypadSlash", KEY_KPSLASH, Qt::Key_Slash, true, {0xE0, 0x4A}, {0xE0, 0xF0, 0x4A}},
    {"End", KEY_END, Qt::Key_End, false, {0xE0, 0x69}, {0xE0, 0xF0, 0x69}},
    {"Home", KEY_HOME, Qt::Key_Home, false, {0xE0, 0x6C}, {0xE0, 0xF0, 0x6C}},
    {"Insert", KEY_INSERT, Qt::Key_Insert, false, {0xE0, 0x70}, {0xE0, 0xF0, 0x70}},
    {"Delete", KEY_DELETE, Qt::Key_Delete, false, {0xE0, 0x71}, {0xE0, 0xF0, 0x71}},
    {"PageDown", KEY_PAGEDOWN, Qt::Key_PageDown, false, {0xE0, 0x7A}, {0xE0, 0xF0, 0x7A}},
    {"PageUp", KEY_PAGEUP, Qt::Key_PageUp, false, {0xE0, 0x7D}, {0xE0, 0xF0, 0x7D}},
    {"Up", KEY_UP, Qt::Key_Up, false, {0xE0, 0x75}, {0xE0, 0xF0, 0x75}},
    {"Down", KEY_DOWN, Qt::Key_Down, false, {0xE0, 0x72}, {0xE0, 0xF0, 0x72}},
    {"Left", KEY_LEFT, Qt::Key_Left, false, {0xE0, 0x6B}, {0xE0, 0xF0, 0x6B}},
    {"Right", KEY_RIGHT, Qt::Key_Right, false, {0xE0, 0x74}, {0xE0, 0xF0, 0x74}},
    {"LeftShift", KEY_LEFTSHIFT, Qt::Key_Shift, false, {0x12}, {0xF0, 0x12}},
    {"RightShift", KEY_RIGHTSHIFT, Qt::Key_Shift, false, {0x59}, {0xF0, 0x59}, false},
    {"LeftCtrl", KEY_LEFTCTRL, Qt::Key_Control, false, {0x14}, {0xF0, 0x14}},
    {"RightCtrl", KEY_RIGHTCTRL, Qt::Key_Control, false, {0xE0, 0x14}, {0xE0, 0xF0, 0x14}, false},
    {"LeftAlt", KEY_LEFTALT, Qt::Key_Alt, false, {0x11}, {0xF0, 0x11}},
    {"RightAlt", KEY_RIGHTALT, Qt::Key_AltGr, false, {0xE0, 0x11}, {0xE0, 0xF0, 0x11}},
    {"LeftWindows", KEY_LEFTMETA, Qt::Key_Meta, false, {0xE0, 0x1F}, {0xE0, 0xF0, 0x1F}},
    {"PrintScreen",
     KEY_SYSRQ,
     Qt::Key_Print,
     false,
     {0xE0, 0x12, 0xE0, 0x7C},
     {0xE0, 0xF0, 0x7C, 0xE0, 0xF0, 0x12}},
    {"Pause",
     KEY_PAUSE,
     Qt::Key_Pause,
     false,
     {0xE1, 0x14, 0x77, 0xE1, 0xF0, 0x14, 0xF0, 0x77},
     {}},
};

class HostKeyTable : public testing::TestWithParam<HostKeyCase> {};

TEST_P(HostKeyTable, PressAndReleaseByNativeScanCode)
{
    const HostKeyCase& c = GetParam();
    auto press = scanBytesFor(keyEvent(QEvent::KeyPress, c.qtKey, c.keypad, xKeycode(c.evdev)));
    auto release = scanBytesFor(keyEvent(QEvent::KeyRelease, c.qtKey, c.keypad, xKeycode(c.evdev)));
    ASSERT_TRUE(press.has_value());
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(*press, c.press);
    EXPECT_EQ(*release, c.release);
}

INSTANTIATE_TEST_SUITE_P(Keys, HostKeyTable, testing::ValuesIn(hostKeys),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<HostKeyCase> namedByQtKey()
{
    std::vector<HostKeyCase> cases;
    for (const HostKeyCase& c : hostKeys)
        if (c.qtKeyIsEnough)
            cases.push_back(c);
    return cases;
}

class HostKeyFallbackTable : public testing::TestWithParam<HostKeyCase> {};

TEST_P(HostKeyFallbackTable, QtKeyWhenThereIsNoNativeScanCode)
{
    const HostKeyCase& c = GetParam();
    auto press = scanBytesFor(keyEvent(QEvent::KeyPress, c.qtKey, c.keypad, 0));
    auto release = scanBytesFor(keyEvent(QEvent::KeyRelease, c.qtKey, c.keypad, 0));
    ASSERT_TRUE(press.has_value());
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(*press, c.press);
    EXPECT_EQ(*release, c.release);
}

INSTANTIATE_TEST_SUITE_P(Keys, HostKeyFallbackTable, testing::ValuesIn(namedByQtKey()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostKeyFallback, ModifierWithoutNativeScanCodeIsTheLeftKey)
{
    auto shift = scanBytesFor(keyEvent(QEvent::KeyPress, Qt::Key_Shift, false, 0));
    auto ctrl = scanBytesFor(keyEvent(QEvent::KeyPress, Qt::Key_Control, false, 0));
    ASSERT_TRUE(shift && ctrl);
    EXPECT_EQ(*shift, Bytes{0x12});
    EXPECT_EQ(*ctrl, Bytes{0x14});
}

// The table above holds every key that the player's decoder gives a value.
TEST(HostKeyTable, CoversEveryKeyOfThePlayersTables)
{
    auto madeBy = [](const Bytes& make) {
        for (const HostKeyCase& c : hostKeys)
            if (c.press == make)
                return true;
        return false;
    };
    for (int code = 0; code < 256; ++code) {
        if (scancode::scanCodeTable[size_t(code)] != 0) {
            EXPECT_TRUE(madeBy({uint8_t(code)})) << "scan code " << std::hex << code;
        }
        if (scancode::extendedScanCodeTable[size_t(code)] == 0)
            continue;
        if (code == 0x66) // E0 66 is in the table, but no standard key sends it
            continue;
        if (code == 0x7C) { // Print Screen's second code
            EXPECT_TRUE(madeBy({0xE0, 0x12, 0xE0, 0x7C}));
        } else {
            EXPECT_TRUE(madeBy({0xE0, uint8_t(code)})) << "E0 " << std::hex << code;
        }
    }
}

// The physical key counts: what the layout or Shift makes of it does not.
struct LayoutCase {
    const char* name;
    unsigned evdev;
    int qtKey; // what the host's layout reports for the key
    Qt::KeyboardModifiers modifiers;
    Bytes press;
};

class HostLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(HostLayout, CodesFollowThePhysicalKey)
{
    const LayoutCase& c = GetParam();
    auto press = scanBytesFor(
        keyEvent(QEvent::KeyPress, c.qtKey, false, xKeycode(c.evdev), false, c.modifiers));
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(*press, c.press);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HostLayout,
    testing::Values(
        LayoutCase{"GermanZOnTheYKey", KEY_Y, Qt::Key_Z, Qt::NoModifier, {0x35}},
        LayoutCase{"FrenchAOnTheQKey", KEY_Q, Qt::Key_A, Qt::NoModifier, {0x15}},
        LayoutCase{"ShiftOneIsExclam", KEY_1, Qt::Key_Exclam, Qt::ShiftModifier, {0x16}},
        LayoutCase{"ShiftTabIsBacktab", KEY_TAB, Qt::Key_Backtab, Qt::ShiftModifier, {0x0D}},
        LayoutCase{"KeypadSevenWithNumLockOff", KEY_KP7, Qt::Key_Home, Qt::KeypadModifier, {0x6C}},
        LayoutCase{"CtrlA", KEY_A, Qt::Key_A, Qt::ControlModifier, {0x1C}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostKeyFallback, ShiftedCharacterGivesItsUnshiftedKey)
{
    auto press = scanBytesFor(keyEvent(QEvent::KeyPress, Qt::Key_Question, false, 0));
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(*press, (Bytes{0x4A}));
}

struct RepeatCase {
    const char* name;
    unsigned evdev;
    Bytes repeat;
};

class HostRepeat : public testing::TestWithParam<RepeatCase> {};

// A held key: the host sends release + press pairs marked auto-repeat; the
// keyboard sends only the make code again (Print Screen its second half, Pause nothing).
TEST_P(HostRepeat, AutoRepeatSendsTheTypematicCodeOnly)
{
    const RepeatCase& c = GetParam();
    auto press = scanBytesFor(keyEvent(QEvent::KeyPress, 0, false, xKeycode(c.evdev), true));
    auto release = scanBytesFor(keyEvent(QEvent::KeyRelease, 0, false, xKeycode(c.evdev), true));
    ASSERT_TRUE(press.has_value());
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(*press, c.repeat);
    EXPECT_EQ(*release, Bytes{});
}

INSTANTIATE_TEST_SUITE_P(Keys, HostRepeat,
                         testing::Values(RepeatCase{"Letter", KEY_A, {0x1C}},
                                         RepeatCase{"PageDown", KEY_PAGEDOWN, {0xE0, 0x7A}},
                                         RepeatCase{"PrintScreen", KEY_SYSRQ, {0xE0, 0x7C}},
                                         RepeatCase{"Pause", KEY_PAUSE, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostKeyUnknown, KeyTheKeyboardLacksSendsNothing)
{
    EXPECT_FALSE(
        scanBytesFor(keyEvent(QEvent::KeyPress, Qt::Key_VolumeUp, false, xKeycode(KEY_VOLUMEUP)))
            .has_value());
    EXPECT_FALSE(scanBytesFor(keyEvent(QEvent::KeyPress, Qt::Key_VolumeUp, false, 0)).has_value());
}

} // namespace
