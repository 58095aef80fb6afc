// One stream's decoder: a thread of its own reads the MP3 source with
// libmpg123, converts it to the output's format with SDL and keeps a second
// of it ready in a FrameRing for the output callback.
#pragma once

#include "framering.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace audio::detail {

// Where a stream's MP3 data comes from; kept so a restart can open it again.
struct Source {
    bool fromMemory = false;
    std::string path;
    std::vector<unsigned char> bytes; // the copy of a memory source
    uint64_t offset = 0;
    uint64_t length = 0; // 0 = to the end of the file
};

class Decoder {
public:
    // Starts decoding ahead; nullptr when the source does not open or yields no
    // audio. Blocks until the first audio is decoded or that is known.
    static std::unique_ptr<Decoder> start(std::shared_ptr<const Source> source, uint32_t outRate,
                                          int outChannels);
    // Stops the thread and waits for it.
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Output callback only: adds up to frames decoded frames onto dst and
    // counts them as played.
    size_t mixInto(float* dst, size_t frames);
    // Everything decoded has been played and no more will come.
    bool drained() const;

    // Any thread.
    uint64_t playedBytes() const;
    double byteRate() const { return double(sourceRate_) * sourceFrameBytes_; }

private:
    Decoder(std::shared_ptr<const Source> source, uint32_t outRate, int outChannels);
    void run(std::stop_token stop, std::promise<bool> opened);

    const std::shared_ptr<const Source> source_;
    const uint32_t outRate_;
    const int outChannels_;
    FrameRing ring_;
    // Set by the thread before it reports the open.
    uint32_t sourceRate_ = 0;
    uint32_t sourceFrameBytes_ = 0;
    std::atomic<uint64_t> decodedBytes_{0};
    std::atomic<uint64_t> playedFrames_{0};
    std::atomic<bool> finished_{false};
    std::jthread thread_; // last: stopped and joined before the members above go
};

} // namespace audio::detail
