// Round-trip latency of setBoardLeds through the socket transport and the
// virtual board: median and 99th percentile in microseconds.
//
//   bench_devicelatency [CALLS]      (default 10000)
//
// Uses the board 0 served in $EXPBORD_DEVICE_DIR when there is one, else
// starts its own expbord-sim.
#include "benchkit.h"
#include "unitexpbordlib.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

int main(int argc, char** argv)
{
    long calls = argc > 1 ? std::atol(argv[1]) : 10000;
    if (calls <= 0) {
        std::fprintf(stderr, "gebruik: %s [AANTAL]\n", argv[0]);
        return 2;
    }
    std::unique_ptr<benchkit::Board> sim;
    const char* given = std::getenv("EXPBORD_DEVICE_DIR");
    struct stat st {};
    bool useGiven = given && *given && ::stat((std::string(given) + "/ezusb-0").c_str(), &st) == 0;
    if (!useGiven) {
        try {
            sim = std::make_unique<benchkit::Board>();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kan expbord-sim niet starten: %s\n", e.what());
            return 1;
        }
    }
    std::printf("bord: %s/ezusb-0 (%s)\n", useGiven ? given : sim->dir().c_str(),
                useGiven ? "gegeven" : "eigen expbord-sim");

    BoardHandle h = openBoard("\\\\.\\ezusb-0");
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "kan het bord niet openen\n");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 200; ++i)
        setBoardLeds(h, uint8_t(i));
    std::vector<double> us;
    us.reserve(size_t(calls));
    long failed = 0;
    auto start = Clock::now();
    for (long i = 0; i < calls; ++i) {
        auto t0 = Clock::now();
        bool ok = setBoardLeds(h, uint8_t(i));
        auto t1 = Clock::now();
        failed += !ok;
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    double total = std::chrono::duration<double>(Clock::now() - start).count();
    closeBoard(h);

    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * double(us.size())))]; };
    std::printf("setBoardLeds: %ld aanroepen, %ld mislukt, %.0f per seconde\n", calls, failed,
                double(calls) / total);
    std::printf("rondgang (us): mediaan %.1f  p99 %.1f  min %.1f  max %.1f\n", at(0.5), at(0.99),
                us.front(), us.back());
    return failed == 0 ? 0 : 1;
}
