#include "boardmodel.h"
#include "ezusb.h"

#include <QCryptographicHash>

#include <algorithm>
#include <chrono>

namespace boardsim {

namespace {

struct OpName {
    Op op;
    const char* name;
};
constexpr OpName opNames[] = {
    {Op::Open, "open"},   {Op::Close, "close"},       {Op::Read, "read"},
    {Op::Write, "write"}, {Op::Leds, "leds"},         {Op::Anchor, "anchor"},
    {Op::Abort, "abort"}, {Op::BulkRead, "bulkread"}, {Op::BulkWrite, "bulkwrite"},
    {Op::Ioctl, "ioctl"},
};

uint32_t pipeOf(const std::vector<uint8_t>& in)
{
    return wire::getU32(in.data());
}

void appendJsonString(std::string& out, std::string_view s, bool latin1)
{
    static const char digits[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else if (c >= 0x80 && latin1) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(c);
        }
    }
    out += '"';
}

void appendField(std::string& out, const char* key)
{
    out += ",\"";
    out += key;
    out += "\":";
}

std::string hexNumber(unsigned value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string s(size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        s[size_t(i)] = hex[value & 15];
    return s;
}

} // namespace

const char* opName(Op op)
{
    for (const OpName& n : opNames)
        if (n.op == op)
            return n.name;
    return "?";
}

std::optional<Op> faultOpFromName(std::string_view name)
{
    if (name == "text")
        return Op::Write;
    for (const OpName& n : opNames)
        if (n.name == name && n.op != Op::Ioctl)
            return n.op;
    return std::nullopt;
}

std::string_view faultOpNames()
{
    return "open close read write leds text anchor abort bulkread bulkwrite";
}

std::string toHex(const uint8_t* bytes, size_t length)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        s += hex[bytes[i] >> 4];
        s += hex[bytes[i] & 15];
    }
    return s;
}

std::string sha256Hex(const uint8_t* bytes, size_t length)
{
    QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(bytes), qsizetype(length)),
        QCryptographicHash::Sha256);
    return toHex(reinterpret_cast<const uint8_t*>(digest.constData()), size_t(digest.size()));
}

bool inBoardMemory(uint32_t address, size_t length)
{
    if (length == 0)
        return address <= 0xFFFF;
    for (const ezusb::MemoryRegion& r : ezusb::ANCHOR_REGIONS)
        if (address >= r.first && address <= r.last && length - 1 <= size_t(r.last - address))
            return true;
    return false;
}

std::string eventJson(const Event& e)
{
    std::string out;
    out.reserve(96 + e.bytes.size() + e.text.size());
    out += "{\"seq\":" + std::to_string(e.seq);
    appendField(out, "t_us");
    out += std::to_string(e.tUs);
    appendField(out, "handle");
    out += std::to_string(e.handle);
    appendField(out, "op");
    appendJsonString(out, opName(e.op), false);
    appendField(out, "ok");
    out += e.ok ? "true" : "false";
    if (e.hasBytes) {
        appendField(out, "bytes");
        appendJsonString(out, e.bytes, false);
    }
    if (e.hasText) {
        appendField(out, "text");
        appendJsonString(out, e.text, true);
    }
    if (e.pattern >= 0) {
        appendField(out, "pattern");
        appendJsonString(out, hexNumber(unsigned(e.pattern), 2), false);
    }
    if (e.addr >= 0) {
        appendField(out, "addr");
        appendJsonString(out, hexNumber(unsigned(e.addr), 4), false);
    }
    if (e.length >= 0) {
        appendField(out, "length");
        out += std::to_string(e.length);
    }
    if (!e.sha256.empty()) {
        appendField(out, "sha256");
        appendJsonString(out, e.sha256, false);
    }
    if (e.value >= 0) {
        appendField(out, "value");
        appendJsonString(out, hexNumber(unsigned(e.value), 2), false);
    }
    if (e.pipe >= 0) {
        appendField(out, "pipe");
        out += std::to_string(e.pipe);
    }
    if (e.code >= 0) {
        appendField(out, "code");
        appendJsonString(out, hexNumber(unsigned(e.code), 8), false);
    }
    if (e.dropped) {
        appendField(out, "dropped");
        out += "true";
    }
    out += '}';
    return out;
}

