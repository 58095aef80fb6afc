#include "ctlprotocol.h"

namespace boardsim {

namespace {

wire::ParseResult body(std::span<const uint8_t> bytes, uint32_t limit,
                       std::span<const uint8_t>& out)
{
    if (bytes.size() < 4)
        return {wire::ParseStatus::NeedMore};
    uint32_t length = wire::getU32(bytes.data());
    if (length > limit)
        return {wire::ParseStatus::Malformed};
    if (bytes.size() - 4 < length)
        return {wire::ParseStatus::NeedMore};
    out = bytes.subspan(4, length);
    return {wire::ParseStatus::Ok, 4 + size_t(length)};
}

void prefixLength(std::vector<uint8_t>& frame)
{
    uint32_t length = uint32_t(frame.size() - 4);
    for (int i = 0; i < 4; ++i)
        frame[size_t(i)] = uint8_t(length >> (8 * i));
}

} // namespace

std::string controlSocketName(int board)
{
    return deviceSocketName(board) + ".ctl";
}

std::string deviceSocketName(int board)
{
    return "ezusb-" + std::to_string(board);
}

std::vector<uint8_t> encodeCtlRequest(const std::vector<std::string>& args)
{
    std::vector<uint8_t> frame(4);
    wire::putU32(frame, uint32_t(args.size()));
    for (const std::string& a : args) {
        wire::putU32(frame, uint32_t(a.size()));
        frame.insert(frame.end(), a.begin(), a.end());
    }
    prefixLength(frame);
    return frame;
}

wire::ParseResult parseCtlRequest(std::span<const uint8_t> bytes, std::vector<std::string>& args)
{
    std::span<const uint8_t> b;
    wire::ParseResult result = body(bytes, maxCtlRequestLength, b);
    if (result.status != wire::ParseStatus::Ok)
        return result;
    args.clear();
    if (b.size() < 4)
        return {wire::ParseStatus::Malformed};
    uint32_t argc = wire::getU32(b.data());
    size_t pos = 4;
    for (uint32_t i = 0; i < argc; ++i) {
        if (b.size() - pos < 4)
            return {wire::ParseStatus::Malformed};
        uint32_t length = wire::getU32(b.data() + pos);
        pos += 4;
        if (b.size() - pos < length)
            return {wire::ParseStatus::Malformed};
        args.emplace_back(reinterpret_cast<const char*>(b.data() + pos), length);
        pos += length;
    }
    if (pos != b.size())
        return {wire::ParseStatus::Malformed};
    return result;
}

std::vector<uint8_t> encodeCtlReply(int exitCode, const std::string& output)
{
    std::vector<uint8_t> frame(4);
    frame.reserve(8 + output.size());
    wire::putU32(frame, uint32_t(exitCode));
    frame.insert(frame.end(), output.begin(), output.end());
    prefixLength(frame);
    return frame;
}

wire::ParseResult parseCtlReply(std::span<const uint8_t> bytes, int& exitCode, std::string& output)
{
    std::span<const uint8_t> b;
    wire::ParseResult result = body(bytes, maxCtlReplyLength, b);
    if (result.status != wire::ParseStatus::Ok)
        return result;
    if (b.size() < 4)
        return {wire::ParseStatus::Malformed};
    exitCode = int(wire::getU32(b.data()));
    output.assign(reinterpret_cast<const char*>(b.data() + 4), b.size() - 4);
    return result;
}

} // namespace boardsim
