#include "unitthreadkeys.h"
#include "unitplayer.h"

#include <chrono>
#include <thread>

TThreadKeys::TThreadKeys(bool createSuspended, TformPlayer* form, const char* devicePath)
    : gui::Thread(createSuspended), form(form), device(openBoard(devicePath))
{
    freeOnTerminate = false;
}

void TThreadKeys::execute()
{
    if (device == INVALID_HANDLE_VALUE)
        return;
    while (!terminated()) {
        if (readBoardKeys(device, keyBuffer, bytesRead))
            synchronize([this] { deliverKeyData(); });
        else
            // The board went away or the read was aborted: back off a second,
            // never spin; a shutdown cuts the wait short.
            sleepUnlessTerminated(std::chrono::seconds(1));
        std::this_thread::yield();
    }
    closeBoard(device);
}

void TThreadKeys::deliverKeyData()
{
    form->appendKeyData(keyBuffer, bytesRead);
}
