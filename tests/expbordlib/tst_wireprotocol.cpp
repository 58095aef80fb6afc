// The frames between the device layer and a board: what goes out comes back
// the same, and a damaged stream is recognised instead of misread.
#include "ezusb.h"
#include "wireprotocol.h"

#include "printrows.h"

#include <gtest/gtest.h>

namespace {

using testsupport::PrintTo;

using Bytes = std::vector<uint8_t>;

wire::Request request(wire::Op op, uint32_t code = 0, Bytes in = {}, uint32_t outLength = 0,
                      Bytes out = {})
{
    wire::Request r;
    r.op = op;
    r.code = code;
    r.input = std::move(in);
    r.outLength = outLength;
    r.output = std::move(out);
    return r;
}

struct RoundTripCase {
    const char* name;
    wire::Request request;
    Bytes expectedOutput; // what arrives of the second buffer
};

class RequestRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RequestRoundTrip, ParsesWhatWasEncoded)
{
    const RoundTripCase& c = GetParam();
    Bytes frame = wire::encodeRequest(c.request);
    // Followed by another frame: only the first is taken.
    Bytes stream = frame;
    Bytes next = wire::encodeRequest(request(wire::Op::Close));
    stream.insert(stream.end(), next.begin(), next.end());

    wire::Request parsed;
    wire::ParseResult pr = wire::parseRequest(stream, parsed);
    ASSERT_EQ(pr.status, wire::ParseStatus::Ok);
    EXPECT_EQ(pr.consumed, frame.size());
    EXPECT_EQ(parsed.op, c.request.op);
    EXPECT_EQ(parsed.code, c.request.code);
    EXPECT_EQ(parsed.input, c.request.input);
    EXPECT_EQ(parsed.outLength, c.request.outLength);
    EXPECT_EQ(parsed.output, c.expectedOutput);

    // Every cut short of the whole frame asks for more.
    for (size_t cut = 0; cut < frame.size(); ++cut)
        ASSERT_EQ(wire::parseRequest(std::span(frame).first(cut), parsed).status,
                  wire::ParseStatus::NeedMore)
            << cut;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RequestRoundTrip,
    testing::Values(
        RoundTripCase{"open", request(wire::Op::Open), {}},
        RoundTripCase{"close", request(wire::Op::Close), {}},
        RoundTripCase{"anchorSendsSecondBuffer",
                      request(wire::Op::Ioctl, ezusb::IOCTL_ANCHOR_DOWNLOAD, {0x92, 0x7F}, 1, {1}),
                      {1}},
        RoundTripCase{
            "bulkWriteSendsSecondBuffer",
            request(wire::Op::Ioctl, ezusb::IOCTL_BULK_WRITE, {1, 0, 0, 0}, 2, {0xA0, 0x0F}),
            {0xA0, 0x0F}},
        // METHOD_OUT_DIRECT: only the length travels, the device fills the buffer.
        RoundTripCase{
            "bulkReadSendsOnlyLength",
            request(wire::Op::Ioctl, ezusb::IOCTL_BULK_READ, {0, 0, 0, 0}, 8, Bytes(8, 0xEE)),
            {}},
        RoundTripCase{"ledsBuffered", request(wire::Op::Ioctl, ezusb::IOCTL_SET_LEDS, {0xFF}), {}},
        RoundTripCase{"read", request(wire::Op::Read, 0, {}, 64), {}},
        RoundTripCase{"write", request(wire::Op::Write, 0, {'0', 'a', 0xE9}), {}},
        RoundTripCase{"emptyWrite", request(wire::Op::Write), {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reply, RoundTrip)
{
    for (const wire::Reply& r : {wire::Reply{true, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
                                 wire::Reply{false, 0, {}}, wire::Reply{true, 2, {}}}) {
        Bytes frame = wire::encodeReply(r);
        wire::Reply parsed;
        wire::ParseResult pr = wire::parseReply(frame, parsed);
        ASSERT_EQ(pr.status, wire::ParseStatus::Ok);
        EXPECT_EQ(pr.consumed, frame.size());
        EXPECT_EQ(parsed.ok, r.ok);
        EXPECT_EQ(parsed.count, r.count);
        EXPECT_EQ(parsed.data, r.data);
    }
}

struct MalformedCase {
    const char* name;
    Bytes bytes;
    wire::ParseStatus status;
};

Bytes withLength(Bytes body)
{
    Bytes out;
    wire::putU32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes lengthOnly(uint32_t length)
{
    Bytes out;
    wire::putU32(out, length);
    return out;
}

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, RequestFrames)
{
    wire::Request parsed;
    EXPECT_EQ(wire::parseRequest(GetParam().bytes, parsed).status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Malformed,
    testing::Values(
        MalformedCase{"emptyStream", {}, wire::ParseStatus::NeedMore},
        MalformedCase{"partialLength", {5, 0}, wire::ParseStatus::NeedMore},
        MalformedCase{"bodyMissing", lengthOnly(5), wire::ParseStatus::NeedMore},
        // An oversized length is refused before its body is waited for.
        MalformedCase{"overLimit", lengthOnly(wire::maxBodyLength + 1),
                      wire::ParseStatus::Malformed},
        MalformedCase{"atLimitWaits", lengthOnly(wire::maxBodyLength), wire::ParseStatus::NeedMore},
        MalformedCase{"noOp", withLength({}), wire::ParseStatus::Malformed},
        MalformedCase{"opZero", withLength({0}), wire::ParseStatus::Malformed},
        MalformedCase{"opSix", withLength({6}), wire::ParseStatus::Malformed},
        MalformedCase{"openWithBody", withLength({1, 0}), wire::ParseStatus::Malformed},
        MalformedCase{"ioctlNoCode", withLength({3, 0x6D, 0x20}), wire::ParseStatus::Malformed},
        MalformedCase{"ioctlInputLonger",
                      withLength({3, 0xC8, 0x20, 0x22, 0, 9, 0, 0, 0, 0xFF, 0, 0, 0, 0}),
                      wire::ParseStatus::Malformed},
        MalformedCase{"ioctlSentBufferShort",
                      withLength({3, 0x6D, 0x20, 0x22, 0, 2, 0, 0, 0, 0x92, 0x7F, 4, 0, 0, 0, 1}),
                      wire::ParseStatus::Malformed},
        MalformedCase{"ioctlTrailing",
                      withLength({3, 0xC8, 0x20, 0x22, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0, 0, 7}),
                      wire::ParseStatus::Malformed},
        MalformedCase{"readShort", withLength({4, 64, 0}), wire::ParseStatus::Malformed},
        MalformedCase{"writeLengthLies", withLength({5, 3, 0, 0, 0, 'a'}),
                      wire::ParseStatus::Malformed},
        MalformedCase{"writeLengthHuge", withLength({5, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
                      wire::ParseStatus::Malformed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Malformed, ReplyFrames)
{
    wire::Reply parsed;
    EXPECT_EQ(wire::parseReply(withLength({1, 0, 0, 0}), parsed).status,
              wire::ParseStatus::Malformed);
    EXPECT_EQ(wire::parseReply(withLength({2, 0, 0, 0, 0}), parsed).status,
              wire::ParseStatus::Malformed);
    EXPECT_EQ(wire::parseReply(lengthOnly(wire::maxBodyLength + 1), parsed).status,
              wire::ParseStatus::Malformed);
    EXPECT_EQ(wire::parseReply(lengthOnly(6), parsed).status, wire::ParseStatus::NeedMore);
}

} // namespace
