// Serves virtual boards on Unix sockets from the Qt event loop of the calling
// thread: per board a device socket ezusb-N (one connection per handle) and a
// control socket ezusb-N.ctl. Single-threaded; a misbehaving client only loses
// its own connection.
#pragma once

#include "boardmodel.h"

#include <QObject>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace boardsim {

class BoardServer {
public:
    // dir is the device folder; it is created 0700 when missing.
    explicit BoardServer(std::string dir);
    ~BoardServer(); // closes every connection and removes the sockets it made
    BoardServer(const BoardServer&) = delete;
    BoardServer& operator=(const BoardServer&) = delete;

    // Creates the folder and the sockets of boards. False with a Dutch message
    // when a socket is served by a live process or cannot be made; a stale
    // socket file is replaced.
    bool start(const std::vector<int>& boards, std::string& error);

    BoardModel* board(int number);
    const std::string& dir() const { return dir_; }
    std::string devicePath(int number) const;
    std::string controlPath(int number) const;

private:
    struct Listener;
    struct Client;

    bool listenOn(const std::string& path, int board, bool control, std::string& error);
    void accept(Listener& listener);
    void readFrom(Client& client);
    void queue(Client& client, std::vector<uint8_t> bytes);
    void flush(Client& client);
    void drop(Client& client, const char* why);
    void reap();

    std::string dir_;
    QObject context_;
    std::map<int, std::unique_ptr<BoardModel>> boards_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::map<int, std::unique_ptr<Client>> clients_; // by connection id
    std::vector<std::string> ownSockets_;
    int nextConnection_ = 1;
    bool reapScheduled_ = false;
};

} // namespace boardsim
