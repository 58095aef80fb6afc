// Loading and saving player.m3u with 1k, 10k and 100k entries.
//
//   bench_playlist [--sizes 1000,10000,100000] [--window-runs N]
//
// 1. The pure functions of the playlist file: format, parse, save (temporary
//    file, fsync, rename) and load, each the median of repeated runs, next to
//    their anchors: the same bytes written with one write + fsync + rename and
//    read back with one read loop, the least an atomic save and a load can do.
// 2. The player window with such a playlist: construction (the playlist is
//    loaded into the list box), until the list has painted once, and
//    destruction (the playlist is saved), against the same with an empty
//    playlist. The window runs without a board, so that its shutdown does
//    not wait for the key thread; the saved file is checked byte for byte.
#include "application.h"
#include "benchkit.h"
#include "message.h"
#include "playlistfile.h"
#include "ui_unitplayer.h"
#include "unitplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <utility>

using namespace benchkit;

namespace {

// Paths as a music folder has them, ~70 bytes, some with Latin-1 letters,
// which the file keeps byte for byte.
playlist::Entries makeEntries(size_t count)
{
    playlist::Entries entries;
    entries.reserve(count);
    char buffer[160];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer,
                      "/home/gebruiker/Muziek/Artiest %03zu/Album %02zu/%02zu - Nummer %06zu%s.mp3",
                      i / 200 % 1000, i / 12 % 100, i % 12 + 1, i,
                      i % 7 == 0 ? " (caf\xE9 versie)" : "");
        entries.emplace_back(buffer);
    }
    return entries;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Median milliseconds of a and of b over at least 5 runs each and about 0.5 s
// together, taken in turns so that both meet the same disk and the same load.
std::pair<double, double> medianMs(const std::function<void()>& a, const std::function<void()>& b)
{
    std::vector<double> msA, msB;
    double total = 0;
    while (msA.size() < 5 || (total < 500 && msA.size() < 200)) {
        for (auto [f, ms] : {std::pair{&a, &msA}, std::pair{&b, &msB}}) {
            const double t0 = nowUs();
            (*f)();
            ms->push_back((nowUs() - t0) / 1000.0);
            total += ms->back();
        }
    }
    return {summarize(msA).median, summarize(msB).median};
}

bool rawSave(const std::string& path, const std::string& bytes)
{
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok && ::rename(temp.c_str(), path.c_str()) == 0;
}

std::string rawLoad(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[65536];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    if (fd >= 0)
        ::close(fd);
    return text;
}

void pureFunctions(const std::vector<size_t>& sizes)
{
    TempDir dir("expbord-bench-playlist");
    std::printf("1. De functies van het afspeellijstbestand (map %s, mediaan van herhaalde "
                "runs)\n\n",
                dir.path().c_str());
    std::printf("| items | bytes | format (ms) | parse (ms) | save (ms) | anker schrijven+fsync "
                "(ms) | save/anker | load (ms) | anker lezen (ms) | load/anker |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t n : sizes) {
        const playlist::Entries entries = makeEntries(n);
        const std::string text = playlist::format(entries);
        if (playlist::parse(text) != entries)
            throw std::runtime_error("parse(format(x)) != x");
        const std::string path = dir.file("player.m3u");
        const std::string rawPath = dir.file("raw.m3u");

        std::string formatted;
        playlist::Entries parsed;
        const auto [format, parse] = medianMs([&] { formatted = playlist::format(entries); },
                                              [&] { parsed = playlist::parse(text); });
        bool saved = true, rawSaved = true;
        const auto [save, rawWrite] =
            medianMs([&] { saved = playlist::save(path, entries) && saved; },
                     [&] { rawSaved = rawSave(rawPath, text) && rawSaved; });
        if (!saved || !rawSaved || readFile(path) != text || readFile(rawPath) != text)
            throw std::runtime_error("opslaan mislukt of de inhoud klopt niet");
        playlist::Entries loaded;
        std::string raw;
        bool ok = true;
        const auto [load, rawRead] = medianMs(
            [&] {
                loaded.clear();
                ok = playlist::load(path, loaded) == playlist::LoadResult::Loaded && ok;
            },
            [&] { raw = rawLoad(rawPath); });
        if (!ok || loaded != entries || raw != text)
            throw std::runtime_error("laden mislukt of de inhoud klopt niet");

        std::printf("| %zu | %zu | %s | %s | %s | %s | %s | %s | %s | %s |\n", n, text.size(),
                    fixed(format, 3).c_str(), fixed(parse, 3).c_str(), fixed(save, 3).c_str(),
                    fixed(rawWrite, 3).c_str(), fixed(save / rawWrite, 2).c_str(),
                    fixed(load, 3).c_str(), fixed(rawRead, 3).c_str(),
                    fixed(load / rawRead, 2).c_str());
    }
}

