#include "audiolib.h"

#include "decoder.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace audio {
namespace {

using detail::Decoder;
using detail::Source;

constexpr uint32_t kDefaultRate = 44100;
// 1024 frames: 23 ms at 44.1 kHz, the step in which playback is handed out.
constexpr Uint16 kDeviceFrames = 1024;

struct Sync {
    SyncHandle handle;
    bool once;
    EndProc proc;
    void* user;
};

struct Stream {
    std::shared_ptr<const Source> source;
    std::unique_ptr<Decoder> decoder;
    uint32_t state = STATE_STOPPED;
    bool ended = false;
    std::vector<Sync> syncs;
};

struct PendingCall {
    Sync sync;
    StreamHandle stream;
};

// Handles of all engines of the process come from one counter, so a handle of
// a released output does not name a stream of the next one either.
uint32_t nextHandle()
{
    static std::atomic<uint32_t> counter{0};
    uint32_t h;
    do
        h = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    while (h == 0);
    return h;
}

class Engine {
public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() { shutdown(); }

    bool open(int device, uint32_t rate)
    {
        rate_ = rate ? rate : kDefaultRate;
        if (device != 0 && openOutput(nullptr))
            return true;
        // No sound hardware, no sound server or no sound wanted: the dummy
        // driver consumes the output in real time.
        return openOutput("dummy");
    }

    // Waits for the output thread, then frees every stream. Called where no
    // end procedure can be running on the calling thread.
    void shutdown()
    {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        std::map<StreamHandle, std::unique_ptr<Stream>> doomed;
        {
            std::lock_guard lock(table_);
            doomed.swap(streams_);
        }
        doomed.clear(); // joins the decoder threads
        if (subsystemUp_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystemUp_ = false;
        }
    }

    uint32_t rate() const { return rate_; }
    int channels() const { return channels_; }

    StreamHandle add(std::unique_ptr<Stream> stream)
    {
        const StreamHandle h = nextHandle();
        std::lock_guard lock(table_);
        streams_.emplace(h, std::move(stream));
        return h;
    }

    std::unique_ptr<Stream> remove(StreamHandle h)
    {
        std::unique_ptr<Stream> gone;
        {
            std::lock_guard lock(table_);
            auto it = streams_.find(h);
            if (it == streams_.end())
                return nullptr;
            gone = std::move(it->second);
            streams_.erase(it);
        }
        // An end procedure of this stream may have been collected just before;
        // it has returned once the dispatch lock is ours.
        std::lock_guard wait(dispatch_);
        return gone;
    }

    // Runs f(stream) under the table lock; false when h names no stream.
    template <typename F> bool with(StreamHandle h, F&& f)
    {
        std::lock_guard lock(table_);
        auto it = streams_.find(h);
        if (it == streams_.end())
            return false;
        f(*it->second);
        return true;
    }

private:
    bool openOutput(const char* driver)
    {
        // SDL's drivers announce themselves on stderr (the disk driver
        // critically); the caller decides what to tell.
        SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
        if (driver)
            SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
        const bool up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (driver)
            SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        if (!up)
            return false;
        SDL_AudioSpec want{};
        want.freq = int(rate_);
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = kDeviceFrames;
        want.callback = &Engine::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the hardware wants, so
        // the callback always mixes float stereo at rate_.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        subsystemUp_ = true;
        channels_ = have.channels;
        calls_.reserve(64);
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    static void SDLCALL callback(void* userdata, Uint8* out, int len)
    {
        static_cast<Engine*>(userdata)->mix(reinterpret_cast<float*>(out),
                                            size_t(len) / sizeof(float));
    }

    // Output thread. Holds the table lock only while copying decoded frames;
    // end procedures run after it is released.
    void mix(float* out, size_t samples)
    {
        std::fill_n(out, samples, 0.0f);
        const size_t frames = samples / size_t(channels_);
        // Taken before the table lock and kept through the end procedures, so
        // remove() can wait for a procedure of the stream it frees.
        std::lock_guard dispatching(dispatch_);
        {
            std::lock_guard lock(table_);
            calls_.clear();
            for (auto& [handle, s] : streams_) {
                if (s->state != STATE_PLAYING)
                    continue;
                s->decoder->mixInto(out, frames);
                if (!s->decoder->drained())
                    continue;
                s->state = STATE_STOPPED;
                s->ended = true;
                // No allocation here: calls beyond the reserved room are dropped.
                for (const Sync& sync : s->syncs)
                    if (calls_.size() < calls_.capacity())
                        calls_.push_back({sync, handle});
                std::erase_if(s->syncs, [](const Sync& sync) { return sync.once; });
            }
        }
        for (const PendingCall& c : calls_)
            c.sync.proc(c.sync.handle, c.stream, 0, c.sync.user);
        for (size_t i = 0; i < samples; ++i)
            out[i] = std::clamp(out[i], -1.0f, 1.0f);
    }

    uint32_t rate_ = kDefaultRate;
    int channels_ = 2;
    bool subsystemUp_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::mutex table_; // streams_ and every Stream in it
    std::map<StreamHandle, std::unique_ptr<Stream>> streams_;
    // Held by the output thread while it mixes and calls end procedures
    // (which may free streams: hence recursive), and briefly by remove().
    // Always taken before table_ or alone.
    std::recursive_mutex dispatch_;
    std::vector<PendingCall> calls_; // output thread only
};

// g_lifeMutex orders audioInit and audioRelease; g_engineMutex guards only the
// pointer, so an end procedure on the output thread never waits for an
// output being opened or closed.
std::mutex g_lifeMutex;
std::mutex g_engineMutex;
std::shared_ptr<Engine> g_engine;

// The current engine; a caller keeps it alive while it uses it.
std::shared_ptr<Engine> engine()
{
    std::lock_guard lock(g_engineMutex);
    return g_engine;
}

} // namespace

bool audioInit(int device, uint32_t rate, uint32_t /*flags*/, void* /*window*/, void* /*clsid*/)
{
    std::lock_guard life(g_lifeMutex);
    if (engine())
        return false;
    auto e = std::make_shared<Engine>();
    if (!e->open(device, rate))
        return false;
    std::lock_guard lock(g_engineMutex);
    g_engine = std::move(e);
    return true;
}

bool audioRelease()
{
    std::lock_guard life(g_lifeMutex);
    std::shared_ptr<Engine> e;
    {
        std::lock_guard lock(g_engineMutex);
        e.swap(g_engine);
    }
    if (!e)
        return false;
    e->shutdown();
    return true;
}

StreamHandle audioOpenFile(bool fromMemory, const char* path, uint64_t offset, uint64_t length,
                           uint32_t /*flags*/)
{
    auto e = engine();
    if (!e || !path)
        return 0;
    auto source = std::make_shared<Source>();
    source->fromMemory = fromMemory;
    if (fromMemory) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(path);
        source->bytes.assign(bytes, bytes + length);
    } else {
        source->path = path;
        source->offset = offset;
        source->length = length;
    }
    auto decoder = Decoder::start(source, e->rate(), e->channels());
    if (!decoder)
        return 0;
    auto stream = std::make_unique<Stream>();
    stream->source = std::move(source);
    stream->decoder = std::move(decoder);
    return e->add(std::move(stream));
}

