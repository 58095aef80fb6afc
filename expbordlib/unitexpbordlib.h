// The board library: every request the programs make of the experiment board.
// Each operation is one device call (downloadFirmware excepted) and reports
// success as a bool; none shows, logs, throws or retries anything.
#pragma once

#include "devicelayer.h"

#include <cstdint>

using BoardHandle = device::Handle;
using device::INVALID_HANDLE_VALUE;

BoardHandle openBoard(const char* path);
bool closeBoard(BoardHandle handle);
// value 1 holds the 8051 in reset, 0 lets it run. Caller is downloadFirmware.
bool setBoardReset(BoardHandle handle, uint8_t value);
// Loads a raw memory image (byte i to address i). False before any request to
// the board when the file cannot be read whole or is empty; false with the
// processor held in reset when the transfer fails.
bool downloadFirmware(BoardHandle handle, const char* imagePath);
// Sends the text up to its terminator, without it.
bool writeBoardText(BoardHandle handle, const char* text);
bool setBoardLeds(BoardHandle handle, uint8_t pattern);
// buffer must hold at least 64 bytes; blocks until the board has key data.
bool readBoardKeys(BoardHandle handle, uint8_t* buffer, uint32_t& bytesRead);
// Ends a key read pending on any handle of the same board.
bool abortBoardRead(BoardHandle handle);
// Outputs are written only on success, which needs the full 8-byte report.
bool readBoardControls(BoardHandle handle, uint8_t keyBytes[3], int8_t& shuttle, uint8_t& jogLeft,
                       uint8_t& jogRight, uint8_t& keyByte6, uint8_t& keyByte7);
// Sent as the LED block [flagByte, ledByte] on pipe 1.
bool writeBoardLeds(BoardHandle handle, uint8_t ledByte, uint8_t flagByte);
