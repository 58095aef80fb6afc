// Runs the jog program against a headless virtual board and measures how
// evenly it polls (the board logs every bulk read with its time) and how much
// CPU it takes.
//
//   jogpoll [SECONDS]     default 30
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unistd.h>
#include <vector>

namespace {

// utime + stime of a process, in seconds (fields 14 and 15 of /proc/PID/stat).
double cpuSeconds(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces; the fields after it are plain.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

bool waitForFile(const QString& path, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (QFile::exists(path))
            return true;
        QThread::msleep(20);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;

    QTemporaryDir dir;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(EXPBORD_SIM_PATH, {"--dir", dir.path(), "--headless"});
    if (!sim.waitForStarted() || !waitForFile(dir.path() + "/ezusb-0", 5000)) {
        std::fprintf(stderr, "virtual board did not start\n");
        return 1;
    }

    QProcess jog;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("EXPBORD_DEVICE_DIR", dir.path());
    jog.setProcessEnvironment(env);
    jog.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    jog.start(JOG_PROGRAM, {"0"});
    if (!jog.waitForStarted()) {
        std::fprintf(stderr, "jog did not start\n");
        return 1;
    }
    // Start-up (Qt, fonts, the window) is not polling: count from a second in.
    QThread::sleep(1);
    const double cpuStart = cpuSeconds(jog.processId());
    wall.start();
    QThread::sleep(seconds);
    const double cpu = cpuSeconds(jog.processId()) - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    jog.terminate();
    jog.waitForFinished(5000);

    QProcess ctl;
    ctl.start(EXPBORD_SIM_PATH, {"ctl", "--dir", dir.path(), "events"});
    ctl.waitForFinished(30000);
    std::vector<double> times;
    for (const QByteArray& line : ctl.readAllStandardOutput().split('\n')) {
        const QJsonObject e = QJsonDocument::fromJson(line).object();
        if (e["op"] == "bulkread")
            times.push_back(e["t_us"].toDouble());
    }
    sim.terminate();
    sim.waitForFinished(5000);

    if (times.size() < 3) {
        std::fprintf(stderr, "too few polls: %zu\n", times.size());
        return 1;
    }
    std::vector<double> intervals, deviations;
    for (size_t i = 1; i < times.size(); ++i) {
        intervals.push_back((times[i] - times[i - 1]) / 1000.0);
        deviations.push_back(std::abs(intervals.back() - 50.0));
    }
    const double meanInterval =
        std::accumulate(intervals.begin(), intervals.end(), 0.0) / intervals.size();
    const double meanDeviation =
        std::accumulate(deviations.begin(), deviations.end(), 0.0) / deviations.size();
    std::sort(deviations.begin(), deviations.end());
    const double p99 = deviations[std::min(deviations.size() - 1,
                                           size_t(std::ceil(0.99 * deviations.size())) - 1)];

    std::printf("run            %.1f s, %zu polls\n", elapsed, times.size());
    std::printf("interval       mean %.3f ms (target 50 ms)\n", meanInterval);
    std::printf("deviation      mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                meanDeviation, deviations[deviations.size() / 2], p99, deviations.back());
    std::printf("jog CPU        %.3f CPU-s over the run after the first second = %.3f CPU-s per "
                "minute\n",
                cpu, cpu / elapsed * 60.0);
    return 0;
}
