// The protocol side of one device connection (one open handle): request frames
// in, reply frames out, the board model in between. No I/O; the server hands it
// the bytes it received and sends what it passes to `send`.
#pragma once

#include "boardmodel.h"

#include <functional>
#include <span>
#include <vector>

namespace boardsim {

class DeviceConnection {
public:
    using Send = std::function<void(std::vector<uint8_t> frame)>;

    // id is the handle number the board logs for this connection.
    DeviceConnection(BoardModel& board, int id, Send send);
    ~DeviceConnection();
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    // Takes bytes from the peer and answers every complete request. A reply to
    // a read may come later, from another connection's request or the board
    // side. False: the stream cannot be trusted (malformed or oversized frame);
    // the caller drops the connection.
    bool receive(std::span<const uint8_t> bytes);
    // The peer is gone: a pending read is dropped and an open handle closed.
    void hangUp();

    // Called when a request processed after a late read reply breaks the stream
    // (receive() cannot report it then).
    void setOnBroken(std::function<void()> onBroken) { onBroken_ = std::move(onBroken); }

    int id() const { return id_; }
    bool readPending() const { return awaitingRead_; }

private:
    bool process();
    void handle(const wire::Request& request);
    void reply(const wire::Reply& reply);

    BoardModel& board_;
    int id_;
    Send send_;
    std::function<void()> onBroken_;
    std::vector<uint8_t> in_;
    bool awaitingRead_ = false;
    bool processing_ = false;
    bool broken_ = false;
    bool hungUp_ = false;
};

} // namespace boardsim
