// AudioPlayer over the real audio library, with a playlist and window that only
// record what the player asks and reports.
#include "audiolib.h"
#include "audiotesting.h"
#include "unitaudioplayer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using namespace audiotesting;
using namespace std::chrono_literals;

namespace {

// The "window": the playlist the callbacks read and the calls they received.
std::vector<std::string> g_playlist;
std::vector<std::string> g_calls;

int32_t getTrackCount()
{
    return int32_t(g_playlist.size());
}

std::string getTrackPath(int32_t index)
{
    if (index < 0 || index >= getTrackCount()) {
        ADD_FAILURE() << "getTrackPath(" << index << ") with " << getTrackCount() << " entries";
        return {};
    }
    return g_playlist[size_t(index)];
}

void showTrackName(const std::string& name)
{
    g_calls.push_back("name " + name);
}

void showPlaying(bool playing)
{
    g_calls.push_back(playing ? "playing" : "stopped");
}

using Calls = std::vector<std::string>;

void processEvents()
{
    QCoreApplication::processEvents();
}

// Tracks are copies of the fixtures under names that tell them apart; x.mp3
// does not exist.
class Player : public ::testing::Test {
protected:
    void SetUp() override
    {
        useDummyOutput();
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            std::filesystem::copy_file(fixture("tone440.mp3"), dir.file(name));
        for (const char* name : {"s1.mp3", "s2.mp3"})
            std::filesystem::copy_file(fixture("short.mp3"), dir.file(name));
        g_playlist.clear();
        g_calls.clear();
    }
    void TearDown() override { g_playlist.clear(); }

    void setPlaylist(const std::vector<const char*>& names)
    {
        g_playlist.clear();
        for (const char* name : names)
            g_playlist.push_back(dir.file(name));
    }

    std::unique_ptr<AudioPlayer> newPlayer()
    {
        return std::make_unique<AudioPlayer>(&getTrackCount, &getTrackPath, &showTrackName,
                                             &showPlaying);
    }

    TempDir dir;
};

// As the audio library reports an end: from a thread of its own.
void reportEnd(AudioPlayer& player, uint32_t stream)
{
    std::thread([&] { AudioPlayer::trackEndSync(0, stream, 0, &player); }).join();
    processEvents();
}

enum class State { Idle, Playing, Paused };

const char* stateName(State s)
{
    return s == State::Idle ? "Idle" : s == State::Playing ? "Playing" : "Paused";
}

State stateOf(const AudioPlayer& p)
{
    if (p.stream == 0)
        return State::Idle;
    const uint32_t state = audio::audioState(p.stream);
    EXPECT_TRUE(state == audio::STATE_PLAYING || state == audio::STATE_PAUSED)
        << "a stream that neither plays nor pauses: " << state;
    return state == audio::STATE_PAUSED ? State::Paused : State::Playing;
}

struct Row {
    const char* name;
    std::vector<const char*> playlist;
    std::function<void(AudioPlayer&)> setup; // brings the player into `before`
    State before;
    std::function<void(AudioPlayer&)> operation;
    State after;
    Calls calls; // in order, from the operation only
    int32_t currentTrack;
};

// Operations, and the setups that bring the player into a state.
using Op = std::function<void(AudioPlayer&)>;
void idle(AudioPlayer&) {}
void play(AudioPlayer& p)
{
    p.togglePlay();
}
void next(AudioPlayer& p)
{
    p.nextTrack();
}
void previous(AudioPlayer& p)
{
    p.previousTrack();
}
void endOfTrack(AudioPlayer& p)
{
    reportEnd(p, p.stream);
}
Op select(int32_t i)
{
    return [i](AudioPlayer& p) { p.selectTrack(i); };
}
Op pausedOn(int32_t i)
{
    return [i](AudioPlayer& p) {
        p.selectTrack(i);
        p.togglePlay();
    };
}
// Entry 2 made current, then the list cut down to one entry.
void idlePastShortenedList(AudioPlayer& p)
{
    p.selectTrack(2);
    p.stop();
    g_playlist.resize(1);
}

constexpr State Idle = State::Idle;
constexpr State Playing = State::Playing;
constexpr State Paused = State::Paused;
const std::vector<const char*> ab = {"a.mp3", "b.mp3"};
const std::vector<const char*> abc = {"a.mp3", "b.mp3", "c.mp3"};
const std::vector<const char*> five = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "a.mp3"};
const std::vector<const char*> ax = {"a.mp3", "x.mp3"}; // x.mp3 does not open

