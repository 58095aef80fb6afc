#include "wireprotocol.h"

namespace wire {

void putU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

namespace {

std::vector<uint8_t> frame(std::vector<uint8_t> body)
{
    std::vector<uint8_t> out;
    out.reserve(body.size() + 4);
    putU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Reads fields from a frame body; any read past its end marks it bad.
class BodyReader {
public:
    explicit BodyReader(std::span<const uint8_t> body) : body_(body) {}
    bool u8(uint8_t& v)
    {
        if (!need(1))
            return false;
        v = body_[pos_++];
        return true;
    }
    bool u32(uint32_t& v)
    {
        if (!need(4))
            return false;
        v = getU32(body_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool bytes(uint32_t n, std::vector<uint8_t>& v)
    {
        if (!need(n))
            return false;
        v.assign(body_.begin() + pos_, body_.begin() + pos_ + n);
        pos_ += n;
        return true;
    }
    bool atEnd() const { return pos_ == body_.size(); }

private:
    bool need(size_t n) const { return body_.size() - pos_ >= n; }
    std::span<const uint8_t> body_;
    size_t pos_ = 0;
};

// Splits the length-prefixed body off the front of bytes.
ParseResult frameBody(std::span<const uint8_t> bytes, std::span<const uint8_t>& body)
{
    if (bytes.size() < 4)
        return {ParseStatus::NeedMore};
    uint32_t length = getU32(bytes.data());
    if (length > maxBodyLength)
        return {ParseStatus::Malformed};
    if (bytes.size() - 4 < length)
        return {ParseStatus::NeedMore};
    body = bytes.subspan(4, length);
    return {ParseStatus::Ok, 4 + size_t(length)};
}

} // namespace

std::vector<uint8_t> encodeRequest(const Request& r)
{
    std::vector<uint8_t> body;
    body.push_back(static_cast<uint8_t>(r.op));
    switch (r.op) {
    case Op::Open:
    case Op::Close:
        break;
    case Op::Ioctl:
        putU32(body, r.code);
        putU32(body, static_cast<uint32_t>(r.input.size()));
        body.insert(body.end(), r.input.begin(), r.input.end());
        putU32(body, r.outLength);
        if (sendsSecondBuffer(r.code))
            body.insert(body.end(), r.output.begin(), r.output.end());
        break;
    case Op::Read:
        putU32(body, r.outLength);
        break;
    case Op::Write:
        putU32(body, static_cast<uint32_t>(r.input.size()));
        body.insert(body.end(), r.input.begin(), r.input.end());
        break;
    }
    return frame(std::move(body));
}

std::vector<uint8_t> encodeReply(const Reply& r)
{
    std::vector<uint8_t> body;
    body.push_back(r.ok ? 1 : 0);
    putU32(body, r.count);
    body.insert(body.end(), r.data.begin(), r.data.end());
    return frame(std::move(body));
}

ParseResult parseRequest(std::span<const uint8_t> bytes, Request& r)
{
    std::span<const uint8_t> body;
    ParseResult result = frameBody(bytes, body);
    if (result.status != ParseStatus::Ok)
        return result;
    BodyReader in(body);
    uint8_t op = 0;
    if (!in.u8(op))
        return {ParseStatus::Malformed};
    r = Request{};
    r.op = static_cast<Op>(op);
    uint32_t n = 0;
    switch (r.op) {
    case Op::Open:
    case Op::Close:
        break;
    case Op::Ioctl:
        if (!in.u32(r.code) || !in.u32(n) || !in.bytes(n, r.input) || !in.u32(r.outLength))
            return {ParseStatus::Malformed};
        if (sendsSecondBuffer(r.code) && !in.bytes(r.outLength, r.output))
            return {ParseStatus::Malformed};
        break;
    case Op::Read:
        if (!in.u32(r.outLength))
            return {ParseStatus::Malformed};
        break;
    case Op::Write:
        if (!in.u32(n) || !in.bytes(n, r.input))
            return {ParseStatus::Malformed};
        break;
    default:
        return {ParseStatus::Malformed};
    }
    if (!in.atEnd())
        return {ParseStatus::Malformed};
    return result;
}

ParseResult parseReply(std::span<const uint8_t> bytes, Reply& r)
{
    std::span<const uint8_t> body;
    ParseResult result = frameBody(bytes, body);
    if (result.status != ParseStatus::Ok)
        return result;
    BodyReader in(body);
    uint8_t ok = 0;
    r = Reply{};
    if (!in.u8(ok) || ok > 1 || !in.u32(r.count))
        return {ParseStatus::Malformed};
    r.ok = ok == 1;
    r.data.assign(body.begin() + 5, body.end());
    return result;
}

} // namespace wire
