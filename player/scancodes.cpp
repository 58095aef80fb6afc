#include "scancodes.h"

#include <utility>

namespace scancode {

namespace {

using Table = std::array<uint8_t, 256>;

constexpr Table makeTable(std::initializer_list<std::pair<uint8_t, uint8_t>> entries)
{
    Table t{};
    for (auto [code, value] : entries)
        t[code] = value;
    return t;
}

} // namespace

const Table scanCodeTable = makeTable({
    // F1..F12 give 0x70..0x7B, the value minus 0x70 being a track index.
    {0x05, 0x70},
    {0x06, 0x71},
    {0x04, 0x72},
    {0x0C, 0x73},
    {0x03, 0x74},
    {0x0B, 0x75},
    {0x83, 0x76},
    {0x0A, 0x77},
    {0x01, 0x78},
    {0x09, 0x79},
    {0x78, 0x7A},
    {0x07, 0x7B},
    // Letters A..Z.
    {0x1C, 'A'},
    {0x32, 'B'},
    {0x21, 'C'},
    {0x23, 'D'},
    {0x24, 'E'},
    {0x2B, 'F'},
    {0x34, 'G'},
    {0x33, 'H'},
    {0x43, 'I'},
    {0x3B, 'J'},
    {0x42, 'K'},
    {0x4B, 'L'},
    {0x3A, 'M'},
    {0x31, 'N'},
    {0x44, 'O'},
    {0x4D, 'P'},
    {0x15, 'Q'},
    {0x2D, 'R'},
    {0x1B, 'S'},
    {0x2C, 'T'},
    {0x3C, 'U'},
    {0x2A, 'V'},
    {0x1D, 'W'},
    {0x22, 'X'},
    {0x35, 'Y'},
    {0x1A, 'Z'},
    // Digits of the main block.
    {0x16, '1'},
    {0x1E, '2'},
    {0x26, '3'},
    {0x25, '4'},
    {0x2E, '5'},
    {0x36, '6'},
    {0x3D, '7'},
    {0x3E, '8'},
    {0x46, '9'},
    {0x45, '0'},
    // Punctuation and control keys. The equals key gives '+', its shifted character.
    {0x0D, 0x09},
    {0x0E, '`'},
    {0x29, ' '},
    {0x41, ','},
    {0x49, '.'},
    {0x4A, '/'},
    {0x4C, ';'},
    {0x4E, '-'},
    {0x52, '\''},
    {0x54, '['},
    {0x55, '+'},
    {0x5B, ']'},
    {0x5D, '\\'},
    {0x58, 0x14},
    {0x5A, 0x0D},
    {0x66, 0x08},
    {0x76, 0x1B},
    {0x77, 0x90},
    {0x79, 0x6B},
    {0x7B, 0x6D},
    {0x7C, 0x6A},
    {0x7E, 0x91},
});

// Page Down gives 0x21 and Page Up 0x22 (swapped against their virtual-key
// codes); the actions are keyed on these values.
const Table extendedScanCodeTable = makeTable({
    {0x5A, 0xF5}, // keypad Enter: play/pause
    {0x66, 0x08},
    {0x69, 0x23}, // End
    {0x6C, 0x24}, // Home
    {0x70, 0x2D}, // Insert
    {0x71, 0x2E}, // Delete
    {0x7A, 0x21}, // Page Down
    {0x7C, 0x2C}, // Print Screen, its second code
    {0x7D, 0x22}, // Page Up
});

size_t decode(std::span<const uint8_t> bytes, KeySink& sink)
{
    using Kind = KeyEvent::Kind;
    const size_t n = bytes.size();
    size_t p = 0;
    while (p < n) {
        const uint8_t b = bytes[p];
        if (b == EXTENDED) {
            if (p + 2 > n)
                break;
            if (bytes[p + 1] == BREAK) {
                if (p + 3 > n)
                    break;
                sink.keyEvent({Kind::ExtendedBreak, bytes[p + 2]});
                p += 3;
            } else {
                sink.keyEvent({Kind::ExtendedMake, bytes[p + 1]});
                p += 2;
            }
        } else if (b == PAUSE) {
            // The pause sequence is known by its first byte; the rest is skipped unseen.
            const bool complete = p + PAUSE_LENGTH <= n;
            sink.keyEvent({Kind::Pause, b, complete});
            if (!complete)
                break;
            p += PAUSE_LENGTH;
        } else if (b == BREAK) {
            if (p + 2 > n)
                break;
            sink.keyEvent({Kind::Break, bytes[p + 1]});
            p += 2;
        } else {
            sink.keyEvent({Kind::Make, b});
            p += 1;
        }
    }
    return p;
}

} // namespace scancode
