// Decoded frames handed from a stream's decoder thread (the only writer) to the
// output callback (the only reader) without a lock, so the callback never
// waits for the decoder.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio::detail {

class FrameRing {
public:
    FrameRing(size_t frames, int channels)
        : samples_(frames * size_t(channels)), frames_(frames), channels_(size_t(channels))
    {}

    // Writer side.
    size_t freeFrames() const
    {
        return frames_ - size_t(written_.load(std::memory_order_relaxed) -
                                read_.load(std::memory_order_acquire));
    }

    // Copies up to frames frames; returns how many fitted.
    size_t write(const float* src, size_t frames)
    {
        const uint64_t w = written_.load(std::memory_order_relaxed);
        frames = std::min(frames, freeFrames());
        const size_t start = size_t(w % frames_);
        const size_t first = std::min(frames, frames_ - start);
        std::copy_n(src, first * channels_, samples_.data() + start * channels_);
        std::copy_n(src + first * channels_, (frames - first) * channels_, samples_.data());
        written_.store(w + frames, std::memory_order_release);
        return frames;
    }

    // Reader side.
    size_t availableFrames() const
    {
        return size_t(written_.load(std::memory_order_acquire) -
                      read_.load(std::memory_order_relaxed));
    }

    // Adds up to frames frames onto dst (mixing); returns how many there were.
    size_t mixInto(float* dst, size_t frames)
    {
        const uint64_t r = read_.load(std::memory_order_relaxed);
        frames = std::min(frames, availableFrames());
        const size_t start = size_t(r % frames_);
        const size_t first = std::min(frames, frames_ - start);
        addSamples(dst, samples_.data() + start * channels_, first * channels_);
        addSamples(dst + first * channels_, samples_.data(), (frames - first) * channels_);
        read_.store(r + frames, std::memory_order_release);
        return frames;
    }

private:
    static void addSamples(float* dst, const float* src, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            dst[i] += src[i];
    }

    std::vector<float> samples_;
    const size_t frames_;
    const size_t channels_;
    // Frame counts since the start; their difference is the fill level.
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
};

} // namespace audio::detail