BoardModel::BoardModel(Clock clock) : clock_(std::move(clock))
{
    if (!clock_) {
        auto start = std::chrono::steady_clock::now();
        clock_ = [start] {
            return std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - start)
                .count();
        };
    }
}

// ---------------------------------------------------------------- driver side

bool BoardModel::live(int handle) const
{
    auto it = handles_.find(handle);
    return plugged_ && it != handles_.end() && it->second.generation == generation_;
}

int BoardModel::openHandles() const
{
    if (!plugged_)
        return 0;
    return int(std::count_if(handles_.begin(), handles_.end(),
                             [this](const auto& h) { return h.second.generation == generation_; }));
}

bool BoardModel::faultFires(Op op)
{
    auto it = faults_.find(op);
    if (it == faults_.end() || !it->second.armed())
        return false;
    Fault& f = it->second;
    if (f.skip > 0) {
        --f.skip;
        return false;
    }
    if (f.remaining > 0 && --f.remaining == 0)
        faults_.erase(it);
    return true;
}

bool BoardModel::open(int handle)
{
    bool fault = faultFires(Op::Open);
    bool ok = !fault && plugged_ && handles_.count(handle) == 0;
    if (ok)
        handles_[handle] = HandleState{generation_};
    log(handle, Op::Open, ok);
    notify();
    return ok;
}

bool BoardModel::close(int handle)
{
    bool fault = faultFires(Op::Close);
    bool known = handles_.erase(handle) != 0;
    failPending(handle);
    log(handle, Op::Close, known && !fault);
    notify();
    return known && !fault;
}

void BoardModel::drop(int handle)
{
    bool known = handles_.erase(handle) != 0;
    failPending(handle);
    if (known)
        log(handle, Op::Close, true).dropped = true;
    notify();
}

wire::Reply BoardModel::ioControl(int handle, uint32_t code, const std::vector<uint8_t>& in,
                                  uint32_t outLength, const std::vector<uint8_t>& out)
{
    Op op = Op::Ioctl;
    switch (code) {
    case ezusb::IOCTL_ANCHOR_DOWNLOAD:
        op = Op::Anchor;
        break;
    case ezusb::IOCTL_SET_LEDS:
        op = Op::Leds;
        break;
    case ezusb::IOCTL_ABORT_PIPE:
        op = Op::Abort;
        break;
    case ezusb::IOCTL_BULK_READ:
        op = Op::BulkRead;
        break;
    case ezusb::IOCTL_BULK_WRITE:
        op = Op::BulkWrite;
        break;
    }
    bool fault = op != Op::Ioctl && faultFires(op);
    bool usable = live(handle) && !fault;
    Event& e = log(handle, op, false);
    wire::Reply reply;
    bool pipeBlock = in.size() == 4;
    uint32_t pipe = pipeBlock ? pipeOf(in) : 0;
    switch (op) {
    case Op::Anchor:
        if (in.size() == 2)
            e.addr = in[0] | in[1] << 8;
        e.length = int64_t(out.size());
        e.sha256 = sha256Hex(out.data(), out.size());
        if (out.size() == 1)
            e.value = out[0];
        if (usable)
            reply = anchorDownload(e, in, out);
        break;
    case Op::Leds:
        if (in.size() == 1)
            e.pattern = in[0];
        if (usable && in.size() == 1 && outLength == 0) {
            leds_ = in[0];
            reply.ok = true;
        }
        break;
    case Op::Abort:
        if (pipeBlock)
            e.pipe = int(pipe);
        if (usable && pipeBlock && outLength == 0 &&
            (pipe == ezusb::PIPE_IN || pipe == ezusb::PIPE_LEDS))
            reply.ok = true;
        break;
    case Op::BulkRead:
        if (pipeBlock)
            e.pipe = int(pipe);
        if (usable && pipeBlock && pipe == ezusb::PIPE_IN && outLength > 0) {
            std::vector<uint8_t> report = report_;
            // The wheel counts ride in bytes 4 and 5; a report too short to carry
            // them leaves them counting.
            if (report.size() >= 6) {
                report[4] = uint8_t(std::min(255, report[4] + jogLeft_));
                report[5] = uint8_t(std::min(255, report[5] + jogRight_));
                jogLeft_ = jogRight_ = 0;
            }
            report.resize(std::min<size_t>(report.size(), outLength));
            reply.ok = true;
            reply.count = uint32_t(report.size());
            reply.data = std::move(report);
            e.hasBytes = true;
            e.bytes = toHex(reply.data);
        }
        break;
    case Op::BulkWrite:
        if (pipeBlock)
            e.pipe = int(pipe);
        e.hasBytes = true;
        e.bytes = toHex(out);
        if (usable && pipeBlock && pipe == ezusb::PIPE_LEDS && out.size() == 2) {
            jogFlags_ = out[0];
            jogLeds_ = out[1];
            reply.ok = true;
            reply.count = 2;
        }
        break;
    default:
        e.code = code;
        break;
    }
    e.ok = reply.ok;
    logBytes_ += e.bytes.size() + e.sha256.size();
    // Aborting pipe 0 ends the key reads of every handle of the board.
    if (op == Op::Abort && reply.ok && pipe == ezusb::PIPE_IN)
        failPending(std::nullopt);
    trimLog();
    notify();
    return reply;
}

