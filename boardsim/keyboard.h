// What a PS/2 keyboard (scan code set 2, US layout) sends for typed text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

constexpr uint8_t scanBreakPrefix = 0xF0;
constexpr uint8_t scanLeftShift = 0x12;

struct KeyStroke {
    uint8_t make;
    bool shift;
};

// The key that produces c, or nothing for a character the layout lacks.
// '\n' is Enter, '\t' Tab, '\b' Backspace.
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
