// The key reader thread: reads the keyboard's raw bytes from the board on a
// handle of its own and hands each block, unchanged, to the window.
#pragma once

#include "thread.h"
#include "unitexpbordlib.h"

#include <cstdint>

class TformPlayer;

class TThreadKeys : public gui::Thread {
public:
    // Opens the thread's own handle on devicePath; the thread starts once
    // construction is complete (when not created suspended).
    TThreadKeys(bool createSuspended, TformPlayer* form, const char* devicePath);

    TformPlayer* form;
    BoardHandle device;
    uint8_t keyBuffer[64];
    uint32_t bytesRead = 0;

protected:
    void execute() override;

private:
    // GUI thread, while the reader waits in synchronize.
    void deliverKeyData();
};
