#include "daemon.h"
#include "boardserver.h"
#include "ctlcommands.h"
#include "devicelayer.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

namespace boardsim {

namespace {

int signalPipe[2] = {-1, -1};

void onQuitSignal(int)
{
    int saved = errno;
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
    errno = saved;
}

std::optional<std::vector<int>> parseBoards(const std::string& text)
{
    std::vector<int> boards;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            comma = text.size();
        int n = -1;
        auto [end, ec] = std::from_chars(text.data() + pos, text.data() + comma, n);
        if (ec != std::errc{} || end != text.data() + comma || n < 0)
            return std::nullopt;
        if (std::find(boards.begin(), boards.end(), n) == boards.end())
            boards.push_back(n);
        pos = comma + 1;
    }
    return boards;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "expbord-sim: %s\n(zie expbord-sim --help)\n", message.c_str());
    return CtlUsage;
}

} // namespace

std::string daemonHelpText()
{
    return std::string(R"(Gebruik:
  expbord-sim [--dir MAP] [--boards 0,1,...] [--headless]
  expbord-sim ctl [--dir MAP] [--board N] OPDRACHT [ARGUMENTEN]

expbord-sim is een virtueel experimenteerbord: het speelt de rol van het
stuurprogramma en de firmware achter het apparaatpad \\.\ezusb-N, zodat player
en jog zonder hardware werken. Per bord maakt het in de apparaatmap een socket
ezusb-N (de apparaatverbindingen) en ezusb-N.ctl (de besturing).

Opties:
  --dir MAP             de apparaatmap (standaard $EXPBORD_DEVICE_DIR, anders
                        $XDG_RUNTIME_DIR/expbord, anders /tmp/expbord-<uid>);
                        wordt met rechten 0700 gemaakt
  --boards 0,1,...      de bordnummers die bediend worden (standaard 0)
  --headless            zonder venster; zo ook vanzelf als er geen beeldscherm is
  --help                deze tekst

Met een beeldscherm opent een venster met een tabblad per bord: de LED's en
het display van het spelerbord, een toetsenbord dat de toetsen van dit venster
als PS/2-scancodes naar het bord stuurt, de jog/shuttle-eenheid, de firmware,
de USB-aansluiting en het logboek van alle verzoeken. Het venster sluiten
stopt het bord; SIGUSR1 bewaart een afbeelding van het venster in
$EXPBORD_SCREENSHOT_DIR/expbord-sim.png.

Het proces stopt netjes bij SIGTERM of Ctrl+C en ruimt zijn sockets op.

)") + ctlHelpText();
}

bool windowRequested(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "--headless" || a == "--help" || a == "-h")
            return false;
    return true;
}

bool displayAvailable()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    const char* platforms = std::getenv("QT_QPA_PLATFORM");
    if (!platforms || !*platforms)
        return set("DISPLAY") || set("WAYLAND_DISPLAY");
    // "wayland;xcb": Qt tries each in turn; "xcb:option" carries options.
    std::string list = platforms;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(';', pos);
        if (end == std::string::npos)
            end = list.size();
        std::string name = list.substr(pos, end - pos);
        name = name.substr(0, name.find(':'));
        bool usable = !name.empty();
        if (name == "xcb")
            usable = set("DISPLAY");
        else if (name.rfind("wayland", 0) == 0)
            usable = set("WAYLAND_DISPLAY");
        if (usable)
            return true;
        pos = end + 1;
    }
    return false;
}

int daemonMain(const std::vector<std::string>& args, const WindowFactory& makeWindow)
{
    std::string dir;
    std::vector<int> boards = {0};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(daemonHelpText().c_str(), stdout);
            return 0;
        }
        if (a == "--headless")
            continue;
        if (a == "--dir") {
            if (i + 1 >= args.size())
                return usageError("--dir verwacht een map");
            dir = args[++i];
            if (dir.empty())
                return usageError("--dir verwacht een map");
        } else if (a == "--boards") {
            if (i + 1 >= args.size())
                return usageError("--boards verwacht bordnummers, bijvoorbeeld 0,1");
            auto parsed = parseBoards(args[++i]);
            if (!parsed)
                return usageError("ongeldige bordnummers '" + args[i] + "'");
            boards = *parsed;
        } else {
            return usageError("onbekende optie '" + a + "'");
        }
    }
    if (dir.empty())
        dir = device::deviceFolder();
    // Clients are told the full path, whatever the daemon's working folder.
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(dir, ignored).lexically_normal();
    if (!absolute.empty())
        dir = absolute.string();
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        std::perror("expbord-sim: socketpair");
        return 1;
    }
    // A client that vanishes must not take the daemon with it.
    std::signal(SIGPIPE, SIG_IGN);
    // Screenshots are taken of a window; without one the request is ignored.
    std::signal(SIGUSR1, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    int exitCode = 0;
    {
        BoardServer server(dir);
        std::string error;
        if (!server.start(boards, error)) {
            std::fprintf(stderr, "expbord-sim: %s\n", error.c_str());
            return 1;
        }
        for (int n : boards)
            std::printf("expbord-sim: bord %d op %s (apparaatpad \\\\.\\ezusb-%d), besturing %s\n",
                        n, server.devicePath(n).c_str(), n, server.controlPath(n).c_str());
        std::printf("expbord-sim: stoppen met Ctrl+C of SIGTERM\n");
        std::fflush(stdout);

        QSocketNotifier quit(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&quit, &QSocketNotifier::activated, qApp, [] {
            char c;
            while (::read(signalPipe[0], &c, 1) > 0) {
            }
            QCoreApplication::quit();
        });
        // Made after the server and gone before it: the window refers to its boards.
        std::unique_ptr<QObject> window;
        if (makeWindow && windowRequested(args))
            window = makeWindow(server, boards);
        exitCode = QCoreApplication::exec();
    }
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    return exitCode;
}

} // namespace boardsim
