// Our audio library: MP3 streams decoded by libmpg123 and played through one
// SDL2 output device. One function per operation the player needs.
//
// Threads: every function may be called from any thread. End procedures are
// called on the output (SDL audio) thread; they may call any function here
// except audioInit and audioRelease. After audioFree(s) returns, no end
// procedure of s is running or will run.
#pragma once

#include <cstdint>

namespace audio {

// 32-bit stream handle, 0 = none. Handles count up and are not handed out
// again until 2^32 further streams were opened, so a freed handle never names
// a newer stream.
using StreamHandle = uint32_t;
// Handle of an end registration, 0 = none.
using SyncHandle = uint32_t;

// sync: the registration, stream: the stream that ended, data: always 0.
using EndProc = void (*)(uint32_t sync, uint32_t stream, uint32_t data, void* user);

// Registration types for audioOnEnd.
constexpr uint32_t SYNC_END = 2;
constexpr uint32_t SYNC_ONETIME = 0x80000000;
constexpr uint32_t SYNC_END_ONCE = SYNC_END | SYNC_ONETIME;

// Results of audioState.
constexpr uint32_t STATE_STOPPED = 0;
constexpr uint32_t STATE_PLAYING = 1;
constexpr uint32_t STATE_PAUSED = 3;

// audioPositionBytes of a handle that names no stream.
constexpr uint64_t POSITION_INVALID = UINT64_MAX;

// Opens the output at rate Hz (44100 when 0), stereo. device 0 asks for no
// sound (silent output paced in real time); any other number the system's
// default output. When no real output opens, the silent one is used. flags,
// window and clsid are accepted for the caller's convenience and not used.
// False when the output is open already or not even the silent one opens.
bool audioInit(int device, uint32_t rate, uint32_t flags, void* window, void* clsid);
// Frees every stream and closes the output. False when it was not open.
bool audioRelease();

// Opens an MP3 source as a stopped stream; 0 when the output is not open or the
// source holds no playable audio. From a file: path is a file name, offset the
// first byte, length the bytes from there (0 = to the end). From memory: path
// points at length bytes, copied before the call returns. flags: none yet.
// Waits until the first audio is decoded (on the stream's own thread).
StreamHandle audioOpenFile(bool fromMemory, const char* path, uint64_t offset, uint64_t length,
                           uint32_t flags);
// Calls proc when s has played to its end: once with SYNC_END_ONCE, at every end
// with SYNC_END. param is unused. 0 for an unknown stream, another type or no proc.
SyncHandle audioOnEnd(StreamHandle s, uint32_t type, uint64_t param, EndProc proc, void* user);
// Starts or resumes s; restart, or a stream that has ended, starts it again
// from its beginning. False for an unknown stream or a source that no longer opens.
bool audioPlay(StreamHandle s, bool restart);
// STATE_PLAYING, STATE_PAUSED, or STATE_STOPPED (also after the end and for
// an unknown handle).
uint32_t audioState(StreamHandle s);
// Pauses a playing stream; it keeps its position. False when s does not play.
bool audioPause(StreamHandle s);
bool audioFree(StreamHandle s);
// Bytes of the stream's decoded PCM (16-bit samples, its own rate and
// channels) that the output has played; after the end, all of them.
uint64_t audioPositionBytes(StreamHandle s);
// bytes / the stream's byte rate; -1 for an unknown stream.
float audioBytesToSeconds(StreamHandle s, uint64_t bytes);

} // namespace audio
