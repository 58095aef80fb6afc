// AudioPlayer: plays the playlist one track at a time. It knows the playlist
// and the window only through the four callbacks it is given, keeps the index
// of the current track and the current stream, and moves on by itself when a
// track has played to its end.
//
// Create, use and destroy it on the GUI thread (a QCoreApplication exists): the
// end of a track is reported on the audio thread and acted on in the GUI
// thread's event loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class QObject;

class AudioPlayer {
public:
    using GetTrackCount = int32_t (*)();
    using GetTrackPath = std::string (*)(int32_t index); // 8-bit path bytes, unchanged
    using ShowTrackName = void (*)(const std::string& name);
    using ShowPlaying = void (*)(bool playing);

    // Opens the audio output.
    AudioPlayer(GetTrackCount getTrackCount, GetTrackPath getTrackPath, ShowTrackName showTrackName,
                ShowPlaying showPlaying);
    // Releases the audio output, which frees the stream.
    virtual ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Pauses, resumes, or starts the current track from its beginning.
    void togglePlay();
    // Plays entry index (0 when negative); an index past the list only stops.
    void selectTrack(int32_t index);
    void previousTrack();
    void nextTrack();
    // Whole seconds played, truncated; -1 or less without a stream.
    int32_t positionSeconds();
    // Starts entry currentTrack from its beginning and shows its name; shows
    // an empty name when currentTrack lies past the list.
    void playCurrent();
    // Frees the stream, reporting showPlaying(false) when there was one.
    void stop();
    // Registered with the audio library for the end of each stream; runs on
    // the audio thread and hands the advance to the GUI thread.
    static void trackEndSync(uint32_t sync, uint32_t channel, uint32_t data, void* user);

    uint32_t stream = 0;
    int32_t currentTrack = 0;
    GetTrackCount getTrackCount;
    GetTrackPath getTrackPath;
    ShowTrackName showTrackName;
    ShowPlaying showPlaying;

private:
    // GUI thread: the stream that ended, unless the user has moved on since.
    void trackEnded(uint32_t endedStream);

    // Receives the queued end-of-track calls; events still queued for it are
    // dropped when it goes, together with the player.
    std::unique_ptr<QObject> endReceiver;
};
