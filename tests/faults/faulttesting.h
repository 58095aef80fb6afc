// Shared pieces of the fault runs: a player window on a virtual board, and a
// player program of its own in a folder of its own.
#pragma once

#include "playeronboard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace faulttest {

using playertest::Answers;
using playertest::ProgramFolder;
using playertest::waitUntil;
using testsupport::SimBoard;

// Waits without serving the GUI thread's events, so a hand-off stays pending.
inline bool waitBlocked(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QThread::msleep(5);
    return done();
}

// A player window on a virtual board; faults can be armed before it opens.
struct PlayerRun : playertest::BoardWindow {
    bool readPending() { return board.state()["pendingReads"].toInt() == 1; }
    int openHandles() { return board.state()["openHandles"].toInt(); }
    void arm(const std::vector<std::string>& fault)
    {
        ASSERT_EQ(board.ctl(fault).exitCode, 0) << fault[1];
    }
    // The op's requests since seq: one text field of each, " failed" added where
    // the request failed.
    std::vector<std::string> requests(const std::string& op, const char* name, long since)
    {
        std::vector<std::string> out;
        for (const QJsonObject& e : board.events(op, 0, since))
            out.push_back(e[name].toString().toStdString() + (e["ok"].toBool() ? "" : " failed"));
        return out;
    }
    std::vector<bool> oks(const std::string& op, long since)
    {
        std::vector<bool> out;
        for (const QJsonObject& e : board.events(op, 0, since))
            out.push_back(e["ok"].toBool());
        return out;
    }
};

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The player program copied into a folder of its own, so that its player.m3u
// lies there; it reaches the given board.
class PlayerProgram {
public:
    explicit PlayerProgram(const SimBoard& board) : board_(board)
    {
        copied_ = QFile::copy(PLAYER_EXECUTABLE, folder_.programFile());
    }
    ~PlayerProgram()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool copied() const { return copied_; }
    QString playlistFile() const { return folder_.playlistFile(); }
    QString folder() const { return folder_.dir.path(); }
    QProcess& process() { return process_; }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("EXPBORD_DEVICE_DIR", QString::fromStdString(board_.dir()));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(folder_.programFile(), {});
        return process_.waitForStarted();
    }
    pid_t pid() const { return pid_t(process_.processId()); }

private:
    const SimBoard& board_;
    ProgramFolder folder_;
    QProcess process_;
    bool copied_ = false;
};

// Sends SIGTERM: the program ends normally within 1.5 s.
inline void endsQuicklyOnSigterm(PlayerProgram& player)
{
    QElapsedTimer t;
    t.start();
    ::kill(player.pid(), SIGTERM);
    ASSERT_TRUE(player.process().waitForFinished(5000));
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(player.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.process().exitCode(), 0);
}

} // namespace faulttest
