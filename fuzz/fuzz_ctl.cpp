// The control commands of the virtual board, as `expbord-sim ctl` passes them.
//
// Input: one command per line, arguments split at blanks (two blanks give an
// empty argument), all run in turn on one board. Each command must travel
// through the control socket's frame unchanged, end with exit code 0, 1 or 2
// (with a message unless it succeeded), and do what it reports: an accepted
// `keys` queues one block of the given bytes, accepted `controls` become the
// report, `state` is one JSON object on one line and `events` one JSON object
// per line in sequence order. The raw input also goes to the frame parser.
#include "boardmodel.h"
#include "ctlcommands.h"
#include "ctlprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> split(std::string_view line)
{
    std::vector<std::string> args;
    size_t start = 0;
    for (;;) {
        const size_t blank = line.find(' ', start);
        args.emplace_back(line.substr(start, blank - start));
        if (blank == std::string_view::npos)
            return args;
        start = blank + 1;
    }
}

// The hex that the accepted arguments stand for, two upper-case digits a byte.
std::string expectedHex(const std::vector<std::string>& args)
{
    std::string hex;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        for (char& c : a)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        hex += a.size() == 1 ? "0" + a : a;
    }
    return hex;
}

QJsonObject jsonObject(const std::string& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    require(error.error == QJsonParseError::NoError && doc.isObject(),
            "output is not a JSON object");
    return doc.object();
}

void checkFrame(const std::vector<std::string>& args)
{
    const std::vector<uint8_t> frame = boardsim::encodeCtlRequest(args);
    std::vector<std::string> back;
    const wire::ParseResult r = boardsim::parseCtlRequest(frame, back);
    require(r.status == wire::ParseStatus::Ok && r.consumed == frame.size() && back == args,
            "a command does not survive its control frame");
}

void checkCommand(boardsim::BoardModel& board, const std::vector<std::string>& args)
{
    const size_t blocksBefore = board.queuedKeyBlocks();
    const bool readPending = board.pendingReads() > 0;
    const uint64_t seqBefore = board.lastSeq();
    const boardsim::CtlReply reply = boardsim::runCtlCommand(board, args);
    require(reply.exitCode == boardsim::CtlOk || reply.exitCode == boardsim::CtlFailed ||
                reply.exitCode == boardsim::CtlUsage,
            "exit code outside 0..2");
    if (reply.exitCode != boardsim::CtlOk) {
        require(!reply.output.empty(), "a refused command says nothing");
        require(board.queuedKeyBlocks() == blocksBefore && board.lastSeq() == seqBefore,
                "a refused command changed the board");
        return;
    }
    const std::string& command = args[0];
    if (command == "keys") {
        // A pending read takes the block at once.
        require(board.queuedKeyBlocks() == blocksBefore + (readPending ? 0 : 1),
                "keys did not queue one block");
    } else if (command == "controls") {
        require(boardsim::toHex(board.controlReport()) == expectedHex(args),
                "controls did not set the report it was given");
    } else if (command == "state") {
        require(!reply.output.empty() && reply.output.back() == '\n' &&
                    reply.output.find('\n') == reply.output.size() - 1,
                "state is not one line");
        const QJsonObject state = jsonObject(reply.output);
        for (const char* key :
             {"cpucs", "leds", "display", "jogLeds", "image", "openHandles", "pendingReads"})
            require(state.contains(key), "state lacks a field");
    } else if (command == "events") {
        int64_t last = 0;
        size_t start = 0;
        while (start < reply.output.size()) {
            const size_t end = reply.output.find('\n', start);
            require(end != std::string::npos, "an event line without its line end");
            const QJsonObject e = jsonObject(reply.output.substr(start, end - start));
            const int64_t seq = e["seq"].toInteger();
            require(seq > last, "events out of order");
            last = seq;
            start = end + 1;
        }
    }
    if (command == "keys" || command == "controls") {
        const auto bytes = boardsim::parseHexBytes(args, 1);
        require(bytes && boardsim::toHex(*bytes) == expectedHex(args),
                "hex arguments read as other bytes");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    {
        std::vector<std::string> args;
        const wire::ParseResult r = boardsim::parseCtlRequest({data, size}, args);
        if (r.status == wire::ParseStatus::Ok) {
            const std::vector<uint8_t> again = boardsim::encodeCtlRequest(args);
            require(again.size() == r.consumed && std::equal(again.begin(), again.end(), data),
                    "a parsed control frame encodes to other bytes");
        }
    }

    boardsim::BoardModel board([] { return int64_t(0); });
    // A handle and a pending read, so faults, unplug and keys meet a live board.
    board.open(1);
    board.read(1, 64, [](bool, const std::vector<uint8_t>&) {});
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::vector<std::string> args = split(input.substr(start, end - start));
        checkFrame(args);
        checkCommand(board, args);
        // A request after every command, so an armed fault has something to fail.
        board.ioControl(1, 0x002220C8, {0x5A}, 0, {});
        start = end + 1;
    }
    return 0;
}
