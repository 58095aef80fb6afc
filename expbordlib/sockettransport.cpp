// A board served over a Unix socket (the virtual board, or anything speaking
// the same frames): one connection per handle.
#include "devicelayer.h"
#include "wireprotocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace device {

namespace {

wire::Request request(wire::Op op, uint32_t outLength = 0)
{
    wire::Request r;
    r.op = op;
    r.outLength = outLength;
    return r;
}

class SocketTransport : public Transport {
public:
    explicit SocketTransport(int fd) : fd_(fd) {}
    ~SocketTransport() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool open() { return roundTrip(request(wire::Op::Open)).ok; }

    bool ioControl(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* bytesReturned) override
    {
        wire::Request r = request(wire::Op::Ioctl, outLength);
        r.code = code;
        if (in && inLength)
            r.input.assign(static_cast<const uint8_t*>(in),
                           static_cast<const uint8_t*>(in) + inLength);
        if (wire::sendsSecondBuffer(code)) {
            if (outLength && !out)
                return false;
            if (outLength)
                r.output.assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + outLength);
        }
        wire::Reply reply = roundTrip(r);
        if (!wire::sendsSecondBuffer(code)) {
            // The device cannot fill more than the caller offered.
            if (reply.data.size() > outLength || (reply.data.size() && !out))
                return false;
            if (!reply.data.empty())
                std::memcpy(out, reply.data.data(), reply.data.size());
        }
        if (bytesReturned)
            *bytesReturned = reply.count;
        return reply.ok;
    }

    bool read(void* buffer, uint32_t length, uint32_t* bytesRead) override
    {
        wire::Reply reply = roundTrip(request(wire::Op::Read, length));
        if (reply.data.size() > length || (reply.data.size() && !buffer))
            return false;
        if (!reply.data.empty())
            std::memcpy(buffer, reply.data.data(), reply.data.size());
        if (bytesRead)
            *bytesRead = static_cast<uint32_t>(reply.data.size());
        return reply.ok;
    }

    bool write(const void* buffer, uint32_t length, uint32_t* bytesWritten) override
    {
        if (length && !buffer)
            return false;
        wire::Request r = request(wire::Op::Write);
        r.input.assign(static_cast<const uint8_t*>(buffer),
                       static_cast<const uint8_t*>(buffer) + length);
        wire::Reply reply = roundTrip(r);
        if (bytesWritten)
            *bytesWritten = reply.count;
        return reply.ok;
    }

    bool close() override { return roundTrip(request(wire::Op::Close)).ok; }

private:
    // A failed send or receive leaves the stream unusable: the connection is
    // dropped and every later request fails.
    wire::Reply roundTrip(const wire::Request& request)
    {
        if (fd_ < 0)
            return {};
        std::vector<uint8_t> bytes = wire::encodeRequest(request);
        // The board drops a connection that sends a frame past the limit; such a
        // request only fails, the handle stays.
        if (bytes.size() - 4 > wire::maxBodyLength)
            return {};
        if (!sendAll(bytes.data(), bytes.size()))
            return broken();
        std::vector<uint8_t> in;
        uint8_t chunk[4096];
        for (;;) {
            wire::Reply reply;
            wire::ParseResult pr = wire::parseReply(in, reply);
            if (pr.status == wire::ParseStatus::Ok && pr.consumed == in.size())
                return reply;
            if (pr.status != wire::ParseStatus::NeedMore)
                return broken();
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return broken();
            in.insert(in.end(), chunk, chunk + n);
        }
    }

    bool sendAll(const uint8_t* p, size_t n)
    {
        while (n > 0) {
            ssize_t sent = ::send(fd_, p, n, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            p += sent;
            n -= size_t(sent);
        }
        return true;
    }

    wire::Reply broken()
    {
        ::close(fd_);
        fd_ = -1;
        return {};
    }

    int fd_;
};

} // namespace

std::unique_ptr<Transport> openSocketTransport(const std::string& socketPath)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path)
        return nullptr;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto transport = std::make_unique<SocketTransport>(fd);
    if (!transport->open())
        return nullptr;
    return transport;
}

} // namespace device
