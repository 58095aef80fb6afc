// player.m3u: one entry per line, each line ending in CR LF, 8-bit text kept
// byte for byte; no header, no comments, nothing trimmed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace playlist {

using Entries = std::vector<std::string>;

// A line ends at CR LF, a lone CR, a lone LF or the end of the text; a line
// end at the very end adds no further entry.
Entries parse(std::string_view text);
std::string format(const Entries& entries);

enum class LoadResult { Loaded, Missing, Unreadable };
LoadResult load(const std::string& path, Entries& entries);

// Writes a temporary file beside path, then renames it over path, so an
// interrupted or failed save never leaves a truncated playlist.
bool save(const std::string& path, const Entries& entries);

} // namespace playlist
