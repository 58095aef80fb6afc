// The player window's key buffer fed with arbitrary blocks of 0..64 bytes, the
// sizes the key reader thread hands over: the buffer never holds more than 71
// bytes (a block behind at most 7 waiting bytes), and what waits after each
// block is exactly what the decoder leaves of the stream so far.
//
// A real TformPlayer on the offscreen platform, without a board: the device
// folder is an empty one of our own, so every board call fails as it does
// when no board is there.
#include "message.h"
#include "scancodes.h"
#include "unitplayer.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Ignore : scancode::KeySink {
    void keyEvent(const scancode::KeyEvent&) override {}
};

QTemporaryDir* folder = nullptr;
TformPlayer* window = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    static QApplication app(*argc, *argv);
    folder = new QTemporaryDir;
    QDir(folder->path()).mkdir("devices");
    qputenv("EXPBORD_DEVICE_DIR", QFile::encodeName(folder->filePath("devices")));
    gui::setMessageHandler([](const QString&) {});
    window = new TformPlayer(QStringList{folder->filePath("player")});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    window->keyDataLength = 0;
    window->setTypedText(QString());
    std::vector<uint8_t> stream;
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at] % 65, size - at - 1);
        const uint8_t* block = data + at + 1;
        at += 1 + length;
        window->appendKeyData(block, uint32_t(length));
        require(window->keyDataCapacity <= 71, "key buffer grew past 71 bytes");
        require(window->keyDataLength <= 7, "more than 7 bytes wait in the key buffer");

        stream.insert(stream.end(), block, block + length);
        Ignore ignore;
        const size_t used = scancode::decode({stream.data(), stream.size()}, ignore);
        require(window->keyDataLength == stream.size() - used,
                "the waiting bytes are not the decoder's rest of the stream");
        require(std::equal(stream.begin() + long(used), stream.end(), window->keyData),
                "the waiting bytes differ from the stream's rest");
    }
    return 0;
}
