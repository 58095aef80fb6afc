// Frames exchanged between the device layer and a board served over a Unix socket.
//
// One connection is one open handle. The client sends one request and waits for
// its reply; a read may stay unanswered until the board has key data, which is
// why every handle has a connection of its own. All integers are little-endian.
//
//   request: u32 bodyLength | u8 op | body
//   reply:   u32 bodyLength | u8 ok | u32 count | data[count]
//
//   Open      body: -                                   reply count 0
//   Close     body: -                                   reply count 0
//   Ioctl     body: u32 code | u32 inLen | in | u32 outLen | out (outLen bytes,
//                   only when the code's method sends the second buffer)
//                   reply: count = bytes returned, data = bytes received (methods
//                   that fill the second buffer)
//   Read      body: u32 maxLength                       reply: the bytes read
//   Write     body: u32 length | data                   reply: count = bytes written
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace wire {

// Larger frames are a protocol error: the board's whole memory is 64 KiB, and
// a generous bound keeps a broken peer from making the other side allocate.
constexpr uint32_t maxBodyLength = 16u << 20;

enum class Op : uint8_t { Open = 1, Close = 2, Ioctl = 3, Read = 4, Write = 5 };

// Buffer methods, the low two bits of a control code.
enum class Method : uint32_t { Buffered = 0, InDirect = 1, OutDirect = 2, Neither = 3 };

inline Method methodOf(uint32_t code)
{
    return static_cast<Method>(code & 3u);
}
// Whether the second buffer travels to the device (else it is filled from it).
inline bool sendsSecondBuffer(uint32_t code)
{
    return methodOf(code) == Method::InDirect;
}

struct Request {
    Op op = Op::Open;
    uint32_t code = 0;           // Ioctl
    std::vector<uint8_t> input;  // Ioctl first buffer; Write data
    uint32_t outLength = 0;      // Ioctl second buffer length; Read max length
    std::vector<uint8_t> output; // Ioctl second buffer when it is sent
};

struct Reply {
    bool ok = false;
    uint32_t count = 0;
    std::vector<uint8_t> data;
};

enum class ParseStatus { NeedMore, Ok, Malformed };

struct ParseResult {
    ParseStatus status;
    size_t consumed = 0; // bytes of the buffer that the frame took (Ok only)
};

std::vector<uint8_t> encodeRequest(const Request& request);
std::vector<uint8_t> encodeReply(const Reply& reply);

// Parses one frame from the front of bytes. NeedMore asks for more bytes;
// Malformed means the stream cannot be trusted any more and must be dropped.
ParseResult parseRequest(std::span<const uint8_t> bytes, Request& request);
ParseResult parseReply(std::span<const uint8_t> bytes, Reply& reply);

void putU32(std::vector<uint8_t>& out, uint32_t value);
uint32_t getU32(const uint8_t* p);

} // namespace wire
