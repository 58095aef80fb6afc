#include "decoder.h"

#include <SDL.h>
#include <mpg123.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace audio::detail {
namespace {

// A byte range of a file or of memory, read through libmpg123's handle I/O.
class Region {
public:
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    explicit Region(const Source& source)
    {
        if (source.fromMemory) {
            mem_ = source.bytes.data();
            size_ = source.bytes.size();
            return;
        }
        fd_ = ::open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return;
        const auto fileSize = uint64_t(st.st_size);
        begin_ = std::min(source.offset, fileSize);
        size_ = fileSize - begin_;
        if (source.length != 0)
            size_ = std::min(size_, source.length);
    }
    ~Region()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool empty() const { return size_ == 0; }

    static mpg123_ssize_t read(void* handle, void* buffer, size_t bytes)
    {
        auto* r = static_cast<Region*>(handle);
        const uint64_t left = r->pos_ < r->size_ ? r->size_ - r->pos_ : 0;
        bytes = size_t(std::min<uint64_t>(bytes, left));
        if (r->mem_) {
            std::memcpy(buffer, r->mem_ + r->pos_, bytes);
            r->pos_ += bytes;
            return mpg123_ssize_t(bytes);
        }
        ssize_t got;
        do
            got = ::pread(r->fd_, buffer, bytes, off_t(r->begin_ + r->pos_));
        while (got < 0 && errno == EINTR);
        if (got > 0)
            r->pos_ += uint64_t(got);
        return got;
    }

    static off_t seek(void* handle, off_t offset, int whence)
    {
        auto* r = static_cast<Region*>(handle);
        int64_t base = 0;
        if (whence == SEEK_CUR)
            base = int64_t(r->pos_);
        else if (whence == SEEK_END)
            base = int64_t(r->size_);
        else if (whence != SEEK_SET) {
            errno = EINVAL;
            return -1;
        }
        const int64_t to = base + offset;
        if (to < 0) {
            errno = EINVAL;
            return -1;
        }
        r->pos_ = uint64_t(to);
        return off_t(to);
    }

private:
    int fd_ = -1;
    const unsigned char* mem_ = nullptr;
    uint64_t begin_ = 0;
    uint64_t size_ = 0;
    uint64_t pos_ = 0;
};

struct Mpg123Closer {
    void operator()(mpg123_handle* h) const
    {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Closer>;

struct ConverterFree {
    void operator()(SDL_AudioStream* s) const { SDL_FreeAudioStream(s); }
};
using ConverterPtr = std::unique_ptr<SDL_AudioStream, ConverterFree>;

// A decoder that can only give 16-bit samples, at the file's own rate and
// channel count; the converter does the rest.
Mpg123Ptr newMpg123()
{
    Mpg123Ptr mh(mpg123_new(nullptr, nullptr));
    if (!mh)
        return nullptr;
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return mh;
}

// 16 KiB of 16-bit PCM is at least one MPEG frame (1152 stereo samples = 4.5 KiB).
constexpr size_t kPcmChunkBytes = 16384;
// Frames converted per step.
constexpr size_t kOutChunkFrames = 1024;

} // namespace

Decoder::Decoder(std::shared_ptr<const Source> source, uint32_t outRate, int outChannels)
    : source_(std::move(source)), outRate_(outRate), outChannels_(outChannels),
      ring_(outRate, outChannels) // one second ahead
{}

Decoder::~Decoder() = default; // thread_ is requested to stop and joined

std::unique_ptr<Decoder> Decoder::start(std::shared_ptr<const Source> source, uint32_t outRate,
                                        int outChannels)
{
    std::unique_ptr<Decoder> d(new Decoder(std::move(source), outRate, outChannels));
    std::promise<bool> opened;
    auto result = opened.get_future();
    try {
        d->thread_ =
            std::jthread([raw = d.get(), p = std::move(opened)](std::stop_token stop) mutable {
                raw->run(std::move(stop), std::move(p));
            });
    } catch (const std::system_error&) {
        return nullptr; // no thread to be had: the stream does not open
    }
    if (!result.get())
        return nullptr; // the thread has ended; the destructor joins it
    return d;
}

void Decoder::run(std::stop_token stop, std::promise<bool> opened)
{
    pthread_setname_np(pthread_self(), "audio-decode");
    Region region(*source_);
    Mpg123Ptr mh = region.empty() ? nullptr : newMpg123();
    if (!mh ||
        mpg123_replace_reader_handle(mh.get(), &Region::read, &Region::seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(mh.get(), &region) != MPG123_OK) {
        opened.set_value(false);
        return;
    }

    // The source counts as playable once real samples come out: text or random
    // bytes end here without a single frame.
    std::vector<unsigned char> pcm(kPcmChunkBytes);
    size_t got = 0;
    int rc = MPG123_OK;
    while (got == 0 && (rc == MPG123_OK || rc == MPG123_NEW_FORMAT))
        rc = mpg123_read(mh.get(), pcm.data(), pcm.size(), &got);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (got == 0 || mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16) {
        opened.set_value(false);
        return;
    }
    ConverterPtr converter(SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels), int(rate),
                                              AUDIO_F32SYS, Uint8(outChannels_), int(outRate_)));
    if (!converter) {
        opened.set_value(false);
        return;
    }
    sourceRate_ = uint32_t(rate);
    sourceFrameBytes_ = uint32_t(channels) * 2;
    opened.set_value(true);

