// One virtual experiment board: the state that an AN21xx-class EZ-USB chip and
// its firmware keep, and the behaviour of the board driver towards its handles.
// No I/O: the server feeds it requests per connection id, the control commands
// and a window change it from the board side, and listeners hear every change.
#pragma once

#include "wireprotocol.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// Requests as the event log names them. Ioctl is a control code the board does not know.
enum class Op : uint8_t {
    Open,
    Close,
    Read,
    Write,
    Leds,
    Anchor,
    Abort,
    BulkRead,
    BulkWrite,
    Ioctl
};

const char* opName(Op op);
// The names `fail` accepts; "text" is the display write, the same request as "write".
std::optional<Op> faultOpFromName(std::string_view name);
std::string_view faultOpNames();

std::string toHex(const uint8_t* bytes, size_t length);
inline std::string toHex(const std::vector<uint8_t>& bytes)
{
    return toHex(bytes.data(), bytes.size());
}
// Upper-case hex of the SHA-256 of bytes.
std::string sha256Hex(const uint8_t* bytes, size_t length);

// Whether every byte of [address, address + length) lies in the anchor-writable
// memory of the chip (RAM 0x0000..0x1B3F, registers 0x7B40..0x7FFF).
bool inBoardMemory(uint32_t address, size_t length);

// One line of the request log. Fields that do not apply to op are left empty
// (strings) or negative (numbers) and are not written out.
struct Event {
    uint64_t seq = 0;
    int64_t tUs = 0;
    int handle = 0;
    Op op = Op::Open;
    bool ok = false;
    bool hasBytes = false;
    std::string bytes; // hex: read result, write data, bulk transfer data
    bool hasText = false;
    std::string text; // write: the raw 8-bit text
    int pattern = -1; // leds
    int addr = -1;    // anchor
    int64_t length = -1;
    std::string sha256;   // anchor
    int value = -1;       // anchor of one byte
    int pipe = -1;        // abort, bulkread, bulkwrite
    int64_t code = -1;    // ioctl
    bool dropped = false; // close: the client vanished without closing
};

// One event as a JSON object on one line (no newline).
std::string eventJson(const Event& event);

// Requests of one op fail while a fault is armed: first `skip` requests pass,
// then `remaining` fail (-1 = every one from then on).
struct Fault {
    int skip = 0;
    int remaining = 0;
    bool armed() const { return remaining != 0; }
};

class BoardModel {
public:
    // Microseconds on a monotonic clock; the daemon counts from its start.
    using Clock = std::function<int64_t()>;
    using ReadDone = std::function<void(bool ok, const std::vector<uint8_t>& bytes)>;

    static constexpr uint16_t cpucsAddress = 0x7F92;
    static constexpr size_t maxKeyBlock = 64;
    static constexpr size_t reportSize = 8;
    static constexpr size_t defaultLogLimit = 200000;
    static constexpr size_t defaultLogByteBudget = 64u << 20;

    explicit BoardModel(Clock clock = {});

    // --- Driver side. handle is the id of the connection the request came on.
    bool open(int handle);
    // Releases the handle whatever the result (an armed fault only fails the reply).
    bool close(int handle);
    // The connection vanished: its pending read goes, an open handle is logged closed.
    void drop(int handle);
    // out is the second buffer when the code's method sends it.
    wire::Reply ioControl(int handle, uint32_t code, const std::vector<uint8_t>& in,
                          uint32_t outLength, const std::vector<uint8_t>& out);
    // done runs once: now when a block is queued or the read fails at once, else
    // when a block arrives, an abort of pipe 0 or an unplug ends the read.
    void read(int handle, uint32_t maxLength, ReadDone done);
    bool write(int handle, const std::vector<uint8_t>& bytes);

