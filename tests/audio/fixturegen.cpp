// Writes the signals the audio fixtures are made from; lame turns the WAV files
// into MP3 at build time, so no audio file is kept in the repository.
//
//   fixturegen tone OUT.wav FREQ_HZ RATE_HZ CHANNELS SECONDS
//   fixturegen text OUT
//   fixturegen random OUT BYTES SEED
//   fixturegen empty OUT
//   fixturegen head IN OUT BYTES        first BYTES bytes of IN
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

void put16(std::ofstream& out, uint16_t v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.write(b, 2);
}

void put32(std::ofstream& out, uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                       char(v >> 24)};
    out.write(b, 4);
}

// 16-bit PCM at half full scale, the same sine on every channel.
bool writeTone(const char* path, double freq, uint32_t rate, uint16_t channels, double seconds)
{
    const auto frames = static_cast<uint32_t>(std::lround(seconds * rate));
    const uint32_t dataBytes = frames * channels * 2;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, channels);
    put32(out, rate);
    put32(out, rate * channels * 2);
    put16(out, uint16_t(channels * 2));
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2 * std::numbers::pi * freq * i / rate);
        const auto s = static_cast<int16_t>(std::lround(v * 32767));
        for (uint16_t c = 0; c < channels; ++c)
            put16(out, static_cast<uint16_t>(s));
    }
    return bool(out);
}

bool writeText(const char* path)
{
    std::ofstream out(path);
    out << "Dit is geen geluidsbestand maar een tekst met een andere naam.\n"
           "Een speler die dit als MP3 opent, hoort niets af te spelen.\n";
    return bool(out);
}

// xorshift32: the same bytes on every machine, unlike rand().
bool writeRandom(const char* path, uint32_t bytes, uint32_t seed)
{
    std::ofstream out(path, std::ios::binary);
    uint32_t x = seed ? seed : 1;
    for (uint32_t i = 0; i < bytes; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out.put(char(x & 0xFF));
    }
    return bool(out);
}

bool writeHead(const char* in, const char* path, size_t bytes)
{
    std::ifstream src(in, std::ios::binary);
    if (!src)
        return false;
    std::vector<char> data((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
    if (data.size() <= bytes)
        return false;
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), std::streamsize(bytes));
    return bool(out);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string cmd = argc > 1 ? argv[1] : "";
    bool ok = false;
    if (cmd == "tone" && argc == 7)
        ok = writeTone(argv[2], std::atof(argv[3]), uint32_t(std::atol(argv[4])),
                       uint16_t(std::atoi(argv[5])), std::atof(argv[6]));
    else if (cmd == "text" && argc == 3)
        ok = writeText(argv[2]);
    else if (cmd == "random" && argc == 5)
        ok = writeRandom(argv[2], uint32_t(std::atol(argv[3])), uint32_t(std::atol(argv[4])));
    else if (cmd == "empty" && argc == 3)
        ok = bool(std::ofstream(argv[2], std::ios::binary));
    else if (cmd == "head" && argc == 5)
        ok = writeHead(argv[2], argv[3], size_t(std::atol(argv[4])));
    else {
        std::fprintf(stderr, "gebruik: %s tone|text|random|empty|head ...\n", argv[0]);
        return 2;
    }
    if (!ok) {
        std::fprintf(stderr, "%s: schrijven mislukt\n", argv[0]);
        return 1;
    }
    return 0;
}