    const size_t outFrameBytes = sizeof(float) * size_t(outChannels_);
    std::vector<float> out(kOutChunkFrames * size_t(outChannels_));
    std::mutex waitMutex;
    std::condition_variable_any wake; // only the stop request wakes it early
    bool inputDone = false;
    bool flushed = false;
    uint64_t decoded = 0;
    uint64_t outFrames = 0;
    uint64_t outLimit = UINT64_MAX; // known once the input is done
    auto feed = [&](size_t bytes) {
        SDL_AudioStreamPut(converter.get(), pcm.data(), int(bytes));
        decoded += bytes;
        decodedBytes_.store(decoded, std::memory_order_release);
    };
    feed(got);

    // A full ring is topped up once a quarter of it (250 ms) has played, so
    // the thread wakes four times a second and still stays 750 ms ahead.
    const size_t refill = size_t(outRate_) / 4;
    bool topUp = true;
    while (!stop.stop_requested()) {
        const size_t room = ring_.freeFrames();
        if (room < kOutChunkFrames || (!topUp && room < refill)) {
            topUp = false;
            const auto playing = std::chrono::microseconds(
                uint64_t(refill - std::min(room, refill)) * 1000000 / outRate_);
            std::unique_lock lock(waitMutex);
            wake.wait_for(lock, stop, std::max(playing, std::chrono::microseconds(2000)),
                          [] { return false; });
            continue;
        }
        topUp = true;
        const int ready = SDL_AudioStreamAvailable(converter.get());
        if (ready >= int(outFrameBytes) && outFrames < outLimit) {
            const uint64_t frames =
                std::min<uint64_t>({kOutChunkFrames, ready / outFrameBytes, outLimit - outFrames});
            const int bytes =
                SDL_AudioStreamGet(converter.get(), out.data(), int(frames * outFrameBytes));
            if (bytes > 0)
                outFrames += ring_.write(out.data(), size_t(bytes) / outFrameBytes);
            continue;
        }
        if (inputDone) {
            if (flushed)
                break;
            // SDL 2.26's flush keeps the resampler's look-ahead (512 source
            // frames at 22.05 -> 44.1 kHz) back: push it out with a tenth of a
            // second of silence and stop at the length the source has.
            std::fill(pcm.begin(), pcm.end(), 0);
            for (uint64_t pad = uint64_t(rate) / 10 * sourceFrameBytes_; pad > 0;) {
                const size_t n = size_t(std::min<uint64_t>(pad, pcm.size()));
                SDL_AudioStreamPut(converter.get(), pcm.data(), int(n));
                pad -= n;
            }
            SDL_AudioStreamFlush(converter.get());
            const uint64_t sourceFrames = decoded / sourceFrameBytes_;
            outLimit = (sourceFrames * outRate_ + uint64_t(rate) / 2) / uint64_t(rate);
            flushed = true;
            continue;
        }
        rc = mpg123_read(mh.get(), pcm.data(), pcm.size(), &got);
        if (rc == MPG123_NEW_FORMAT) {
            // A change of rate or channels inside one file would play the rest
            // at the wrong speed through this converter; the stream ends there.
            long r = 0;
            int c = 0;
            int e = 0;
            mpg123_getformat(mh.get(), &r, &c, &e);
            if (r != rate || c != channels || e != encoding)
                inputDone = true;
            continue;
        }
        if (got > 0)
            feed(got);
        // MPG123_DONE, a read error, or damage the decoder cannot get past.
        if (rc != MPG123_OK)
            inputDone = true;
    }
    finished_.store(true, std::memory_order_release);
}

size_t Decoder::mixInto(float* dst, size_t frames)
{
    const size_t n = ring_.mixInto(dst, frames);
    playedFrames_.store(playedFrames_.load(std::memory_order_relaxed) + n,
                        std::memory_order_release);
    return n;
}

bool Decoder::drained() const
{
    return finished_.load(std::memory_order_acquire) && ring_.availableFrames() == 0;
}

uint64_t Decoder::playedBytes() const
{
    const uint64_t decoded = decodedBytes_.load(std::memory_order_acquire);
    if (drained())
        return decoded;
    // Output frames back to source frames; the resampler keeps the ratio.
    const uint64_t sourceFrames =
        playedFrames_.load(std::memory_order_acquire) * sourceRate_ / outRate_;
    return std::min(sourceFrames * sourceFrameBytes_, decoded);
}

} // namespace audio::detail
