#include "quitsignals.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace gui {

namespace {
int pipeFds[2] = {-1, -1};
bool requested = false;
QPointer<QWidget> target;
QSocketNotifier* notifier = nullptr;

void onSignal(int sig)
{
    const char c = char(sig);
    [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &c, 1);
}
} // namespace

bool saveScreenshot(QWidget* window)
{
    const QString dir = qEnvironmentVariable("EXPBORD_SCREENSHOT_DIR");
    if (!window || dir.isEmpty())
        return false;
    QDir().mkpath(dir);
    return window->grab().save(QDir(dir).filePath(QCoreApplication::applicationName() + ".png"));
}

bool quitRequested()
{
    return requested;
}

void closeOnQuitSignals(QWidget* window)
{
    target = window;
    if (notifier)
        return;
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        bool quit = false;
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == SIGUSR1)
                    saveScreenshot(target);
                else
                    quit = true;
            }
        }
        if (!quit)
            return;
        requested = true;
        // Each modal box runs a loop of its own; close them first so the
        // window's close comes back to the main loop.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
            if (QApplication::activeModalWidget() == modal)
                modal->hide();
        }
        if (target)
            QMetaObject::invokeMethod(target, &QWidget::close, Qt::QueuedConnection);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(sig, &sa, nullptr);
}

} // namespace gui
