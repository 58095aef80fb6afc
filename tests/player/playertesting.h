// Shared helpers for the player window tests: answered messages and dialogs,
// a program folder of its own for each window.
#pragma once

#include "answers.h"
#include "unitplayer.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace playertest {

using testsupport::Answers;

// No virtual board serves this folder, so every open fails.
struct NoBoard {
    QTemporaryDir dir;
    NoBoard() { qputenv("EXPBORD_DEVICE_DIR", dir.path().toUtf8()); }
    ~NoBoard() { qunsetenv("EXPBORD_DEVICE_DIR"); }
};

// A folder standing in for the program's folder, holding player.m3u.
struct ProgramFolder {
    QTemporaryDir dir;
    QString programFile() const { return dir.filePath("player"); }
    QString playlistFile() const { return dir.filePath("player.m3u"); }
    std::unique_ptr<TformPlayer> open(QStringList extra = {}) const
    {
        return std::make_unique<TformPlayer>(QStringList{programFile()} + extra);
    }
};

} // namespace playertest
