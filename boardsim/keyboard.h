// The keys of a PS/2 keyboard (scan code set 2, US layout): what each physical
// key sends, which host key it is, and what it types. One table serves the
// `type` command and the window's translation of host key presses.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

constexpr uint8_t scanExtendedPrefix = 0xE0;
constexpr uint8_t scanBreakPrefix = 0xF0;
constexpr uint8_t scanLeftShift = 0x12;

enum class KeyKind : uint8_t {
    Plain,       // code; F0 code
    Extended,    // E0 code; E0 F0 code
    PrintScreen, // E0 12 E0 7C; E0 F0 7C E0 F0 12
    Pause,       // E1 14 77 E1 F0 14 F0 77, and no break at all
};

struct PhysicalKey {
    const char* name; // the legend of a US keyboard
    uint16_t evdev;   // Linux input event code (KEY_...)
    uint8_t code;     // set 2 make code, after E0 for an extended key
    KeyKind kind;
    char plain;   // what the key types on a US layout, 0 for none
    char shifted; // ... with Shift
    int qtKey;    // Qt::Key when it is not the key's character, 0 otherwise
    bool keypad;
    // A second Qt::Key of the key: for keypad keys their Num Lock off meaning.
    int qtKeyAlt;
};

// Every key of a 105-key keyboard.
std::span<const PhysicalKey> physicalKeys();

// The key with this Linux input event code, or null.
const PhysicalKey* keyForEvdev(unsigned evdev);
// The key that most likely gave this Qt::Key, for when the host gives no
// physical key: keypad tells the numeric keypad from the main block, a
// shifted character leads to its unshifted key, a modifier to its left key.
const PhysicalKey* keyForQtKey(int qtKey, bool keypad);

std::vector<uint8_t> makeBytes(const PhysicalKey& key);
// Empty for Pause, which sends no break.
std::vector<uint8_t> breakBytes(const PhysicalKey& key);
// What a held key sends at the typematic rate: the make code again, only the
// second half for Print Screen, nothing for Pause.
std::vector<uint8_t> repeatBytes(const PhysicalKey& key);

struct KeyStroke {
    uint8_t make;
    bool shift;
};

// The main-block key that produces c, or nothing for a character the layout
// lacks. '\n' is Enter, '\t' Tab, '\b' Backspace.
std::optional<KeyStroke> keyStrokeFor(char c);

struct TypedKeys {
    // One block per key event: a make code, or the break prefix and the code.
    std::vector<std::vector<uint8_t>> blocks;
    // When the text cannot be typed: the first character that is not on the keyboard.
    std::string unknown;
    bool ok() const { return unknown.empty(); }
};

// Make and break codes of every character in turn; shifted characters are
// wrapped in the left Shift key's make and break.
TypedKeys typeText(std::string_view text);

} // namespace boardsim
