#include "ctlcommands.h"
#include "keyboard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>

namespace boardsim {

namespace {

CtlReply usage(std::string message)
{
    return {CtlUsage, std::move(message)};
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template <typename T> std::optional<T> parseNumber(const std::string& s)
{
    T value{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

QString hexByte(uint8_t b)
{
    return QString::fromStdString(toHex(&b, 1));
}

CtlReply keysCommand(BoardModel& board, const std::vector<std::string>& args)
{
    auto bytes = parseHexBytes(args, 1);
    if (!bytes)
        return usage("keys: geef de bytes als hexadecimale getallen, bijvoorbeeld: keys 1C F0 1C");
    if (bytes->size() > BoardModel::maxKeyBlock)
        return usage("keys: een toetsblok heeft hoogstens 64 bytes, dit zijn er " +
                     std::to_string(bytes->size()));
    board.queueKeys(std::move(*bytes));
    return {};
}

CtlReply typeCommand(BoardModel& board, const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return usage("type: geef de tekst die getypt moet worden");
    std::string text;
    for (size_t i = 1; i < args.size(); ++i)
        text += (i > 1 ? " " : "") + args[i];
    TypedKeys typed = typeText(text);
    if (!typed.ok())
        return usage("type: het teken '" + typed.unknown + "' staat niet op het toetsenbord");
    for (std::vector<uint8_t>& block : typed.blocks)
        board.queueKeys(std::move(block));
    return {};
}

CtlReply controlsCommand(BoardModel& board, const std::vector<std::string>& args)
{
    auto bytes = parseHexBytes(args, 1);
    if (!bytes)
        return usage("controls: geef de bytes als hexadecimale getallen, bijvoorbeeld: "
                     "controls 00 00 00 F5 00 00 00 00");
    if (!board.setControlReport(std::move(*bytes)))
        return usage("controls: een stuurrapport heeft hoogstens 8 bytes");
    return {};
}

CtlReply failCommand(BoardModel& board, const std::vector<std::string>& args)
{
    const std::string ops(faultOpNames());
    if (args.size() < 2)
        return usage("fail: geef de bewerking (" + ops + ")");
    std::optional<Op> op = faultOpFromName(args[1]);
    if (!op)
        return usage("fail: onbekende bewerking '" + args[1] + "' (kies uit " + ops + ")");
    Fault fault;
    fault.remaining = 1;
    bool countSeen = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--after") {
            if (i + 1 >= args.size())
                return usage("fail: --after verwacht een aantal");
            auto skip = parseNumber<int>(args[++i]);
            if (!skip || *skip < 0)
                return usage("fail: ongeldig aantal na --after: '" + args[i] + "'");
            fault.skip = *skip;
        } else if (!countSeen) {
            countSeen = true;
            if (a == "always") {
                fault.remaining = -1;
            } else if (a == "off") {
                fault.remaining = 0;
            } else {
                auto n = parseNumber<int>(a);
                if (!n || *n < 1)
                    return usage("fail: ongeldig aantal '" + a +
                                 "' (een getal vanaf 1, always of off)");
                fault.remaining = *n;
            }
        } else {
            return usage("fail: onverwacht argument '" + a + "'");
        }
    }
    board.setFault(*op, fault);
    return {};
}

CtlReply eventsCommand(const BoardModel& board, const std::vector<std::string>& args)
{
    uint64_t since = 0;
    if (args.size() == 3 && args[1] == "--since") {
        auto n = parseNumber<uint64_t>(args[2]);
        if (!n)
            return usage("events: ongeldig volgnummer '" + args[2] + "'");
        since = *n;
    } else if (args.size() != 1) {
        return usage("events: gebruik events [--since VOLGNUMMER]");
    }
    CtlReply reply;
    board.forEachEventSince(since, [&reply](const Event& e) {
        reply.output += eventJson(e);
        reply.output += '\n';
    });
    return reply;
}

CtlReply noArguments(const std::vector<std::string>& args, void (BoardModel::*action)(),
                     BoardModel& board)
{
    if (args.size() != 1)
        return usage(args[0] + ": deze opdracht heeft geen argumenten");
    (board.*action)();
    return {};
}

} // namespace

std::optional<std::vector<uint8_t>> parseHexBytes(const std::vector<std::string>& args,
                                                  size_t first)
{
    std::vector<uint8_t> bytes;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty() || (a.size() > 1 && a.size() % 2 != 0))
            return std::nullopt;
        for (char c : a)
            if (hexDigit(c) < 0)
                return std::nullopt;
        if (a.size() == 1) {
            bytes.push_back(uint8_t(hexDigit(a[0])));
            continue;
        }
        for (size_t j = 0; j < a.size(); j += 2)
            bytes.push_back(uint8_t(hexDigit(a[j]) << 4 | hexDigit(a[j + 1])));
    }
    return bytes;
}