// clang-format off
const Row kRows[] = {
    // name                        list  setup                  before   operation   after    calls                                   currentTrack
    {"IdlePlay",                   ab,   idle,                  Idle,    play,       Playing, {"playing", "name a.mp3"},                0},
    {"IdlePlayEmptyList",          {},   idle,                  Idle,    play,       Idle,    {"name "},                                0},
    {"IdlePlayPastShortenedList",  abc,  idlePastShortenedList, Idle,    play,       Idle,    {"name "},                                2},
    {"IdleSelect",                 ab,   idle,                  Idle,    select(1),  Playing, {"playing", "name b.mp3"},                1},
    {"IdleSelectNegative",         ab,   idle,                  Idle,    select(-3), Playing, {"playing", "name a.mp3"},                0},
    {"IdleSelectPastEnd",          ab,   idle,                  Idle,    select(2),  Idle,    {},                                       0},
    {"IdleSelectEmptyList",        {},   idle,                  Idle,    select(0),  Idle,    {},                                       0},
    {"PlayingPlay",                ab,   select(0),             Playing, play,       Paused,  {"stopped"},                              0},
    {"PlayingEnd",                 ab,   select(0),             Playing, endOfTrack, Playing, {"stopped", "playing", "name b.mp3"},     1},
    {"PlayingEndOfLast",           ab,   select(1),             Playing, endOfTrack, Idle,    {"stopped"},                              1},
    {"PlayingSelect",              abc,  select(0),             Playing, select(2),  Playing, {"stopped", "playing", "name c.mp3"},     2},
    {"PlayingSelectItself",        ab,   select(1),             Playing, select(1),  Playing, {"stopped", "playing", "name b.mp3"},     1},
    {"PlayingSelectPastEnd",       five, select(1),             Playing, select(11), Idle,    {"stopped"},                              1},
    {"PlayingNext",                ab,   select(0),             Playing, next,       Playing, {"stopped", "playing", "name b.mp3"},     1},
    {"PlayingNextOnLast",          ab,   select(1),             Playing, next,       Idle,    {"stopped"},                              1},
    {"PlayingPrevious",            ab,   select(1),             Playing, previous,   Playing, {"stopped", "playing", "name a.mp3"},     0},
    {"PlayingPreviousOnFirst",     ab,   select(0),             Playing, previous,   Playing, {"stopped", "playing", "name a.mp3"},     0},
    {"PausedPlay",                 ab,   pausedOn(0),           Paused,  play,       Playing, {"playing"},                              0},
    {"PausedSelect",               ab,   pausedOn(0),           Paused,  select(1),  Playing, {"stopped", "playing", "name b.mp3"},     1},
    {"PausedSelectPastEnd",        ab,   pausedOn(1),           Paused,  select(2),  Idle,    {"stopped"},                              1},
    // A track that does not open: its name is shown, nothing is reported as playing.
    {"IdleSelectMissing",          ax,   idle,                  Idle,    select(1),  Idle,    {"name x.mp3"},                           1},
    {"PlayingSelectMissing",       ax,   select(0),             Playing, select(1),  Idle,    {"stopped", "name x.mp3"},                1},
    {"MissingPlayTriesAgain",      ax,   select(1),             Idle,    play,       Idle,    {"name x.mp3"},                           1},
    {"MissingSelectPastEnd",       ax,   select(1),             Idle,    select(2),  Idle,    {},                                       1},
    {"MissingSelect",              ax,   select(1),             Idle,    select(0),  Playing, {"playing", "name a.mp3"},                0},
};
// clang-format on

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

class StateTable : public Player, public ::testing::WithParamInterface<Row> {};

