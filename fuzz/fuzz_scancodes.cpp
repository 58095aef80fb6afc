// scancode::decode on arbitrary bytes: every byte it consumes belongs to exactly
// one reported event, what it leaves is the start of one unfinished sequence
// (at most 7 bytes, the pause sequence being 8), and decoding the stream in
// blocks, carrying the rest over as the window does, gives the same events as
// decoding it whole.
#include "scancodes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using scancode::KeyEvent;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Recorded {
    KeyEvent::Kind kind;
    uint8_t code;
    bool operator==(const Recorded&) const = default;
};

struct Recorder : scancode::KeySink {
    std::vector<Recorded> complete;
    size_t bytes = 0;   // bytes of the complete events
    int incomplete = 0; // unfinished pauses reported
    bool afterIncomplete = false;
    void keyEvent(const KeyEvent& e) override
    {
        require(!afterIncomplete, "an event follows an unfinished pause");
        if (e.kind == KeyEvent::Kind::Pause && !e.complete) {
            ++incomplete;
            afterIncomplete = true;
            return;
        }
        switch (e.kind) {
        case KeyEvent::Kind::Make:
            bytes += 1;
            break;
        case KeyEvent::Kind::Break:
        case KeyEvent::Kind::ExtendedMake:
            bytes += 2;
            break;
        case KeyEvent::Kind::ExtendedBreak:
            bytes += 3;
            break;
        case KeyEvent::Kind::Pause:
            bytes += scancode::PAUSE_LENGTH;
            break;
        }
        complete.push_back({e.kind, e.code});
    }
};

// What may be left undecoded: a lone E0, E0 F0, a lone F0, or E1 and fewer
// than 7 of the bytes after it.
void checkRest(const uint8_t* rest, size_t n)
{
    if (n == 0)
        return;
    require(n < scancode::PAUSE_LENGTH, "more than 7 bytes left undecoded");
    switch (rest[0]) {
    case scancode::EXTENDED:
        require(n == 1 || (n == 2 && rest[1] == scancode::BREAK), "bad E0 rest");
        break;
    case scancode::BREAK:
        require(n == 1, "bad F0 rest");
        break;
    case scancode::PAUSE:
        break;
    default:
        require(false, "a plain make code left undecoded");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // Byte 0 picks the block size for the streamed run (1..64 bytes, as reads deliver).
    const size_t blockSize = size_t(data[0] % 64) + 1;
    const uint8_t* stream = data + 1;
    const size_t n = size - 1;

    Recorder whole;
    const size_t used = scancode::decode({stream, n}, whole);
    require(used <= n, "consumed more than it was given");
    require(whole.bytes == used, "consumed bytes and reported events differ");
    require(whole.incomplete <= 1, "more than one unfinished pause");
    require(whole.incomplete == 0 || (n - used >= 1 && stream[used] == scancode::PAUSE),
            "unfinished pause reported but not left waiting");
    checkRest(stream + used, n - used);

    // The window's way: a buffer holding the waiting rest plus one block.
    Recorder streamed;
    std::vector<uint8_t> buffer;
    for (size_t at = 0; at < n; at += blockSize) {
        const size_t take = std::min(blockSize, n - at);
        buffer.insert(buffer.end(), stream + at, stream + at + take);
        require(buffer.size() <= 7 + 64, "key buffer past 71 bytes");
        Recorder part;
        const size_t u = scancode::decode({buffer.data(), buffer.size()}, part);
        require(part.bytes == u, "block: consumed bytes and events differ");
        checkRest(buffer.data() + u, buffer.size() - u);
        streamed.complete.insert(streamed.complete.end(), part.complete.begin(),
                                 part.complete.end());
        buffer.erase(buffer.begin(), buffer.begin() + long(u));
    }
    require(streamed.complete == whole.complete, "blocks decode differently from the whole");
    require(buffer.size() == n - used, "blocks leave a different rest");
    return 0;
}
