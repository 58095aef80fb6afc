// The device-layer frames of the virtual board.
//
// Parsers: a frame that parses is encoded back to the very same bytes, and
// every shorter prefix of it asks for more. The connection: whatever bytes a
// client sends, in whatever pieces, the board answers with well-formed reply
// frames, never more replies than requests, and the pieces do not matter: the
// whole stream at once gives the same replies, the same verdict and the same
// request log as the stream cut into reads of 1..16 bytes.
//
// Input: byte 0 = piece size (low 4 bits) and whether key blocks arrive after
// the stream (bit 4; they complete a pending read); the rest is the stream.
#include "boardmodel.h"
#include "deviceconnection.h"
#include "wireprotocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void checkRequestFrame(std::span<const uint8_t> bytes)
{
    wire::Request request;
    const wire::ParseResult r = wire::parseRequest(bytes, request);
    if (r.status != wire::ParseStatus::Ok)
        return;
    require(r.consumed >= 5 && r.consumed <= bytes.size(), "request frame size");
    const std::vector<uint8_t> again = wire::encodeRequest(request);
    require(
        std::equal(again.begin(), again.end(), bytes.begin(), bytes.begin() + long(r.consumed)) &&
            again.size() == r.consumed,
        "a parsed request encodes to other bytes");
    for (size_t cut : {size_t(0), size_t(3), size_t(4), r.consumed - 1}) {
        wire::Request partial;
        require(wire::parseRequest(bytes.first(cut), partial).status == wire::ParseStatus::NeedMore,
                "a request prefix does not ask for more");
    }
}

void checkReplyFrame(std::span<const uint8_t> bytes)
{
    wire::Reply reply;
    const wire::ParseResult r = wire::parseReply(bytes, reply);
    if (r.status != wire::ParseStatus::Ok)
        return;
    const std::vector<uint8_t> again = wire::encodeReply(reply);
    require(again.size() == r.consumed && std::equal(again.begin(), again.end(), bytes.begin()),
            "a parsed reply encodes to other bytes");
}

struct Run {
    std::vector<uint8_t> replies; // every frame sent, back to back
    size_t replyCount = 0;
    bool broken = false;
    std::string log;
    int requests = 0;
};

// Counts the complete request frames at the front of a stream.
int countRequests(std::span<const uint8_t> bytes)
{
    int count = 0;
    size_t at = 0;
    for (;;) {
        wire::Request request;
        const wire::ParseResult r = wire::parseRequest(bytes.subspan(at), request);
        if (r.status != wire::ParseStatus::Ok)
            return count;
        ++count;
        at += r.consumed;
    }
}

Run feed(std::span<const uint8_t> stream, size_t piece, bool keysAfter)
{
    Run run;
    boardsim::BoardModel board([] { return int64_t(0); });
    {
        boardsim::DeviceConnection connection(board, 1, [&run](std::vector<uint8_t> frame) {
            run.replies.insert(run.replies.end(), frame.begin(), frame.end());
            ++run.replyCount;
        });
        connection.setOnBroken([&run] { run.broken = true; });
        for (size_t at = 0; at < stream.size() && !run.broken; at += piece) {
            const size_t take = std::min(piece, stream.size() - at);
            if (!connection.receive(stream.subspan(at, take)))
                run.broken = true;
        }
        if (keysAfter) {
            // Enough blocks for every read the stream may still have pending.
            for (int i = 0; i < 4 && connection.readPending(); ++i)
                board.queueKeys({0x1C, 0xF0, 0x1C});
        }
    }
    board.forEachEventSince(0, [&run](const boardsim::Event& e) {
        run.log += boardsim::eventJson(e);
        run.log += '\n';
    });
    return run;
}

void checkReplies(const Run& run, int requests)
{
    size_t at = 0;
    size_t frames = 0;
    while (at < run.replies.size()) {
        wire::Reply reply;
        const wire::ParseResult r = wire::parseReply(std::span(run.replies).subspan(at), reply);
        require(r.status == wire::ParseStatus::Ok, "the board sent a malformed reply");
        require(reply.count >= reply.data.size() || reply.data.empty(),
                "a reply carries more data than its count");
        at += r.consumed;
        ++frames;
    }
    require(frames == run.replyCount, "reply frames and sends differ");
    require(frames <= size_t(requests), "more replies than requests");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = size_t(data[0] & 0x0F) + 1;
    const bool keysAfter = (data[0] & 0x10) != 0;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    checkRequestFrame(stream);
    checkReplyFrame(stream);

    const int requests = countRequests(stream);
    const Run whole = feed(stream, stream.size() ? stream.size() : 1, keysAfter);
    const Run pieces = feed(stream, piece, keysAfter);
    checkReplies(whole, requests);
    checkReplies(pieces, requests);
    require(whole.replies == pieces.replies, "replies depend on how the stream was cut");
    require(whole.broken == pieces.broken, "the verdict depends on how the stream was cut");
    require(whole.log == pieces.log, "the request log depends on how the stream was cut");
    return 0;
}
