#include "devicelayer.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <unistd.h>

namespace device {

namespace {

// Handles are never reused within a process, so a stale handle fails instead
// of reaching another device.
struct HandleTable {
    std::mutex mutex;
    std::map<Handle, std::shared_ptr<Transport>> open;
    Handle next = 1;
};

HandleTable& table()
{
    static HandleTable t;
    return t;
}

std::shared_ptr<Transport> lookup(Handle handle)
{
    HandleTable& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.open.find(handle);
    return it == t.open.end() ? nullptr : it->second;
}

} // namespace

std::string deviceFolder()
{
    if (const char* dir = std::getenv("EXPBORD_DEVICE_DIR"); dir && *dir)
        return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::string(run) + "/expbord";
    return "/tmp/expbord-" + std::to_string(getuid());
}

std::string deviceName(const std::string& path)
{
    const std::string prefix = "\\\\.\\";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return {};
    std::string name = path.substr(prefix.size());
    if (name == "." || name == ".." ||
        name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        return {};
    return name;
}

Handle openDevice(const char* path)
{
    if (!path)
        return INVALID_HANDLE_VALUE;
    std::string name = deviceName(path);
    if (name.empty())
        return INVALID_HANDLE_VALUE;
    std::unique_ptr<Transport> transport = openSocketTransport(deviceFolder() + "/" + name);
    if (!transport)
        return INVALID_HANDLE_VALUE;
    HandleTable& t = table();
    std::lock_guard lock(t.mutex);
    Handle handle = t.next++;
    t.open.emplace(handle, std::move(transport));
    return handle;
}

bool closeDevice(Handle handle)
{
    std::shared_ptr<Transport> transport;
    {
        HandleTable& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.open.find(handle);
        if (it == t.open.end())
            return false;
        transport = std::move(it->second);
        t.open.erase(it);
    }
    return transport->close();
}

bool ioControl(Handle handle, uint32_t code, const void* in, uint32_t inLength, void* out,
               uint32_t outLength, uint32_t* bytesReturned)
{
    auto transport = lookup(handle);
    return transport && transport->ioControl(code, in, inLength, out, outLength, bytesReturned);
}

bool readDevice(Handle handle, void* buffer, uint32_t length, uint32_t* bytesRead)
{
    auto transport = lookup(handle);
    return transport && transport->read(buffer, length, bytesRead);
}

bool writeDevice(Handle handle, const void* buffer, uint32_t length, uint32_t* bytesWritten)
{
    auto transport = lookup(handle);
    return transport && transport->write(buffer, length, bytesWritten);
}

} // namespace device
