// Texts between the player and the board: the board's display takes 8-bit
// characters, paths are the file system's bytes.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace boardtext {

// Path bytes for showing: UTF-8 where they are valid, else Latin-1.
QString fromBytes(const std::string& bytes);
// One byte per character; characters outside Latin-1 become '?'.
std::string toLatin1(const QString& text);
// Play time as the display shows it: "mm:ss" (more minute digits from 100
// minutes on), "--:--" when there is no position.
QString playTime(int32_t seconds);

} // namespace boardtext
