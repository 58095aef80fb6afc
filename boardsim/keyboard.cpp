#include "keyboard.h"

#include <QtCore/qnamespace.h>
#include <linux/input-event-codes.h>

namespace boardsim {

namespace {

using K = KeyKind;

// Set 2 codes of a 105-key keyboard. Rows with a character are found by it
// (Qt's key for a printable character is that character, upper case for
// letters); the others carry their Qt::Key. Where two keys share a Qt::Key
// (Shift, Ctrl, the Windows keys) the left one comes first.
constexpr PhysicalKey keys[] = {
    {"Esc", KEY_ESC, 0x76, K::Plain, 0, 0, Qt::Key_Escape, false, 0},
    {"F1", KEY_F1, 0x05, K::Plain, 0, 0, Qt::Key_F1, false, 0},
    {"F2", KEY_F2, 0x06, K::Plain, 0, 0, Qt::Key_F2, false, 0},
    {"F3", KEY_F3, 0x04, K::Plain, 0, 0, Qt::Key_F3, false, 0},
    {"F4", KEY_F4, 0x0C, K::Plain, 0, 0, Qt::Key_F4, false, 0},
    {"F5", KEY_F5, 0x03, K::Plain, 0, 0, Qt::Key_F5, false, 0},
    {"F6", KEY_F6, 0x0B, K::Plain, 0, 0, Qt::Key_F6, false, 0},
    {"F7", KEY_F7, 0x83, K::Plain, 0, 0, Qt::Key_F7, false, 0},
    {"F8", KEY_F8, 0x0A, K::Plain, 0, 0, Qt::Key_F8, false, 0},
    {"F9", KEY_F9, 0x01, K::Plain, 0, 0, Qt::Key_F9, false, 0},
    {"F10", KEY_F10, 0x09, K::Plain, 0, 0, Qt::Key_F10, false, 0},
    {"F11", KEY_F11, 0x78, K::Plain, 0, 0, Qt::Key_F11, false, 0},
    {"F12", KEY_F12, 0x07, K::Plain, 0, 0, Qt::Key_F12, false, 0},

    {"`", KEY_GRAVE, 0x0E, K::Plain, '`', '~', 0, false, 0},
    {"1", KEY_1, 0x16, K::Plain, '1', '!', 0, false, 0},
    {"2", KEY_2, 0x1E, K::Plain, '2', '@', 0, false, 0},
    {"3", KEY_3, 0x26, K::Plain, '3', '#', 0, false, 0},
    {"4", KEY_4, 0x25, K::Plain, '4', '$', 0, false, 0},
    {"5", KEY_5, 0x2E, K::Plain, '5', '%', 0, false, 0},
    {"6", KEY_6, 0x36, K::Plain, '6', '^', 0, false, 0},
    {"7", KEY_7, 0x3D, K::Plain, '7', '&', 0, false, 0},
    {"8", KEY_8, 0x3E, K::Plain, '8', '*', 0, false, 0},
    {"9", KEY_9, 0x46, K::Plain, '9', '(', 0, false, 0},
    {"0", KEY_0, 0x45, K::Plain, '0', ')', 0, false, 0},
    {"-", KEY_MINUS, 0x4E, K::Plain, '-', '_', 0, false, 0},
    {"=", KEY_EQUAL, 0x55, K::Plain, '=', '+', 0, false, 0},
    {"Backspace", KEY_BACKSPACE, 0x66, K::Plain, '\b', 0, Qt::Key_Backspace, false, 0},

    {"Tab", KEY_TAB, 0x0D, K::Plain, '\t', 0, Qt::Key_Tab, false, Qt::Key_Backtab},
    {"Q", KEY_Q, 0x15, K::Plain, 'q', 'Q', 0, false, 0},
    {"W", KEY_W, 0x1D, K::Plain, 'w', 'W', 0, false, 0},
    {"E", KEY_E, 0x24, K::Plain, 'e', 'E', 0, false, 0},
    {"R", KEY_R, 0x2D, K::Plain, 'r', 'R', 0, false, 0},
    {"T", KEY_T, 0x2C, K::Plain, 't', 'T', 0, false, 0},
    {"Y", KEY_Y, 0x35, K::Plain, 'y', 'Y', 0, false, 0},
    {"U", KEY_U, 0x3C, K::Plain, 'u', 'U', 0, false, 0},
    {"I", KEY_I, 0x43, K::Plain, 'i', 'I', 0, false, 0},
    {"O", KEY_O, 0x44, K::Plain, 'o', 'O', 0, false, 0},
    {"P", KEY_P, 0x4D, K::Plain, 'p', 'P', 0, false, 0},
    {"[", KEY_LEFTBRACE, 0x54, K::Plain, '[', '{', 0, false, 0},
    {"]", KEY_RIGHTBRACE, 0x5B, K::Plain, ']', '}', 0, false, 0},
    {"\\", KEY_BACKSLASH, 0x5D, K::Plain, '\\', '|', 0, false, 0},

    {"Caps Lock", KEY_CAPSLOCK, 0x58, K::Plain, 0, 0, Qt::Key_CapsLock, false, 0},
    {"A", KEY_A, 0x1C, K::Plain, 'a', 'A', 0, false, 0},
    {"S", KEY_S, 0x1B, K::Plain, 's', 'S', 0, false, 0},
    {"D", KEY_D, 0x23, K::Plain, 'd', 'D', 0, false, 0},
    {"F", KEY_F, 0x2B, K::Plain, 'f', 'F', 0, false, 0},
    {"G", KEY_G, 0x34, K::Plain, 'g', 'G', 0, false, 0},
    {"H", KEY_H, 0x33, K::Plain, 'h', 'H', 0, false, 0},
    {"J", KEY_J, 0x3B, K::Plain, 'j', 'J', 0, false, 0},
    {"K", KEY_K, 0x42, K::Plain, 'k', 'K', 0, false, 0},
    {"L", KEY_L, 0x4B, K::Plain, 'l', 'L', 0, false, 0},
    {";", KEY_SEMICOLON, 0x4C, K::Plain, ';', ':', 0, false, 0},
    {"'", KEY_APOSTROPHE, 0x52, K::Plain, '\'', '"', 0, false, 0},
    {"Enter", KEY_ENTER, 0x5A, K::Plain, '\n', 0, Qt::Key_Return, false, 0},

    {"Left Shift", KEY_LEFTSHIFT, 0x12, K::Plain, 0, 0, Qt::Key_Shift, false, 0},
    // The extra key of ISO keyboards, between left Shift and Z.
    {"ISO \\", KEY_102ND, 0x61, K::Plain, 0, 0, 0, false, 0},
    {"Z", KEY_Z, 0x1A, K::Plain, 'z', 'Z', 0, false, 0},
    {"X", KEY_X, 0x22, K::Plain, 'x', 'X', 0, false, 0},
    {"C", KEY_C, 0x21, K::Plain, 'c', 'C', 0, false, 0},
    {"V", KEY_V, 0x2A, K::Plain, 'v', 'V', 0, false, 0},
    {"B", KEY_B, 0x32, K::Plain, 'b', 'B', 0, false, 0},
    {"N", KEY_N, 0x31, K::Plain, 'n', 'N', 0, false, 0},
    {"M", KEY_M, 0x3A, K::Plain, 'm', 'M', 0, false, 0},
    {",", KEY_COMMA, 0x41, K::Plain, ',', '<', 0, false, 0},
    {".", KEY_DOT, 0x49, K::Plain, '.', '>', 0, false, 0},
    {"/", KEY_SLASH, 0x4A, K::Plain, '/', '?', 0, false, 0},
    {"Right Shift", KEY_RIGHTSHIFT, 0x59, K::Plain, 0, 0, Qt::Key_Shift, false, 0},

    {"Left Ctrl", KEY_LEFTCTRL, 0x14, K::Plain, 0, 0, Qt::Key_Control, false, 0},
    {"Left Windows", KEY_LEFTMETA, 0x1F, K::Extended, 0, 0, Qt::Key_Meta, false, Qt::Key_Super_L},
    {"Left Alt", KEY_LEFTALT, 0x11, K::Plain, 0, 0, Qt::Key_Alt, false, 0},
    {"Space", KEY_SPACE, 0x29, K::Plain, ' ', 0, 0, false, 0},
    {"Right Alt", KEY_RIGHTALT, 0x11, K::Extended, 0, 0, Qt::Key_AltGr, false, 0},
    {"Right Windows", KEY_RIGHTMETA, 0x27, K::Extended, 0, 0, Qt::Key_Meta, false, Qt::Key_Super_R},
    {"Menu", KEY_COMPOSE, 0x2F, K::Extended, 0, 0, Qt::Key_Menu, false, 0},
    {"Right Ctrl", KEY_RIGHTCTRL, 0x14, K::Extended, 0, 0, Qt::Key_Control, false, 0},

    {"Print Screen", KEY_SYSRQ, 0x7C, K::PrintScreen, 0, 0, Qt::Key_Print, false, Qt::Key_SysReq},
    {"Scroll Lock", KEY_SCROLLLOCK, 0x7E, K::Plain, 0, 0, Qt::Key_ScrollLock, false, 0},
    {"Pause", KEY_PAUSE, 0x00, K::Pause, 0, 0, Qt::Key_Pause, false, 0},

    {"Insert", KEY_INSERT, 0x70, K::Extended, 0, 0, Qt::Key_Insert, false, 0},
    {"Home", KEY_HOME, 0x6C, K::Extended, 0, 0, Qt::Key_Home, false, 0},
    {"Page Up", KEY_PAGEUP, 0x7D, K::Extended, 0, 0, Qt::Key_PageUp, false, 0},
    {"Delete", KEY_DELETE, 0x71, K::Extended, 0, 0, Qt::Key_Delete, false, 0},
    {"End", KEY_END, 0x69, K::Extended, 0, 0, Qt::Key_End, false, 0},
    {"Page Down", KEY_PAGEDOWN, 0x7A, K::Extended, 0, 0, Qt::Key_PageDown, false, 0},
    {"Up", KEY_UP, 0x75, K::Extended, 0, 0, Qt::Key_Up, false, 0},
    {"Left", KEY_LEFT, 0x6B, K::Extended, 0, 0, Qt::Key_Left, false, 0},
    {"Down", KEY_DOWN, 0x72, K::Extended, 0, 0, Qt::Key_Down, false, 0},
    {"Right", KEY_RIGHT, 0x74, K::Extended, 0, 0, Qt::Key_Right, false, 0},

    {"Num Lock", KEY_NUMLOCK, 0x77, K::Plain, 0, 0, Qt::Key_NumLock, false, 0},
    {"Keypad /", KEY_KPSLASH, 0x4A, K::Extended, 0, 0, Qt::Key_Slash, true, 0},
    {"Keypad *", KEY_KPASTERISK, 0x7C, K::Plain, 0, 0, Qt::Key_Asterisk, true, 0},
    {"Keypad -", KEY_KPMINUS, 0x7B, K::Plain, 0, 0, Qt::Key_Minus, true, 0},
    {"Keypad 7", KEY_KP7, 0x6C, K::Plain, 0, 0, Qt::Key_7, true, Qt::Key_Home},
    {"Keypad 8", KEY_KP8, 0x75, K::Plain, 0, 0, Qt::Key_8, true, Qt::Key_Up},
    {"Keypad 9", KEY_KP9, 0x7D, K::Plain, 0, 0, Qt::Key_9, true, Qt::Key_PageUp},
    {"Keypad +", KEY_KPPLUS, 0x79, K::Plain, 0, 0, Qt::Key_Plus, true, 0},
    {"Keypad 4", KEY_KP4, 0x6B, K::Plain, 0, 0, Qt::Key_4, true, Qt::Key_Left},
    {"Keypad 5", KEY_KP5, 0x73, K::Plain, 0, 0, Qt::Key_5, true, Qt::Key_Clear},
    {"Keypad 6", KEY_KP6, 0x74, K::Plain, 0, 0, Qt::Key_6, true, Qt::Key_Right},
    {"Keypad 1", KEY_KP1, 0x69, K::Plain, 0, 0, Qt::Key_1, true, Qt::Key_End},
    {"Keypad 2", KEY_KP2, 0x72, K::Plain, 0, 0, Qt::Key_2, true, Qt::Key_Down},
    {"Keypad 3", KEY_KP3, 0x7A, K::Plain, 0, 0, Qt::Key_3, true, Qt::Key_PageDown},
    {"Keypad Enter", KEY_KPENTER, 0x5A, K::Extended, 0, 0, Qt::Key_Enter, true, 0},
    {"Keypad 0", KEY_KP0, 0x70, K::Plain, 0, 0, Qt::Key_0, true, Qt::Key_Insert},
    {"Keypad .", KEY_KPDOT, 0x71, K::Plain, 0, 0, Qt::Key_Period, true, Qt::Key_Delete},
};

const PhysicalKey* findByQtKey(int qtKey, const bool* keypad)
{
    for (const PhysicalKey& k : keys)
        if ((k.qtKey == qtKey || (k.qtKeyAlt != 0 && k.qtKeyAlt == qtKey)) &&
            (!keypad || k.keypad == *keypad))
            return &k;
    return nullptr;
}

} // namespace

std::span<const PhysicalKey> physicalKeys()
{
    return keys;
}

const PhysicalKey* keyForEvdev(unsigned evdev)
{
    for (const PhysicalKey& k : keys)
        if (k.evdev == evdev)
            return &k;
    return nullptr;
}

const PhysicalKey* keyForQtKey(int qtKey, bool keypad)
{
    if (qtKey == 0)
        return nullptr;
    // Platforms differ in which keys carry the keypad flag (some set it on the
    // arrows), so a key found only under the other flag still counts.
    if (const PhysicalKey* k = findByQtKey(qtKey, &keypad))
        return k;
    if (qtKey >= 0x20 && qtKey < 0x7F)
        for (const PhysicalKey& k : keys)
            if (!k.keypad && (k.plain == qtKey || (k.shifted != 0 && k.shifted == qtKey)))
                return &k;
    return findByQtKey(qtKey, nullptr);
}

std::vector<uint8_t> makeBytes(const PhysicalKey& key)
{
    switch (key.kind) {
    case KeyKind::Plain:
        return {key.code};
    case KeyKind::Extended:
        return {scanExtendedPrefix, key.code};
    case KeyKind::PrintScreen:
        // A fake left Shift first, for the XT keyboards' Shift+* meaning.
        return {scanExtendedPrefix, scanLeftShift, scanExtendedPrefix, key.code};
    case KeyKind::Pause:
        // Ctrl+Num Lock make and break in one go, behind E1.
        return {0xE1, 0x14, 0x77, 0xE1, scanBreakPrefix, 0x14, scanBreakPrefix, 0x77};
    }
    return {};
}

std::vector<uint8_t> breakBytes(const PhysicalKey& key)
{
    switch (key.kind) {
    case KeyKind::Plain:
        return {scanBreakPrefix, key.code};
    case KeyKind::Extended:
        return {scanExtendedPrefix, scanBreakPrefix, key.code};
    case KeyKind::PrintScreen:
        return {scanExtendedPrefix, scanBreakPrefix, key.code,
                scanExtendedPrefix, scanBreakPrefix, scanLeftShift};
    case KeyKind::Pause:
        return {};
    }
    return {};
}

std::vector<uint8_t> repeatBytes(const PhysicalKey& key)
{
    switch (key.kind) {
    case KeyKind::Plain:
    case KeyKind::Extended:
        return makeBytes(key);
    case KeyKind::PrintScreen:
        return {scanExtendedPrefix, key.code};
    case KeyKind::Pause:
        return {};
    }
    return {};
}

std::optional<KeyStroke> keyStrokeFor(char c)
{
    if (c == 0)
        return std::nullopt;
    for (const PhysicalKey& k : keys) {
        if (k.keypad || k.kind != KeyKind::Plain)
            continue;
        if (k.plain == c)
            return KeyStroke{k.code, false};
        if (k.shifted != 0 && k.shifted == c)
            return KeyStroke{k.code, true};
    }
    return std::nullopt;
}

TypedKeys typeText(std::string_view text)
{
    TypedKeys typed;
    for (size_t i = 0; i < text.size(); ++i) {
        std::optional<KeyStroke> stroke = keyStrokeFor(text[i]);
        if (!stroke) {
            // Report the whole UTF-8 sequence of the character, not one byte of it.
            size_t end = i + 1;
            while (end < text.size() && (uint8_t(text[end]) & 0xC0) == 0x80)
                ++end;
            typed.unknown = std::string(text.substr(i, end - i));
            typed.blocks.clear();
            return typed;
        }
        if (stroke->shift)
            typed.blocks.push_back({scanLeftShift});
        typed.blocks.push_back({stroke->make});
        typed.blocks.push_back({scanBreakPrefix, stroke->make});
        if (stroke->shift)
            typed.blocks.push_back({scanBreakPrefix, scanLeftShift});
    }
    return typed;
}

} // namespace boardsim
