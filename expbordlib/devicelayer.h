// Device calls with the semantics of the Win32 calls the board library was
// designed around: open a device path, close, device-I/O-control, blocking
// read and write. Every call is synchronous and reports success as a bool.
//
// "\\.\NAME" is served by a transport chosen from NAME; today the only one is
// a Unix socket called NAME in the device folder (see deviceFolder()).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace device {

using Handle = intptr_t;
inline constexpr Handle INVALID_HANDLE_VALUE = -1;

// One open device. Requests on one transport come from one thread at a time;
// different transports may be used from different threads at once.
class Transport {
public:
    virtual ~Transport() = default;
    virtual bool ioControl(uint32_t code, const void* in, uint32_t inLength, void* out,
                           uint32_t outLength, uint32_t* bytesReturned) = 0;
    virtual bool read(void* buffer, uint32_t length, uint32_t* bytesRead) = 0;
    virtual bool write(const void* buffer, uint32_t length, uint32_t* bytesWritten) = 0;
    // Tells the device the handle goes away; the transport is destroyed after it.
    virtual bool close() = 0;
};

// Opens a device path for reading and writing. A malformed path, a device that
// is not there or that refuses the open gives INVALID_HANDLE_VALUE.
Handle openDevice(const char* path);
// Closing INVALID_HANDLE_VALUE or an unknown handle fails and does no harm.
bool closeDevice(Handle handle);
// The second buffer is sent to the device or filled from it according to the
// method bits of code (METHOD_IN_DIRECT sends it, METHOD_OUT_DIRECT fills it).
bool ioControl(Handle handle, uint32_t code, const void* in, uint32_t inLength, void* out,
               uint32_t outLength, uint32_t* bytesReturned);
// Blocks until the device has data.
bool readDevice(Handle handle, void* buffer, uint32_t length, uint32_t* bytesRead);
bool writeDevice(Handle handle, const void* buffer, uint32_t length, uint32_t* bytesWritten);

// $EXPBORD_DEVICE_DIR, else $XDG_RUNTIME_DIR/expbord, else /tmp/expbord-<uid>.
std::string deviceFolder();
// The name after "\\.\", or empty when path is not of that form or the name
// could leave the device folder.
std::string deviceName(const std::string& path);

// Backend for names served by a Unix socket; nullptr when it does not open.
std::unique_ptr<Transport> openSocketTransport(const std::string& socketPath);

} // namespace device
