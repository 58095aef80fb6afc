// The audio library against real MP3 fixtures and SDL's dummy and disk outputs.
#include "audiolib.h"
#include "audiotesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

using namespace audio;
using namespace audiotesting;
using namespace std::chrono_literals;

namespace {

// Byte rates of the fixtures' decoded 16-bit PCM.
constexpr uint64_t kStereo44kBytesPerSecond = 44100 * 2 * 2;
constexpr uint64_t kMono22kBytesPerSecond = 22050 * 1 * 2;
// tone440.mp3: 2.0 s; tone660_22k_mono.mp3: 1.7 s.
constexpr uint64_t kTone440Bytes = 2 * kStereo44kBytesPerSecond;
constexpr uint64_t kTone660Bytes = 37485 * 2;

// What end procedures saw.
struct EndLog {
    std::mutex mutex;
    std::vector<uint32_t> streams;
    std::vector<uint32_t> data;
    std::vector<std::thread::id> threads;
    std::atomic<int> calls{0};
};

void recordEnd(uint32_t, uint32_t stream, uint32_t data, void* user)
{
    auto* log = static_cast<EndLog*>(user);
    std::lock_guard lock(log->mutex);
    log->streams.push_back(stream);
    log->data.push_back(data);
    log->threads.push_back(std::this_thread::get_id());
    log->calls.fetch_add(1);
}

// Every test starts and ends without an output.
class AudioLib : public ::testing::Test {
protected:
    void TearDown() override { audioRelease(); }
};

TEST_F(AudioLib, OutputOpensOnceAndClosesOnce)
{
    useDummyOutput();
    EXPECT_FALSE(audioRelease());
    EXPECT_EQ(audioOpenFile(false, fixture("tone440.mp3").c_str(), 0, 0, 0), 0u)
        << "a stream needs an open output";
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(audioInit(1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(audioRelease());
    EXPECT_FALSE(audioRelease());
}

// Without any usable output the silent one takes over and streams still play.
TEST_F(AudioLib, FallsBackToSilentOutputWhenNoOutputOpens)
{
    setenv("SDL_AUDIODRIVER", "geen-stuurprogramma", 1);
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture("tone440.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    ASSERT_TRUE(audioPlay(s, false));
    EXPECT_TRUE(waitUntil([&] { return audioPositionBytes(s) > 0; }, 3s));
    EXPECT_EQ(audioState(s), STATE_PLAYING);
}

struct CaptureCase {
    const char* file;
    double frequency;
    size_t outputFrames; // at 44.1 kHz
};

void PrintTo(const CaptureCase& c, std::ostream* os)
{
    *os << c.file;
}

// "tone440.mp3" -> "tone440".
template <typename Info> std::string fileStem(const Info& info)
{
    const std::string name = info.param.file;
    return name.substr(0, name.find('.'));
}

class Capture : public AudioLib, public ::testing::WithParamInterface<CaptureCase> {};

// The disk output records what the device got: the tone at its pitch (so any
// source rate plays at the right speed), for the source's whole length, on
// both channels.
TEST_P(Capture, OutputHasTheTonesPitchAndLength)
{
    const CaptureCase& c = GetParam();
    TempDir dir;
    const std::string raw = dir.file("output.raw");
    useCapturedOutput(raw);
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture(c.file).c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    EndLog ended;
    ASSERT_NE(audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &ended), 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(waitUntil([&] { return ended.calls > 0; }, 10s));
    // The end comes as the last frames are handed to the device, which writes
    // them one step (23 ms) later.
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(audioRelease()); // closes the capture file

    const std::vector<char> bytes = readFile(raw);
    std::vector<float> pcm(bytes.size() / sizeof(float));
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * sizeof(float));
    const size_t frames = pcm.size() / 2;
    // Silence surrounds the tone: before play and after the end.
    size_t first = 0;
    while (first < frames && std::fabs(pcm[2 * first]) < 1e-3f)
        ++first;
    size_t last = frames;
    while (last > first && std::fabs(pcm[2 * (last - 1)]) < 1e-3f)
        --last;
    ASSERT_GT(last, first) << "nothing audible captured";
    const size_t length = last - first;
    EXPECT_NEAR(double(length), double(c.outputFrames), 44.0) << "1 ms either way";

    size_t rising = 0;
    for (size_t i = first + 1; i < last; ++i) {
        if (pcm[2 * (i - 1)] < 0 && pcm[2 * i] >= 0)
            ++rising;
        ASSERT_EQ(pcm[2 * i], pcm[2 * i + 1]) << "channels differ at frame " << i;
    }
    const double measured = double(rising) * 44100.0 / double(length);
    EXPECT_NEAR(measured, c.frequency, c.frequency * 0.01);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Capture,
                         ::testing::Values(CaptureCase{"tone440.mp3", 440.0, 88200},
                                           CaptureCase{"tone660_22k_mono.mp3", 660.0, 74970}),
                         fileStem<::testing::TestParamInfo<CaptureCase>>);

// The position is what the output has played, not what was decoded ahead (a
// second is decoded before the first frame plays), and a pause holds it.
TEST_F(AudioLib, PositionCountsPlayedAudioAndPauseKeepsIt)
{
    useDummyOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture("tone440.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(audioState(s), STATE_STOPPED);
    EXPECT_EQ(audioPositionBytes(s), 0u);
    EXPECT_FLOAT_EQ(audioBytesToSeconds(s, kStereo44kBytesPerSecond), 1.0f);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(audioPlay(s, false));
    EXPECT_EQ(audioState(s), STATE_PLAYING);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(audioPause(s));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(audioState(s), STATE_PAUSED);
    EXPECT_FALSE(audioPause(s)) << "already paused";
    const uint64_t p = audioPositionBytes(s);
    EXPECT_GT(p, 0u);
    // The output hands out 23 ms a step; allow two steps beyond the wall clock.
    EXPECT_LE(double(p), (elapsed + 0.05) * kStereo44kBytesPerSecond);
    EXPECT_EQ(p % 4, 0u) << "whole stereo frames";

    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(audioPositionBytes(s), p);
    ASSERT_TRUE(audioPlay(s, false));
    EXPECT_EQ(audioState(s), STATE_PLAYING);
    EXPECT_TRUE(waitUntil([&] { return audioPositionBytes(s) > p; }, 2s));
    EXPECT_LT(audioPositionBytes(s), p + kStereo44kBytesPerSecond) << "went on from p";
}

struct EndCase {
    const char* file;
    uint64_t bytes;
    float seconds;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.file;
}

class End : public AudioLib, public ::testing::WithParamInterface<EndCase> {};

// At the end the position is the whole decoded length (no encoder padding), and
// a one-time end procedure has been called once, on the output thread.
TEST_P(End, ReportedOnceOnTheOutputThreadAtFullLength)
{
    const EndCase& c = GetParam();
    useFastOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture(c.file).c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    EndLog ended;
    const SyncHandle sync = audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &ended);
    ASSERT_NE(sync, 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(waitUntil([&] { return ended.calls > 0; }, 10s));
    std::this_thread::sleep_for(50ms); // room for a wrong second call
    std::lock_guard lock(ended.mutex);
    ASSERT_EQ(ended.calls, 1);
    EXPECT_EQ(ended.streams[0], s);
    EXPECT_EQ(ended.data[0], 0u);
    EXPECT_NE(ended.threads[0], std::this_thread::get_id());
    EXPECT_EQ(audioState(s), STATE_STOPPED);
    EXPECT_EQ(audioPositionBytes(s), c.bytes);
    EXPECT_FLOAT_EQ(audioBytesToSeconds(s, audioPositionBytes(s)), c.seconds);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, End,
                         ::testing::Values(EndCase{"tone440.mp3", kTone440Bytes, 2.0f},
                                           EndCase{"tone660_22k_mono.mp3", kTone660Bytes, 1.7f}),
                         fileStem<::testing::TestParamInfo<EndCase>>);

// Play after the end starts from the beginning; a one-time registration is
// spent, a lasting one reports the second end too.
TEST_F(AudioLib, PlayAfterEndStartsAgain)
{
    // At the real pace: played out at full speed, the short track can end
    // again before the position after the restart is read.
    useDummyOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture("short.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    EndLog once;
    EndLog every;
    ASSERT_NE(audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &once), 0u);
    ASSERT_NE(audioOnEnd(s, SYNC_END, 0, &recordEnd, &every), 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(waitUntil([&] { return every.calls == 1; }, 5s));
    const uint64_t full = audioPositionBytes(s);

    ASSERT_TRUE(audioPlay(s, false));
    EXPECT_LT(audioPositionBytes(s), full);
    ASSERT_TRUE(waitUntil([&] { return every.calls == 2; }, 5s));
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(audioPositionBytes(s), full);
}

TEST_F(AudioLib, RestartWhilePausedGoesBackToTheBeginning)
{
    useDummyOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture("tone440.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(
        waitUntil([&] { return audioPositionBytes(s) > kStereo44kBytesPerSecond / 5; }, 3s));
    ASSERT_TRUE(audioPause(s));
    ASSERT_TRUE(audioPlay(s, true));
    EXPECT_EQ(audioState(s), STATE_PLAYING);
    EXPECT_LT(audioPositionBytes(s), kStereo44kBytesPerSecond / 10);
}

struct BadCase {
    const char* file;
    bool opens; // holds some audio before the damage
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.file;
}

class BadSource : public AudioLib, public ::testing::WithParamInterface<BadCase> {};

// Damaged or foreign files give no stream, or one that plays what there is and
// ends; nothing hangs or crashes.
TEST_P(BadSource, GivesNoStreamOrOneThatEnds)
{
    const BadCase& c = GetParam();
    useFastOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture(c.file).c_str(), 0, 0, 0);
    if (!c.opens) {
        EXPECT_EQ(s, 0u);
        EXPECT_EQ(audioState(s), STATE_STOPPED);
        EXPECT_LE(audioBytesToSeconds(s, audioPositionBytes(s)), -1.0f);
        return;
    }
    ASSERT_NE(s, 0u);
    EndLog ended;
    ASSERT_NE(audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &ended), 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(waitUntil([&] { return ended.calls > 0; }, 10s));
    EXPECT_GT(audioPositionBytes(s), 0u);
    EXPECT_LT(audioPositionBytes(s), kTone440Bytes);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BadSource,
                         ::testing::Values(BadCase{"missing.mp3", false},
                                           BadCase{"empty.mp3", false}, BadCase{"text.mp3", false},
                                           BadCase{"random.mp3", false},
                                           BadCase{"truncated_first_frame.mp3", false},
                                           BadCase{"truncated.mp3", true}),
                         fileStem<::testing::TestParamInfo<BadCase>>);

uint64_t playToEnd(StreamHandle s)
{
    EndLog ended;
    if (audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &ended) == 0 || !audioPlay(s, false) ||
        !waitUntil([&] { return ended.calls > 0; }, 10s))
        return 0;
    return audioPositionBytes(s);
}

// A copy in memory decodes like the file; a byte range of the file stops at
// its end.
TEST_F(AudioLib, MemoryAndFileRangeSources)
{
    useFastOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    std::vector<char> bytes = readFile(fixture("tone440.mp3"));
    ASSERT_FALSE(bytes.empty());

    const StreamHandle mem = audioOpenFile(true, bytes.data(), 0, bytes.size(), 0);
    ASSERT_NE(mem, 0u);
    std::fill(bytes.begin(), bytes.end(), 0); // the stream holds its own copy
    EXPECT_EQ(playToEnd(mem), kTone440Bytes);

    const std::string path = fixture("tone440.mp3");
    const StreamHandle half = audioOpenFile(false, path.c_str(), 0, bytes.size() / 2, 0);
    ASSERT_NE(half, 0u);
    const uint64_t halfBytes = playToEnd(half);
    EXPECT_GT(halfBytes, kTone440Bytes / 3);
    EXPECT_LT(halfBytes, kTone440Bytes * 2 / 3);

    EXPECT_EQ(audioOpenFile(false, path.c_str(), bytes.size(), 0, 0), 0u) << "past the end";
    EXPECT_EQ(audioOpenFile(true, bytes.data(), 0, 0, 0), 0u) << "no bytes";
}

// The player tells a stale end from the current one by handle: a freed handle
// must never name a later stream, also across a new output.
TEST_F(AudioLib, FreedHandleNamesNoStream)
{
    useDummyOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const std::string path = fixture("tone440.mp3");
    const StreamHandle a = audioOpenFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(a, 0u);
    ASSERT_TRUE(audioPlay(a, false));
    EXPECT_TRUE(audioFree(a));
    EXPECT_FALSE(audioFree(a));
    const StreamHandle b = audioOpenFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(b, 0u);
    EXPECT_NE(b, a);
    EndLog ended;
    EXPECT_EQ(audioState(a), STATE_STOPPED);
    EXPECT_FALSE(audioPlay(a, false));
    EXPECT_FALSE(audioPause(a));
    EXPECT_EQ(audioPositionBytes(a), POSITION_INVALID);
    EXPECT_EQ(audioBytesToSeconds(a, 1000), -1.0f);
    EXPECT_EQ(audioOnEnd(a, SYNC_END_ONCE, 0, &recordEnd, &ended), 0u);

    ASSERT_TRUE(audioRelease());
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle c = audioOpenFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(c, 0u);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_EQ(audioState(b), STATE_STOPPED);
    EXPECT_EQ(audioPositionBytes(b), POSITION_INVALID);
}

void freeEndedStream(uint32_t, uint32_t stream, uint32_t, void* user)
{
    static_cast<std::atomic<int>*>(user)->store(audioFree(stream) ? 1 : -1);
}

// An end procedure may free its stream from the output thread.
TEST_F(AudioLib, EndProcedureMayFreeItsStream)
{
    useFastOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    const StreamHandle s = audioOpenFile(false, fixture("short.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    std::atomic<int> freed{0};
    ASSERT_NE(audioOnEnd(s, SYNC_END_ONCE, 0, &freeEndedStream, &freed), 0u);
    ASSERT_TRUE(audioPlay(s, false));
    ASSERT_TRUE(waitUntil([&] { return freed != 0; }, 5s));
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(audioPositionBytes(s), POSITION_INVALID);
}

// Freeing while the end may be reported at the same moment: after audioFree
// returns, the stream's end procedure neither runs nor will run.
TEST_F(AudioLib, NoEndProcedureAfterFreeReturns)
{
    useFastOutput();
    ASSERT_TRUE(audioInit(1, 44100, 0, nullptr, nullptr));
    for (int round = 0; round < 20; ++round) {
        const StreamHandle s = audioOpenFile(false, fixture("short.mp3").c_str(), 0, 0, 0);
        ASSERT_NE(s, 0u);
        EndLog ended;
        ASSERT_NE(audioOnEnd(s, SYNC_END_ONCE, 0, &recordEnd, &ended), 0u);
        ASSERT_TRUE(audioPlay(s, false));
        std::this_thread::sleep_for(std::chrono::microseconds(500 * round));
        ASSERT_TRUE(audioFree(s));
        const int seen = ended.calls;
        std::this_thread::sleep_for(5ms);
        EXPECT_EQ(ended.calls, seen) << "round " << round; // ended lives on the stack
    }
}

} // namespace
