// player.m3u text: reading and writing again is stable after one round, and a
// list whose entries hold no CR or LF comes back from its text unchanged.
#include "playlistfile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // As a file's content.
    const playlist::Entries read = playlist::parse(text);
    const std::string written = playlist::format(read);
    require(playlist::format(playlist::parse(written)) == written, "write(read(x)) not stable");
    require(playlist::parse(written) == read, "read(write(read(x))) differs from read(x)");
    for (const std::string& e : read)
        require(e.find_first_of("\r\n") == std::string::npos, "an entry holds a line end");
    size_t lineEnds = 0;
    for (char c : written)
        lineEnds += c == '\n';
    require(lineEnds == read.size(), "not one CR LF per entry");

    // As a list: entries split at 0x00, which a path cannot hold anyway; CR and
    // LF cannot be written into an entry and are left out.
    playlist::Entries list;
    if (size > 0) {
        list.emplace_back();
        for (char c : text) {
            if (c == '\0')
                list.emplace_back();
            else if (c != '\r' && c != '\n')
                list.back() += c;
        }
    }
    require(playlist::parse(playlist::format(list)) == list, "read(write(list)) != list");
    return 0;
}
