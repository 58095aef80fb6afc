// A player window on a virtual board, for the keyboard-path tests and the
// fault runs.
#pragma once

#include "playertesting.h"
#include "simboard.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace playertest {

// Serves the GUI thread's events until done() holds or ms pass.
inline bool waitUntil(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

// Closes the window and says how long its shutdown took, in ms.
inline qint64 closeTimed(std::unique_ptr<TformPlayer>& window)
{
    QElapsedTimer t;
    t.start();
    window.reset();
    return t.elapsed();
}

struct BoardWindow {
    testsupport::SimBoard board;
    Answers answers;
    ProgramFolder folder;
    std::unique_ptr<TformPlayer> window;

    void open() { window = folder.open(); }
    qint64 close() { return closeTimed(window); }
    // The op's events since seq, with one field each.
    std::vector<std::string> field(const std::string& op, const char* name, long since)
    {
        std::vector<std::string> out;
        for (const QJsonObject& e : board.events(op, 0, since))
            out.push_back(e[name].toString().toStdString());
        return out;
    }
};

} // namespace playertest