TEST_P(StateTable, Operation)
{
    const Row& row = GetParam();
    setPlaylist(row.playlist);
    auto player = newPlayer();
    row.setup(*player);
    ASSERT_EQ(stateOf(*player), row.before) << stateName(stateOf(*player));
    g_calls.clear();
    row.operation(*player);
    processEvents();
    EXPECT_EQ(stateOf(*player), row.after) << stateName(stateOf(*player));
    EXPECT_EQ(g_calls, row.calls);
    EXPECT_EQ(player->currentTrack, row.currentTrack);
}

INSTANTIATE_TEST_SUITE_P(Rows, StateTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Play three times: playing, paused at p, playing again from p.
TEST_F(Player, PlayPauseResumeKeepsThePosition)
{
    setPlaylist({"a.mp3"});
    auto player = newPlayer();
    player->togglePlay();
    const uint32_t stream = player->stream;
    ASSERT_NE(stream, 0u);
    std::this_thread::sleep_for(300ms);
    player->togglePlay();
    const uint64_t p = audio::audioPositionBytes(stream);
    EXPECT_GT(p, 0u);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(audio::audioPositionBytes(stream), p);
    player->togglePlay();
    EXPECT_EQ(player->stream, stream);
    EXPECT_TRUE(waitUntil([&] { return audio::audioPositionBytes(stream) > p; }, 2s));
    EXPECT_EQ(g_calls, (Calls{"playing", "name a.mp3", "stopped", "playing"}));
}

// Real ends: each track ends and the next one starts, up to the last, which
// leaves the player idle on it; Play then starts it again from its beginning.
TEST_F(Player, PlaysThroughTheListAndStopsOnTheLastEntry)
{
    setPlaylist({"s1.mp3", "s2.mp3"});
    auto player = newPlayer();
    player->selectTrack(0);
    ASSERT_TRUE(waitUntil([&] { return g_calls.size() >= 6; }, 5s, processEvents))
        << g_calls.size();
    EXPECT_EQ(g_calls,
              (Calls{"playing", "name s1.mp3", "stopped", "playing", "name s2.mp3", "stopped"}));
    EXPECT_EQ(player->stream, 0u);
    EXPECT_EQ(player->currentTrack, 1);
    EXPECT_LE(player->positionSeconds(), -1);

    g_calls.clear();
    player->togglePlay();
    EXPECT_EQ(g_calls, (Calls{"playing", "name s2.mp3"}));
    ASSERT_NE(player->stream, 0u);
    EXPECT_LT(audio::audioPositionBytes(player->stream), 44100u * 4 / 10) << "from its beginning";
}

// The list is read afresh at the end: with the playing entry removed, the
// entry that moved into its place is skipped.
TEST_F(Player, RemovingThePlayingEntrySkipsTheNextOne)
{
    setPlaylist({"a.mp3", "s1.mp3", "b.mp3", "c.mp3"});
    auto player = newPlayer();
    player->selectTrack(1);
    g_playlist.erase(g_playlist.begin() + 1);
    g_calls.clear();
    ASSERT_TRUE(waitUntil([&] { return g_calls.size() >= 3; }, 5s, processEvents));
    EXPECT_EQ(g_calls, (Calls{"stopped", "playing", "name c.mp3"}));
    EXPECT_EQ(player->currentTrack, 2);
}

TEST_F(Player, RemovingThePlayingLastEntryStops)
{
    setPlaylist({"a.mp3", "s1.mp3"});
    auto player = newPlayer();
    player->selectTrack(1);
    g_playlist.pop_back();
    g_calls.clear();
    ASSERT_TRUE(waitUntil([&] { return !g_calls.empty(); }, 5s, processEvents));
    processEvents();
    EXPECT_EQ(g_calls, (Calls{"stopped"}));
    EXPECT_EQ(player->stream, 0u);
    EXPECT_EQ(player->currentTrack, 1);
}

// The end of a stream the user has already left behind changes nothing.
TEST_F(Player, EndOfAStreamNoLongerCurrentIsIgnored)
{
    setPlaylist({"a.mp3", "b.mp3", "c.mp3"});
    auto player = newPlayer();
    player->selectTrack(0);
    const uint32_t old = player->stream;
    player->selectTrack(1);
    g_calls.clear();
    reportEnd(*player, old);
    reportEnd(*player, 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(player->currentTrack, 1);
    EXPECT_EQ(stateOf(*player), State::Playing);
}

// A report still queued when the player goes reaches nobody.
TEST_F(Player, EndQueuedForADestroyedPlayerIsDropped)
{
    setPlaylist({"a.mp3", "b.mp3"});
    auto player = newPlayer();
    player->selectTrack(0);
    AudioPlayer::trackEndSync(0, player->stream, 0, player.get());
    player.reset();
    g_calls.clear();
    processEvents();
    EXPECT_TRUE(g_calls.empty());
}

// 1.7 s of 22.05 kHz mono is 74970 bytes: the position then reads 1, not 2.
TEST_F(Player, PositionTruncatesToWholeSeconds)
{
    useFastOutput();
    std::filesystem::copy_file(fixture("tone660_22k_mono.mp3"), dir.file("m.mp3"));
    setPlaylist({"m.mp3"});
    auto player = newPlayer();
    EXPECT_LE(player->positionSeconds(), -1) << "idle";
    player->selectTrack(0);
    const uint32_t stream = player->stream;
    ASSERT_NE(stream, 0u);
    // Ended, but the advance waits in the event queue: the stream is still there.
    ASSERT_TRUE(waitUntil([&] { return audio::audioState(stream) == audio::STATE_STOPPED; }, 10s));
    EXPECT_EQ(audio::audioPositionBytes(stream), 74970u);
    EXPECT_EQ(player->positionSeconds(), 1);
    // The state turns before the end is reported; the advance follows.
    ASSERT_TRUE(waitUntil([&] { return player->stream == 0; }, 5s, processEvents));
    EXPECT_LE(player->positionSeconds(), -1);
}

struct BadTrack {
    const char* fixture;
    const char* name;
};

void PrintTo(const BadTrack& c, std::ostream* os)
{
    *os << c.name;
}

class BadTrackFile : public Player, public ::testing::WithParamInterface<BadTrack> {};

// A file that holds no audio is shown by name but never reported as playing;
// Play tries it again.
TEST_P(BadTrackFile, IsShownButNotPlayed)
{
    const BadTrack& c = GetParam();
    if (std::string(c.fixture) != "-")
        std::filesystem::copy_file(fixture(c.fixture), dir.file(c.name));
    setPlaylist({c.name});
    auto player = newPlayer();
    player->selectTrack(0);
    player->togglePlay();
    processEvents();
    const std::string shown = std::string("name ") + c.name;
    EXPECT_EQ(g_calls, (Calls{shown, shown}));
    EXPECT_EQ(player->stream, 0u);
    EXPECT_EQ(player->currentTrack, 0);
    EXPECT_LE(player->positionSeconds(), -1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BadTrackFile,
                         ::testing::Values(BadTrack{"-", "missing.mp3"},
                                           BadTrack{"empty.mp3", "empty.mp3"},
                                           BadTrack{"text.mp3", "text.mp3"},
                                           BadTrack{"random.mp3", "random.mp3"},
                                           BadTrack{"truncated_first_frame.mp3", "header.mp3"}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             return name.substr(0, name.find('.'));
                         });

// A file cut off in the middle plays what it holds and then moves on.
TEST_F(Player, TruncatedTrackPlaysItsPartAndMovesOn)
{
    useFastOutput();
    std::filesystem::copy_file(fixture("truncated.mp3"), dir.file("cut.mp3"));
    setPlaylist({"cut.mp3", "a.mp3"});
    auto player = newPlayer();
    player->selectTrack(0);
    ASSERT_TRUE(waitUntil([&] { return player->currentTrack == 1; }, 10s, processEvents));
    EXPECT_EQ(g_calls, (Calls{"playing", "name cut.mp3", "stopped", "playing", "name a.mp3"}));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
