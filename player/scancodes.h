// PS/2 scan code set 2 as the board passes it on: splitting the raw byte
// stream into key events, and the key values of the player's keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace scancode {

constexpr uint8_t EXTENDED = 0xE0; // prefix of the keys added after the XT layout
constexpr uint8_t BREAK = 0xF0;    // prefix of a key release
constexpr uint8_t PAUSE = 0xE1;    // Pause sends E1 14 77 E1 F0 14 F0 77 and no release
constexpr size_t PAUSE_LENGTH = 8;

// Key values by scan code: virtual-key codes for letters, digits, function and
// control keys, character codes for punctuation; 0 = the key has no value.
extern const std::array<uint8_t, 256> scanCodeTable;
// Key values by the byte after an E0 prefix.
extern const std::array<uint8_t, 256> extendedScanCodeTable;

struct KeyEvent {
    enum class Kind { Make, Break, ExtendedMake, ExtendedBreak, Pause };
    Kind kind;
    uint8_t code;         // the scan code, or the byte after the prefix(es)
    bool complete = true; // Pause only: all 8 bytes have arrived
};

class KeySink {
public:
    virtual void keyEvent(const KeyEvent& event) = 0;

protected:
    ~KeySink() = default;
};

// Reports the events of bytes in order and returns how many bytes they took.
// Decoding stops at a sequence that has not fully arrived (a lone E0, E0 F0, a
// lone F0, or E1 with fewer than 7 bytes after it); its bytes are not counted.
// An incomplete pause is still reported, with complete = false.
size_t decode(std::span<const uint8_t> bytes, KeySink& sink);

} // namespace scancode
