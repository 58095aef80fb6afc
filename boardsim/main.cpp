// expbord-sim: the virtual experiment board, and `expbord-sim ctl` to drive it.
#include "ctlclient.h"
#include "daemon.h"

#include <QCoreApplication>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl")
        return boardsim::ctlMain(std::vector<std::string>(args.begin() + 1, args.end()));
    QCoreApplication app(argc, argv);
    return boardsim::daemonMain(args);
}
