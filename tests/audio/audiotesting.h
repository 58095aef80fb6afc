// Shared by the audio tests: fixture paths, output driver choice, waiting.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace audiotesting {

inline std::string fixture(const std::string& name)
{
    return std::string(AUDIO_FIXTURE_DIR) + "/" + name;
}

// The output the next audioInit opens. The variables are read when the output
// opens, so each test chooses its own.
inline void useDummyOutput()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Played out as fast as the machine goes, into nothing: for tests that only
// need streams to end.
inline void useFastOutput()
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

// Real-time output captured as raw float32 stereo frames in file.
inline void useCapturedOutput(const std::string& file)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    unsetenv("SDL_DISKAUDIODELAY");
}

// Polls cond every millisecond, calling idle() between polls; false on timeout.
inline bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout,
                      const std::function<void()>& idle = {})
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (idle)
            idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::vector<char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder of its own per test process, removed with the object.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "audiotest-XXXXXX").string();
        path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace audiotesting
