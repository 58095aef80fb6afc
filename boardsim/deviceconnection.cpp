#include "deviceconnection.h"

namespace boardsim {

namespace {

// A client waits for each reply, so at most one frame is buffered behind a
// pending read; this bounds what a client that does not wait can pile up.
constexpr size_t maxBuffered = size_t(wire::maxBodyLength) + 4 + (64u << 10);

} // namespace

DeviceConnection::DeviceConnection(BoardModel& board, int id, Send send)
    : board_(board), id_(id), send_(std::move(send))
{}

DeviceConnection::~DeviceConnection()
{
    hangUp();
}

bool DeviceConnection::receive(std::span<const uint8_t> bytes)
{
    if (broken_ || hungUp_)
        return false;
    in_.insert(in_.end(), bytes.begin(), bytes.end());
    if (in_.size() > maxBuffered) {
        broken_ = true;
        return false;
    }
    return process();
}

bool DeviceConnection::process()
{
    processing_ = true;
    size_t offset = 0;
    while (!awaitingRead_ && !broken_ && !hungUp_) {
        wire::Request request;
        wire::ParseResult pr = wire::parseRequest(std::span(in_).subspan(offset), request);
        if (pr.status == wire::ParseStatus::NeedMore)
            break;
        if (pr.status == wire::ParseStatus::Malformed) {
            broken_ = true;
            break;
        }
        offset += pr.consumed;
        handle(request);
    }
    in_.erase(in_.begin(), in_.begin() + long(offset));
    processing_ = false;
    return !broken_;
}

void DeviceConnection::handle(const wire::Request& r)
{
    wire::Reply out;
    switch (r.op) {
    case wire::Op::Open:
        out.ok = board_.open(id_);
        break;
    case wire::Op::Close:
        out.ok = board_.close(id_);
        break;
    case wire::Op::Ioctl:
        out = board_.ioControl(id_, r.code, r.input, r.outLength, r.output);
        break;
    case wire::Op::Write:
        out.ok = board_.write(id_, r.input);
        out.count = out.ok ? uint32_t(r.input.size()) : 0;
        break;
    case wire::Op::Read:
        awaitingRead_ = true;
        board_.read(id_, r.outLength, [this](bool ok, const std::vector<uint8_t>& bytes) {
            if (hungUp_)
                return;
            awaitingRead_ = false;
            wire::Reply done;
            done.ok = ok;
            done.count = uint32_t(bytes.size());
            done.data = bytes;
            reply(done);
            // A reply that comes later may unblock requests buffered behind the read.
            if (!processing_ && !in_.empty() && !process() && onBroken_)
                onBroken_();
        });
        return;
    }
    reply(out);
}

void DeviceConnection::reply(const wire::Reply& reply)
{
    send_(wire::encodeReply(reply));
}

void DeviceConnection::hangUp()
{
    if (hungUp_)
        return;
    hungUp_ = true;
    awaitingRead_ = false;
    board_.drop(id_);
}

} // namespace boardsim