    // --- Board side (control commands, window).
    void queueKeys(std::vector<uint8_t> block);
    // 0..8 bytes; a shorter report makes bulk reads return that many bytes.
    bool setControlReport(std::vector<uint8_t> report);
    // Sets the bits of mask in report byte index to those of value, as a key
    // or the shuttle of the jog unit does; a short report is first filled up
    // to 8 bytes with zeros.
    void setControlBits(size_t index, uint8_t mask, uint8_t value);
    // Jog-wheel steps since the last bulk read: positive to the right (report
    // byte 5), negative to the left (byte 4); each count saturates at 255.
    void addJogSteps(int delta);
    void unplug();
    void plug();
    void setFault(Op op, Fault fault);

    // --- State.
    uint8_t cpucs() const { return memory_[cpucsAddress]; }
    bool heldInReset() const { return (cpucs() & 1) != 0; }
    uint8_t peek(uint16_t address) const { return memory_[address]; }
    uint8_t leds() const { return leds_; }
    const std::array<std::string, 3>& display() const { return display_; }
    uint8_t jogFlags() const { return jogFlags_; }
    uint8_t jogLeds() const { return jogLeds_; }
    const std::vector<uint8_t>& controlReport() const { return report_; }
    int jogLeftSteps() const { return jogLeft_; }
    int jogRightSteps() const { return jogRight_; }
    size_t imageBytes() const { return imageBytes_; }
    const std::string& imageSha256() const { return imageSha_; }
    bool imageRunning() const { return imageRunning_; }
    bool plugged() const { return plugged_; }
    int openHandles() const;
    int pendingReads() const { return int(pending_.size()); }
    size_t queuedKeyBlocks() const { return keys_.size(); }
    const std::map<Op, Fault>& faults() const { return faults_; }

    // --- Event log, oldest first; seq keeps counting when old events are dropped.
    const std::deque<Event>& events() const { return log_; }
    uint64_t lastSeq() const { return nextSeq_ - 1; }
    void setLogLimits(size_t maxEvents, size_t maxBytes);
    // Every event whose seq is greater than since, handed to f in order.
    void forEachEventSince(uint64_t since, const std::function<void(const Event&)>& f) const;

    // Called after every change of state or log.
    int addListener(std::function<void()> listener);
    void removeListener(int id);

private:
    struct HandleState {
        uint64_t generation = 0;
    };
    struct PendingRead {
        int handle;
        uint32_t maxLength;
        ReadDone done;
    };

    bool live(int handle) const;
    bool faultFires(Op op);
    Event& log(int handle, Op op, bool ok);
    void trimLog();
    void notify();
    wire::Reply anchorDownload(Event& e, const std::vector<uint8_t>& in,
                               const std::vector<uint8_t>& data);
    void writeMemory(uint16_t address, const std::vector<uint8_t>& data);
    // Completes pending reads while blocks are queued.
    void deliver();
    // Fails every pending read (optionally only those of one handle).
    void failPending(std::optional<int> handle);
    void finishRead(PendingRead read, bool ok, std::vector<uint8_t> bytes);

    Clock clock_;
    std::array<uint8_t, 0x10000> memory_{};
    uint8_t leds_ = 0;
    std::array<std::string, 3> display_;
    uint8_t jogFlags_ = 0;
    uint8_t jogLeds_ = 0;
    std::vector<uint8_t> report_ = std::vector<uint8_t>(reportSize, 0);
    int jogLeft_ = 0;
    int jogRight_ = 0;
    size_t imageBytes_ = 0;
    std::string imageSha_;
    bool imageRunning_ = false;
    bool plugged_ = true;
    uint64_t generation_ = 0;
    std::map<int, HandleState> handles_;
    std::deque<std::vector<uint8_t>> keys_;
    std::deque<PendingRead> pending_;
    std::map<Op, Fault> faults_;

    std::deque<Event> log_;
    uint64_t nextSeq_ = 1;
    size_t logBytes_ = 0;
    size_t logLimit_ = defaultLogLimit;
    size_t logByteBudget_ = defaultLogByteBudget;

    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int nextListener_ = 1;
};

} // namespace boardsim