wire::Reply BoardModel::anchorDownload(Event& e, const std::vector<uint8_t>& in,
                                       const std::vector<uint8_t>& data)
{
    wire::Reply reply;
    if (in.size() != 2 || !inBoardMemory(uint32_t(e.addr), data.size()))
        return reply;
    uint16_t address = uint16_t(e.addr);
    bool wasHeld = heldInReset();
    writeMemory(address, data);
    // What lands at 0x0000 while the core is held is the image it will run.
    if (address == 0x0000 && wasHeld && !data.empty()) {
        imageBytes_ = data.size();
        imageSha_ = e.sha256;
        imageRunning_ = false;
    }
    if (wasHeld && !heldInReset() && imageBytes_ > 0)
        imageRunning_ = true;
    if (!wasHeld && heldInReset())
        imageRunning_ = false;
    reply.ok = true;
    return reply;
}

void BoardModel::writeMemory(uint16_t address, const std::vector<uint8_t>& data)
{
    std::copy(data.begin(), data.end(), memory_.begin() + address);
}

void BoardModel::read(int handle, uint32_t maxLength, ReadDone done)
{
    bool fault = faultFires(Op::Read);
    if (fault || !live(handle)) {
        finishRead({handle, maxLength, std::move(done)}, false, {});
        notify();
        return;
    }
    pending_.push_back({handle, maxLength, std::move(done)});
    deliver();
    notify();
}

bool BoardModel::write(int handle, const std::vector<uint8_t>& bytes)
{
    bool fault = faultFires(Op::Write);
    bool ok = !fault && live(handle);
    Event& e = log(handle, Op::Write, ok);
    e.hasBytes = e.hasText = true;
    e.bytes = toHex(bytes);
    e.text.assign(bytes.begin(), bytes.end());
    logBytes_ += e.bytes.size() + e.text.size();
    // The firmware shows "0name", "1mm:ss" and "2typed" in its three fields.
    if (ok && !bytes.empty() && bytes[0] >= '0' && bytes[0] <= '2')
        display_[bytes[0] - '0'].assign(bytes.begin() + 1, bytes.end());
    trimLog();
    notify();
    return ok;
}

void BoardModel::deliver()
{
    while (!pending_.empty() && !keys_.empty()) {
        PendingRead r = std::move(pending_.front());
        pending_.pop_front();
        std::vector<uint8_t>& block = keys_.front();
        std::vector<uint8_t> bytes;
        if (block.size() <= r.maxLength) {
            bytes = std::move(block);
            keys_.pop_front();
        } else {
            bytes.assign(block.begin(), block.begin() + r.maxLength);
            block.erase(block.begin(), block.begin() + r.maxLength);
        }
        finishRead(std::move(r), true, std::move(bytes));
    }
}

