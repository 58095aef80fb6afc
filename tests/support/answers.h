// Answers every message box and open dialog of a test: messages are recorded
// with the screen cursor they were shown under, dialogs take the next queued
// file (nullopt = the user cancels).
#pragma once

#include "cursor.h"
#include "message.h"
#include "opendialog.h"

#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

namespace testsupport {

class Answers {
public:
    Answers()
    {
        gui::setMessageHandler([this](const QString& text) {
            messages << text;
            messageCursors.push_back(gui::screenCursor());
        });
        gui::setOpenDialogScript([this](const gui::OpenDialog&) -> std::optional<QString> {
            ++dialogs;
            cursorAtDialog = gui::screenCursor();
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
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;

    QStringList messages;
    std::vector<gui::Cursor> messageCursors;
    std::deque<std::optional<QString>> files;
    int dialogs = 0;
    std::optional<gui::Cursor> cursorAtDialog;
};

} // namespace testsupport
