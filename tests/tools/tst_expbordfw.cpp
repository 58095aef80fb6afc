// expbord-fw as the shell runs it: exit code, what it says on which channel,
// and what reaches which virtual board.
#include "simboard.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::SimBoard;

namespace {

const QByteArray image = [] {
    QByteArray bytes(300, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 151 + 7) & 0xFF);
    return bytes;
}();

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toUpper());
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome runTool(const std::vector<std::string>& args)
{
    QProcess tool;
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    tool.start(EXPBORD_FW_PATH, list);
    Outcome run;
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "expbord-fw did not end normally";
        tool.kill();
        tool.waitForFinished();
        return run;
    }
    run.exitCode = tool.exitCode();
    run.out = tool.readAllStandardOutput().toStdString();
    run.err = tool.readAllStandardError().toStdString();
    return run;
}

const std::string usageLine = "Gebruik: expbord-fw [--board N] IMAGE\n";
const std::string openFailed = "Het openen van de VEK driver is mislukt!\n";
const std::string downloadFailed =
    "Downloaden van firmware \"@\" naar het experimenteerbord is mislukt!\n";

struct RunCase {
    const char* name;
    // "@image" is a 300-byte image, "@empty" an empty file, "@missing" no file.
    std::vector<std::string> args;
    std::vector<std::string> fault; // armed on board 0 before the run
    int exitCode;
    std::string out; // stdout holds this; "" = stdout is empty
    std::string err; // stderr holds this; "" = stderr is empty; "@" = the image argument
    bool errWhole;   // stderr is exactly err
    std::vector<std::string> board0; // requests that reach board 0, in order
    int imageBoard;                  // the board that holds the image afterwards, -1 none
    int cpucs0;
};

void PrintTo(const RunCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExpbordFw : public ::testing::TestWithParam<RunCase> {};

TEST_P(ExpbordFw, Run)
{
    const RunCase& c = GetParam();
    SimBoard boards({0, 1});
    const std::string dir = boards.dir();
    {
        QFile f(QString::fromStdString(dir + "/proef.bix"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(image) == image.size());
        QFile e(QString::fromStdString(dir + "/leeg.bix"));
        ASSERT_TRUE(e.open(QIODevice::WriteOnly));
    }
    std::string imageArg;
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (a == "@image" || a == "@empty" || a == "@missing") {
            a = dir + (a == "@image" ? "/proef.bix" : a == "@empty" ? "/leeg.bix" : "/weg.bix");
            imageArg = a;
        }
        args.push_back(a);
    }
    if (!c.fault.empty()) {
        ASSERT_EQ(boards.ctl(c.fault).exitCode, 0);
    }

    const Outcome run = runTool(args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (c.out.empty()) {
        EXPECT_EQ(run.out, "");
    } else {
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    }
    std::string err = c.err;
    replaceAll(err, "@", imageArg);
    if (c.errWhole || err.empty()) {
        EXPECT_EQ(run.err, err);
    } else {
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
    }

    std::vector<std::string> requests;
    for (const QJsonObject& e : boards.events(0))
        requests.push_back(e["op"].toString().toStdString() + (e["ok"].toBool() ? "" : " failed"));
    EXPECT_EQ(requests, c.board0);
    for (int b : {0, 1}) {
        const QJsonObject state = boards.state(b);
        const QJsonObject loaded = state["image"].toObject();
        if (b == c.imageBoard) {
            EXPECT_EQ(loaded["sha256"].toString(), sha256(image)) << "board " << b;
            EXPECT_EQ(loaded["bytes"].toInt(), image.size()) << "board " << b;
        } else {
            EXPECT_EQ(loaded["bytes"].toInt(), 0) << "board " << b;
        }
        EXPECT_EQ(state["openHandles"].toInt(), 0) << "board " << b;
    }
    EXPECT_EQ(boards.state(0)["cpucs"].toInt(), c.cpucs0);
}

using S = std::vector<std::string>;
const S loaded{"open", "anchor", "anchor", "anchor", "close"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpbordFw,
    ::testing::Values(
        RunCase{"Loads", {"@image"}, {}, 0, "", "", true, loaded, 0, 0},
        RunCase{"BoardOption", {"--board", "1", "@image"}, {}, 0, "", "", true, {}, 1, 0},
        RunCase{"BoardOptionJoined", {"--board=1", "@image"}, {}, 0, "", "", true, {}, 1, 0},
        RunCase{"BoardOptionAfterImage", {"@image", "--board", "1"}, {}, 0, "", "", true, {}, 1, 0},
        RunCase{
            "MissingFile", {"@missing"}, {}, 1, "", downloadFailed, true, {"open", "close"}, -1, 0},
        RunCase{"EmptyFile", {"@empty"}, {}, 1, "", downloadFailed, true, {"open", "close"}, -1, 0},
        RunCase{"TransferFails",
                {"@image"},
                {"fail", "anchor", "--after", "1"},
                1,
                "",
                downloadFailed,
                true,
                {"open", "anchor", "anchor failed", "close"},
                -1,
                1},
        RunCase{"NoSuchBoard", {"--board", "5", "@image"}, {}, 1, "", openFailed, true, {}, -1, 0},
        RunCase{"OpenRefused",
                {"@image"},
                {"fail", "open"},
                1,
                "",
                openFailed,
                true,
                {"open failed"},
                -1,
                0},
        RunCase{"NoArguments", {}, {}, 2, "", usageLine, false, {}, -1, 0},
        RunCase{
            "BoardWithoutNumber", {"@image", "--board"}, {}, 2, "", usageLine, false, {}, -1, 0},
        RunCase{
            "EmptyBoardNumber", {"--board", "", "@image"}, {}, 2, "", usageLine, false, {}, -1, 0},
        RunCase{"EmptyJoinedBoardNumber",
                {"--board=", "@image"},
                {},
                2,
                "",
                "onbekende optie --board=\n" + usageLine,
                false,
                {},
                -1,
                0},
        RunCase{"UnknownOption",
                {"-x", "@image"},
                {},
                2,
                "",
                "expbord-fw: onbekende optie -x\n" + usageLine,
                false,
                {},
                -1,
                0},
        RunCase{"TwoImages", {"@image", "@empty"}, {}, 2, "", usageLine, false, {}, -1, 0},
        RunCase{"Help", {"--help"}, {}, 0, usageLine, "", true, {}, -1, 0},
        RunCase{"ShortHelp", {"-h"}, {}, 0, usageLine, "", true, {}, -1, 0},
        RunCase{
            "HelpWinsOverAnImage", {"@image", "--help"}, {}, 0, usageLine, "", true, {}, -1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExpbordFwDevice, NoDeviceFolderMeansNoBoard)
{
    const QString empty = QString::fromStdString(SimBoard().dir()); // removed again at once
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("EXPBORD_DEVICE_DIR", empty);
    tool.setProcessEnvironment(env);
    tool.start(EXPBORD_FW_PATH, {"/dev/null"});
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_EQ(tool.readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(tool.readAllStandardError().toStdString(), openFailed);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