std::string stateJson(const BoardModel& board)
{
    QJsonObject o;
    o["cpucs"] = board.cpucs();
    o["leds"] = hexByte(board.leds());
    QJsonArray display;
    for (const std::string& field : board.display())
        display.append(QString::fromLatin1(field.data(), qsizetype(field.size())));
    o["display"] = display;
    o["jogLeds"] =
        QJsonObject{{"flags", hexByte(board.jogFlags())}, {"leds", hexByte(board.jogLeds())}};
    o["image"] = QJsonObject{{"bytes", qint64(board.imageBytes())},
                             {"sha256", QString::fromStdString(board.imageSha256())},
                             {"running", board.imageRunning()}};
    o["openHandles"] = board.openHandles();
    o["pendingReads"] = board.pendingReads();
    o["plugged"] = board.plugged();
    o["keyBlocks"] = qint64(board.queuedKeyBlocks());
    o["report"] = QString::fromStdString(toHex(board.controlReport()));
    o["jogSteps"] = QJsonObject{{"left", board.jogLeftSteps()}, {"right", board.jogRightSteps()}};
    QJsonObject faults;
    for (const auto& [op, fault] : board.faults()) {
        QJsonObject f;
        if (fault.remaining < 0)
            f["remaining"] = "always";
        else
            f["remaining"] = fault.remaining;
        f["after"] = fault.skip;
        faults[opName(op)] = f;
    }
    o["faults"] = faults;
    o["lastSeq"] = qint64(board.lastSeq());
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

CtlReply runCtlCommand(BoardModel& board, const std::vector<std::string>& args)
{
    if (args.empty())
        return usage("geef een opdracht (zie expbord-sim --help)");
    const std::string& command = args[0];
    if (command == "keys")
        return keysCommand(board, args);
    if (command == "type")
        return typeCommand(board, args);
    if (command == "controls")
        return controlsCommand(board, args);
    if (command == "fail")
        return failCommand(board, args);
    if (command == "unplug")
        return noArguments(args, &BoardModel::unplug, board);
    if (command == "plug")
        return noArguments(args, &BoardModel::plug, board);
    if (command == "state") {
        if (args.size() != 1)
            return usage("state: deze opdracht heeft geen argumenten");
        return {CtlOk, stateJson(board) + "\n"};
    }
    if (command == "events")
        return eventsCommand(board, args);
    return usage("onbekende opdracht '" + command + "' (zie expbord-sim --help)");
}

const char* ctlHelpText()
{
    return R"(Opdrachten (expbord-sim ctl [--dir MAP] [--board N] OPDRACHT [ARGUMENTEN]):
  keys HH HH ...        zet één toetsblok van 0..64 bytes (hexadecimaal) in de rij;
                        keys zonder bytes zet een leeg blok in de rij
  type TEKST            zet de make- en breakcodes van TEKST in de rij (PS/2 set 2,
                        Amerikaanse indeling, hoofdletters met linker Shift), één
                        blok per toetsgebeurtenis
  controls HH ...       stel het stuurrapport in (0..8 bytes); een korter rapport
                        laat een bulk-read minder dan 8 bytes teruggeven
  fail OP [N|always|off] [--after K]
                        laat de volgende N (standaard 1) verzoeken van OP mislukken,
                        alle (always) of geen meer (off); met --after eerst K
                        verzoeken laten slagen. OP is een van: open close read write
                        leds text anchor abort bulkread bulkwrite (text is de
                        schrijfopdracht naar het display, hetzelfde als write)
  unplug                het bord verdwijnt: openen mislukt, elk verzoek en elke
                        wachtende read mislukt
  plug                  het bord komt terug; oude handles blijven ongeldig, nieuwe
                        kunnen geopend worden
  state                 de toestand van het bord als één JSON-object
  events [--since N]    het verzoekenlogboek als JSON-regels, oudste eerst, alleen
                        gebeurtenissen met volgnummer groter dan N. Elke regel heeft
                        seq, t_us, handle, op en ok, en per op: read bytes; write
                        bytes en text; leds pattern; anchor addr, length, sha256 en
                        bij één byte value; abort pipe; bulkread pipe en bytes;
                        bulkwrite pipe en bytes (hexadecimaal in hoofdletters)
Afsluitcode: 0 gelukt, 1 mislukt (melding op stderr), 2 verkeerd gebruik.
)";
}

} // namespace boardsim
