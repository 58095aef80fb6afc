// expbord-sim: the virtual experiment board, and `expbord-sim ctl` to drive it.
#include "boardserver.h"
#include "ctlclient.h"
#include "daemon.h"
#include "quitsignals.h"
#include "simwindow.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::unique_ptr<QObject> makeWindow(boardsim::BoardServer& server, const std::vector<int>& boards)
{
    std::vector<std::pair<int, boardsim::BoardModel*>> models;
    for (int n : boards)
        models.emplace_back(n, server.board(n));
    auto window =
        std::make_unique<boardsim::SimWindow>(models, QString::fromStdString(server.dir()));
    // SIGTERM closes the window, which ends the event loop; SIGUSR1 saves its picture.
    gui::closeOnQuitSignals(window.get());
    window->show();
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl")
        return boardsim::ctlMain(std::vector<std::string>(args.begin() + 1, args.end()));
    if (boardsim::windowRequested(args)) {
        if (boardsim::displayAvailable()) {
            QApplication app(argc, argv);
            return boardsim::daemonMain(args, makeWindow);
        }
        std::fprintf(stderr, "expbord-sim: geen beeldscherm gevonden, het bord draait zonder "
                             "venster\n");
    }
    // Headless: no widget is ever made, so no display connection either.
    QCoreApplication app(argc, argv);
    return boardsim::daemonMain(args);
}
