#include "keyboard.h"

namespace boardsim {

namespace {

// Set 2 make codes of the US layout: the unshifted and the shifted character of each key.
struct Key {
    char plain;
    char shifted;
    uint8_t make;
};
constexpr Key keys[] = {
    {'a', 'A', 0x1C}, {'b', 'B', 0x32},  {'c', 'C', 0x21}, {'d', 'D', 0x23},  {'e', 'E', 0x24},
    {'f', 'F', 0x2B}, {'g', 'G', 0x34},  {'h', 'H', 0x33}, {'i', 'I', 0x43},  {'j', 'J', 0x3B},
    {'k', 'K', 0x42}, {'l', 'L', 0x4B},  {'m', 'M', 0x3A}, {'n', 'N', 0x31},  {'o', 'O', 0x44},
    {'p', 'P', 0x4D}, {'q', 'Q', 0x15},  {'r', 'R', 0x2D}, {'s', 'S', 0x1B},  {'t', 'T', 0x2C},
    {'u', 'U', 0x3C}, {'v', 'V', 0x2A},  {'w', 'W', 0x1D}, {'x', 'X', 0x22},  {'y', 'Y', 0x35},
    {'z', 'Z', 0x1A}, {'1', '!', 0x16},  {'2', '@', 0x1E}, {'3', '#', 0x26},  {'4', '$', 0x25},
    {'5', '%', 0x2E}, {'6', '^', 0x36},  {'7', '&', 0x3D}, {'8', '*', 0x3E},  {'9', '(', 0x46},
    {'0', ')', 0x45}, {'`', '~', 0x0E},  {'-', '_', 0x4E}, {'=', '+', 0x55},  {'[', '{', 0x54},
    {']', '}', 0x5B}, {'\\', '|', 0x5D}, {';', ':', 0x4C}, {'\'', '"', 0x52}, {',', '<', 0x41},
    {'.', '>', 0x49}, {'/', '?', 0x4A},  {' ', 0, 0x29},   {'\n', 0, 0x5A},   {'\t', 0, 0x0D},
    {'\b', 0, 0x66},
};

} // namespace

std::optional<KeyStroke> keyStrokeFor(char c)
{
    for (const Key& k : keys) {
        if (k.plain == c)
            return KeyStroke{k.make, false};
        if (k.shifted != 0 && k.shifted == c)
            return KeyStroke{k.make, true};
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