// Notes the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

long rssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:"))
            return std::atol(line.c_str() + 6);
    return 0;
}

struct WindowRun {
    double construct = 0, paint = 0, destroy = 0, rssMb = 0;
};

WindowRun windowRun(const TempDir& folder, const std::string& expected)
{
    WindowRun r;
    // Hands the heap the last window left back to the system, so that the
    // growth of this one shows in the resident size.
    ::malloc_trim(0);
    const long rss0 = rssKb();
    const double t0 = nowUs();
    auto* window = new TformPlayer(QStringList{QString::fromStdString(folder.file("player")), "0"});
    const double t1 = nowUs();
    PaintWatch watch;
    window->ui->listBoxPlaylist->viewport()->installEventFilter(&watch);
    window->show();
    QElapsedTimer timeout;
    timeout.start();
    while (!watch.painted && timeout.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double t2 = nowUs();
    r.rssMb = double(rssKb() - rss0) / 1024;
    if (!watch.painted)
        throw std::runtime_error("de lijst werd niet getekend");
    delete window;
    const double t3 = nowUs();
    // Let deferred deletes run before the next window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    if (readFile(folder.file("player.m3u")) != expected)
        throw std::runtime_error("het venster sloeg de afspeellijst niet ongewijzigd op");
    r.construct = (t1 - t0) / 1000;
    r.paint = (t2 - t1) / 1000;
    r.destroy = (t3 - t2) / 1000;
    return r;
}

void window(std::vector<size_t> sizes, int runs)
{
    TempDir noBoard("expbord-bench-noboard");
    ::setenv("EXPBORD_DEVICE_DIR", noBoard.path().c_str(), 1);
    QStringList messages;
    gui::setMessageHandler([&](const QString& text) { messages << text; });

    std::printf("\n2. Het spelervenster met die afspeellijst (zonder bord; mediaan van %d keer, "
                "na een ongetelde eerste)\n\n",
                runs);
    std::printf("| items | bouwen, incl. laden (ms) | tot de lijst getekend is (ms) | afbreken, "
                "incl. opslaan (ms) | samen (ms) | samen min leeg (ms) | extra RSS (MB) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    sizes.insert(sizes.begin(), 0);
    double emptyTotal = 0;
    for (size_t n : sizes) {
        TempDir folder("expbord-bench-window");
        const std::string text = playlist::format(makeEntries(n));
        if (!playlist::save(folder.file("player.m3u"), makeEntries(n)))
            throw std::runtime_error("kan player.m3u niet schrijven");
        std::vector<double> construct, paint, destroy, total, rss;
        for (int i = -1; i < runs; ++i) {
            const WindowRun r = windowRun(folder, text);
            if (i < 0)
                continue;
            construct.push_back(r.construct);
            paint.push_back(r.paint);
            destroy.push_back(r.destroy);
            total.push_back(r.construct + r.paint + r.destroy);
            rss.push_back(r.rssMb);
        }
        const double sum = summarize(total).median;
        if (n == 0)
            emptyTotal = sum;
        std::printf("| %zu | %s | %s | %s | %s | %s | %s |\n", n,
                    fixed(summarize(construct).median, 1).c_str(),
                    fixed(summarize(paint).median, 1).c_str(),
                    fixed(summarize(destroy).median, 1).c_str(), fixed(sum, 1).c_str(),
                    fixed(sum - emptyTotal, 1).c_str(), fixed(summarize(rss).median, 1).c_str());
    }
    // Without a board the window says so once per start, and nothing else.
    messages.removeAll("Het openen van de VEK driver is mislukt!");
    if (!messages.isEmpty())
        throw std::runtime_error("onverwachte melding: " + messages.front().toStdString());
    gui::setMessageHandler(nullptr);
}

std::vector<size_t> parseSizes(const char* text)
{
    std::vector<size_t> sizes;
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(p, &end, 10);
        if (end == p || n == 0)
            return {};
        sizes.push_back(n);
        p = *end == ',' ? end + 1 : end;
        if (*end && *end != ',')
            return {};
    }
    return sizes;
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::vector<size_t> sizes = {1000, 10000, 100000};
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sizes") == 0 && i + 1 < argc)
            sizes = parseSizes(argv[++i]);
        else if (std::strcmp(argv[i], "--window-runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else
            sizes.clear();
    }
    if (sizes.empty() || runs <= 0) {
        std::fprintf(stderr, "gebruik: %s [--sizes 1000,10000,100000] [--window-runs N]\n",
                     argv[0]);
        return 2;
    }
    gui::Application application(argc, argv);
    try {
        pureFunctions(sizes);
        window(sizes, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
