// The anchor of the start-up and idle benchmarks: an empty Qt Widgets window.
// It writes "1" to standard output when its event loop first runs with the
// window shown and "2" when the window has painted for the first time; then it
// quits, or with --stay it stays until a signal ends it.
#include <QApplication>
#include <QWidget>

#include <cstring>
#include <unistd.h>

namespace {

bool stay = false;

void mark(const char* byte)
{
    [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, byte, 1);
}

class EmptyWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        if (painted_)
            return;
        painted_ = true;
        mark("2");
        if (!stay)
            QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
    }

private:
    bool painted_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    stay = argc > 1 && std::strcmp(argv[1], "--stay") == 0;
    EmptyWindow window;
    // Posted before show(), served by the first pass of the event loop, as the
    // player's key thread start is.
    QMetaObject::invokeMethod(
        &application, [] { mark("1"); }, Qt::QueuedConnection);
    window.show();
    return application.exec();
}
