// The jog program as a process: a quit signal closes it the ordinary way, so
// its board handle is closed and it exits with 0, also while a box is open.
#include "jogtesting.h"

#include "simboard.h"

#include <QProcess>
#include <csignal>
#include <memory>

namespace {

std::unique_ptr<QProcess> startJog(const QString& deviceDir)
{
    auto jog = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("EXPBORD_DEVICE_DIR", deviceDir);
    jog->setProcessEnvironment(env);
    jog->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    jog->start(JOG_PROGRAM, {"0"});
    return jog;
}

void expectCleanExit(QProcess& jog)
{
    ASSERT_TRUE(jog.waitForFinished(5000)) << "still running";
    EXPECT_EQ(jog.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(jog.exitCode(), 0);
}

struct SignalCase {
    const char* name;
    int signal;
};

void PrintTo(const SignalCase& c, std::ostream* os)
{
    *os << c.name;
}

class QuitSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(QuitSignal, ClosesThePollingWindowAndItsHandle)
{
    testsupport::SimBoard board;
    auto jog = startJog(QString::fromStdString(board.dir()));
    ASSERT_TRUE(jog->waitForStarted());
    const auto write = board.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "bulkwrite" && e["ok"].toBool(); }, 5000);
    ASSERT_TRUE(write) << "the program does not poll";
    ::kill(jog->processId(), GetParam().signal);
    expectCleanExit(*jog);
    const auto closes = board.events("close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0]["handle"], (*write)["handle"]);
}

INSTANTIATE_TEST_SUITE_P(Program, QuitSignal,
                         ::testing::Values(SignalCase{"term", SIGTERM}, SignalCase{"int", SIGINT},
                                           SignalCase{"hup", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Program, QuitSignalClosesTheWriteFailureBox)
{
    testsupport::SimBoard board;
    ASSERT_EQ(board.ctl({"fail", "bulkwrite"}).exitCode, 0);
    auto jog = startJog(QString::fromStdString(board.dir()));
    ASSERT_TRUE(board.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "bulkwrite" && !e["ok"].toBool(); }, 5000));
    // The box is modal; the program waits in it.
    EXPECT_FALSE(jog->waitForFinished(500));
    ::kill(jog->processId(), SIGTERM);
    expectCleanExit(*jog);
    EXPECT_EQ(board.events("close").size(), 1u);
    EXPECT_EQ(board.events("bulkread").size(), 1u);
}

TEST(Program, QuitSignalDuringTheOpenFailureBox)
{
    jogtesting::NoBoard noBoard;
    auto jog = startJog(noBoard.path());
    ASSERT_TRUE(jog->waitForStarted());
    // No board: the program waits in its message boxes.
    EXPECT_FALSE(jog->waitForFinished(1000));
    ::kill(jog->processId(), SIGTERM);
    expectCleanExit(*jog);
}

} // namespace