SyncHandle audioOnEnd(StreamHandle s, uint32_t type, uint64_t /*param*/, EndProc proc, void* user)
{
    auto e = engine();
    if (!e || !proc || (type & ~SYNC_ONETIME) != SYNC_END)
        return 0;
    const SyncHandle h = nextHandle();
    const bool known = e->with(s, [&](Stream& stream) {
        stream.syncs.push_back({h, (type & SYNC_ONETIME) != 0, proc, user});
    });
    return known ? h : 0;
}

bool audioPlay(StreamHandle s, bool restart)
{
    auto e = engine();
    if (!e)
        return false;
    std::shared_ptr<const Source> reopen;
    bool known = e->with(s, [&](Stream& stream) {
        if (restart || stream.ended)
            reopen = stream.source;
        else
            stream.state = STATE_PLAYING;
    });
    if (!known || !reopen)
        return known;
    // From the beginning: a fresh decoder, opened outside the table lock so
    // the output goes on meanwhile.
    auto fresh = Decoder::start(reopen, e->rate(), e->channels());
    if (!fresh)
        return false;
    known = e->with(s, [&](Stream& stream) {
        std::swap(stream.decoder, fresh);
        stream.ended = false;
        stream.state = STATE_PLAYING;
    });
    return known; // fresh now holds the old decoder and stops it here
}

uint32_t audioState(StreamHandle s)
{
    uint32_t state = STATE_STOPPED;
    if (auto e = engine())
        e->with(s, [&](Stream& stream) { state = stream.state; });
    return state;
}

bool audioPause(StreamHandle s)
{
    bool paused = false;
    if (auto e = engine())
        e->with(s, [&](Stream& stream) {
            if (stream.state == STATE_PLAYING) {
                stream.state = STATE_PAUSED;
                paused = true;
            }
        });
    return paused;
}

bool audioFree(StreamHandle s)
{
    auto e = engine();
    return e && e->remove(s) != nullptr; // the stream and its decoder thread end here
}

uint64_t audioPositionBytes(StreamHandle s)
{
    uint64_t pos = POSITION_INVALID;
    if (auto e = engine())
        e->with(s, [&](Stream& stream) { pos = stream.decoder->playedBytes(); });
    return pos;
}

float audioBytesToSeconds(StreamHandle s, uint64_t bytes)
{
    double rate = 0;
    if (auto e = engine())
        e->with(s, [&](Stream& stream) { rate = stream.decoder->byteRate(); });
    return rate > 0 ? float(double(bytes) / rate) : -1.0f;
}

} // namespace audio
