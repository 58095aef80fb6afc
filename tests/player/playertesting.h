// Shared helpers for the player window tests: answered messages and dialogs,
// a program folder of its own for each window.
#pragma once

#include "message.h"
#include "opendialog.h"
#include "unitplayer.h"

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

namespace playertest {

// Records every message and answers every open dialog from a queue.
class Answers {
public:
    Answers()
    {
        gui::setMessageHandler([this](const QString& text) { messages << text; });
        gui::setOpenDialogScript([this](const gui::OpenDialog&) -> std::optional<QString> {
            if (files.empty())
                return std::nullopt;
            std::optional<QString> f = files.front();
            files.pop_front();
            return f;
        });
    }
    ~Answers()
    {
        gui::setMessageHandler(nullptr);
        gui::setOpenDialogScript(nullptr);
    }
    QStringList messages;
    // nullopt = the user cancels.
    std::deque<std::optional<QString>> files;
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