void BoardModel::failPending(std::optional<int> handle)
{
    std::deque<PendingRead> failed;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (!handle || it->handle == *handle) {
            failed.push_back(std::move(*it));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (PendingRead& r : failed)
        finishRead(std::move(r), false, {});
}

void BoardModel::finishRead(PendingRead r, bool ok, std::vector<uint8_t> bytes)
{
    Event& e = log(r.handle, Op::Read, ok);
    e.hasBytes = true;
    e.bytes = toHex(bytes);
    e.length = r.maxLength;
    logBytes_ += e.bytes.size();
    trimLog();
    // The callback may issue the connection's next request, so the model is
    // consistent before it runs.
    if (r.done)
        r.done(ok, bytes);
}

// ---------------------------------------------------------------- board side

void BoardModel::queueKeys(std::vector<uint8_t> block)
{
    if (block.size() > maxKeyBlock)
        block.resize(maxKeyBlock);
    keys_.push_back(std::move(block));
    deliver();
    notify();
}

bool BoardModel::setControlReport(std::vector<uint8_t> report)
{
    if (report.size() > reportSize)
        return false;
    report_ = std::move(report);
    notify();
    return true;
}

void BoardModel::setControlBits(size_t index, uint8_t mask, uint8_t value)
{
    if (index >= reportSize)
        return;
    if (report_.size() < reportSize)
        report_.resize(reportSize, 0);
    report_[index] = uint8_t((report_[index] & ~mask) | (value & mask));
    notify();
}

void BoardModel::addJogSteps(int delta)
{
    if (delta > 0)
        jogRight_ = int(std::min<int64_t>(255, int64_t(jogRight_) + delta));
    else if (delta < 0)
        jogLeft_ = int(std::min<int64_t>(255, int64_t(jogLeft_) - delta));
    notify();
}

void BoardModel::unplug()
{
    if (!plugged_)
        return;
    plugged_ = false;
    // Handles name the device that went away; a later plug is a new device.
    ++generation_;
    failPending(std::nullopt);
    notify();
}

void BoardModel::plug()
{
    plugged_ = true;
    notify();
}

void BoardModel::setFault(Op op, Fault fault)
{
    if (fault.armed())
        faults_[op] = fault;
    else
        faults_.erase(op);
    notify();
}

// ---------------------------------------------------------------- log

Event& BoardModel::log(int handle, Op op, bool ok)
{
    Event e;
    e.seq = nextSeq_++;
    e.tUs = clock_();
    e.handle = handle;
    e.op = op;
    e.ok = ok;
    log_.push_back(std::move(e));
    logBytes_ += sizeof(Event);
    trimLog();
    return log_.back();
}

void BoardModel::trimLog()
{
    // The newest event always stays, however large.
    while (log_.size() > 1 && (log_.size() > logLimit_ || logBytes_ > logByteBudget_)) {
        const Event& old = log_.front();
        logBytes_ -= std::min(logBytes_, sizeof(Event) + old.bytes.size() + old.text.size() +
                                             old.sha256.size());
        log_.pop_front();
    }
}

void BoardModel::setLogLimits(size_t maxEvents, size_t maxBytes)
{
    logLimit_ = std::max<size_t>(1, maxEvents);
    logByteBudget_ = maxBytes;
    trimLog();
}

void BoardModel::forEachEventSince(uint64_t since, const std::function<void(const Event&)>& f) const
{
    if (log_.empty())
        return;
    uint64_t first = log_.front().seq;
    size_t start = since < first ? 0 : size_t(since - first + 1);
    for (size_t i = start; i < log_.size(); ++i)
        f(log_[i]);
}

// ---------------------------------------------------------------- listeners

int BoardModel::addListener(std::function<void()> listener)
{
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void BoardModel::removeListener(int id)
{
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void BoardModel::notify()
{
    auto listeners = listeners_;
    for (auto& l : listeners)
        l.second();
}

} // namespace boardsim
