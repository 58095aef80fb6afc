#include "unitaudioplayer.h"

#include "audiolib.h"

#include <QMetaObject>
#include <QObject>

namespace {

// Output device 1, the system's default output, at 44.1 kHz.
constexpr int kOutputDevice = 1;
constexpr uint32_t kOutputRate = 44100;

// The file-name part of a path: what follows the last '/'.
std::string fileNamePart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

AudioPlayer::AudioPlayer(GetTrackCount getTrackCount, GetTrackPath getTrackPath,
                         ShowTrackName showTrackName, ShowPlaying showPlaying)
    : getTrackCount(getTrackCount), getTrackPath(getTrackPath), showTrackName(showTrackName),
      showPlaying(showPlaying), endReceiver(std::make_unique<QObject>())
{
    audio::audioInit(kOutputDevice, kOutputRate, 0, nullptr, nullptr);
}

// Releasing the output waits for the audio thread, so no end-of-track call
// can reach endReceiver once it is destroyed.
AudioPlayer::~AudioPlayer()
{
    audio::audioRelease();
}

void AudioPlayer::togglePlay()
{
    switch (audio::audioState(stream)) {
    case audio::STATE_PLAYING:
        showPlaying(false);
        audio::audioPause(stream);
        break;
    case audio::STATE_PAUSED:
        showPlaying(true);
        audio::audioPlay(stream, false);
        break;
    default:
        playCurrent();
        break;
    }
}

void AudioPlayer::selectTrack(int32_t index)
{
    if (index < 0)
        index = 0;
    if (index >= getTrackCount()) {
        stop();
        return;
    }
    currentTrack = index;
    playCurrent();
}

void AudioPlayer::previousTrack()
{
    selectTrack(currentTrack - 1);
}

void AudioPlayer::nextTrack()
{
    selectTrack(currentTrack + 1);
}

int32_t AudioPlayer::positionSeconds()
{
    const float seconds = audio::audioBytesToSeconds(stream, audio::audioPositionBytes(stream));
    return static_cast<int32_t>(seconds); // truncates: 59.9 s is 59
}

void AudioPlayer::playCurrent()
{
    std::string path;
    if (currentTrack < getTrackCount()) {
        path = getTrackPath(currentTrack);
        stop();
        stream = audio::audioOpenFile(false, path.c_str(), 0, 0, 0);
        // A track that does not open is not reported as playing; the player
        // stays idle on it, so Play tries it again.
        if (stream != 0) {
            audio::audioOnEnd(stream, audio::SYNC_END_ONCE, 0, &AudioPlayer::trackEndSync, this);
            audio::audioPlay(stream, false);
            showPlaying(true);
        }
    }
    showTrackName(fileNamePart(path));
}

void AudioPlayer::stop()
{
    if (stream == 0)
        return;
    showPlaying(false);
    audio::audioFree(stream);
    stream = 0;
}

void AudioPlayer::trackEndSync(uint32_t /*sync*/, uint32_t channel, uint32_t /*data*/, void* user)
{
    auto* self = static_cast<AudioPlayer*>(user);
    QMetaObject::invokeMethod(
        self->endReceiver.get(), [self, channel] { self->trackEnded(channel); },
        Qt::QueuedConnection);
}

void AudioPlayer::trackEnded(uint32_t endedStream)
{
    if (endedStream != 0 && endedStream == stream)
        nextTrack();
}
