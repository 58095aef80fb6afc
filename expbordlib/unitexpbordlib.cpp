#include "unitexpbordlib.h"
#include "ezusb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct PipeBlock {
    uint8_t bytes[4];
};

PipeBlock pipeBlock(uint32_t pipe)
{
    return {{uint8_t(pipe), uint8_t(pipe >> 8), uint8_t(pipe >> 16), uint8_t(pipe >> 24)}};
}

bool anchorDownload(BoardHandle handle, uint16_t address, const void* bytes, uint32_t length)
{
    const uint8_t addressBlock[2] = {uint8_t(address), uint8_t(address >> 8)};
    uint32_t returned = 0;
    return device::ioControl(handle, ezusb::IOCTL_ANCHOR_DOWNLOAD, addressBlock,
                             sizeof addressBlock, const_cast<void*>(bytes), length, &returned);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
struct BufferFree {
    void operator()(void* p) const { std::free(p); }
};

} // namespace

BoardHandle openBoard(const char* path)
{
    return device::openDevice(path);
}

bool closeBoard(BoardHandle handle)
{
    return device::closeDevice(handle);
}

bool setBoardReset(BoardHandle handle, uint8_t value)
{
    return anchorDownload(handle, ezusb::CPUCS_ADDRESS, &value, 1);
}

bool downloadFirmware(BoardHandle handle, const char* imagePath)
{
    std::unique_ptr<FILE, FileCloser> file(imagePath ? std::fopen(imagePath, "rb") : nullptr);
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    long length = std::ftell(file.get());
    if (length < 0)
        return false;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    // The request carries a 32-bit length; a larger file cannot be sent whole.
    if (static_cast<unsigned long>(length) > UINT32_MAX)
        return false;
    std::unique_ptr<void, BufferFree> image(std::malloc(length ? size_t(length) : 1));
    if (!image)
        return false;
    if (std::fread(image.get(), size_t(length), 1, file.get()) != 1)
        return false;
    if (!setBoardReset(handle, 1))
        return false;
    // On a failed transfer the processor stays held in reset.
    if (!anchorDownload(handle, 0x0000, image.get(), uint32_t(length)))
        return false;
    return setBoardReset(handle, 0);
}

bool writeBoardText(BoardHandle handle, const char* text)
{
    uint32_t written = 0;
    return device::writeDevice(handle, text, text ? uint32_t(std::strlen(text)) : 0, &written);
}

bool setBoardLeds(BoardHandle handle, uint8_t pattern)
{
    uint32_t returned = 0;
    return device::ioControl(handle, ezusb::IOCTL_SET_LEDS, &pattern, 1, nullptr, 0, &returned);
}

bool readBoardKeys(BoardHandle handle, uint8_t* buffer, uint32_t& bytesRead)
{
    return device::readDevice(handle, buffer, ezusb::KEY_BLOCK_SIZE, &bytesRead);
}

bool abortBoardRead(BoardHandle handle)
{
    PipeBlock pipe = pipeBlock(ezusb::PIPE_IN);
    uint32_t returned = 0;
    return device::ioControl(handle, ezusb::IOCTL_ABORT_PIPE, pipe.bytes, sizeof pipe.bytes,
                             nullptr, 0, &returned);
}

bool readBoardControls(BoardHandle handle, uint8_t keyBytes[3], int8_t& shuttle, uint8_t& jogLeft,
                       uint8_t& jogRight, uint8_t& keyByte6, uint8_t& keyByte7)
{
    PipeBlock pipe = pipeBlock(ezusb::PIPE_IN);
    uint8_t report[ezusb::CONTROL_REPORT_SIZE] = {};
    uint32_t returned = 0;
    if (!device::ioControl(handle, ezusb::IOCTL_BULK_READ, pipe.bytes, sizeof pipe.bytes, report,
                           sizeof report, &returned))
        return false;
    if (returned < ezusb::CONTROL_REPORT_SIZE)
        return false;
    keyBytes[0] = report[0];
    keyBytes[1] = report[1];
    keyBytes[2] = report[2];
    shuttle = static_cast<int8_t>(report[3]);
    jogLeft = report[4];
    jogRight = report[5];
    keyByte6 = report[6];
    keyByte7 = report[7];
    return true;
}

bool writeBoardLeds(BoardHandle handle, uint8_t ledByte, uint8_t flagByte)
{
    PipeBlock pipe = pipeBlock(ezusb::PIPE_LEDS);
    uint8_t block[2] = {flagByte, ledByte};
    uint32_t returned = 0;
    return device::ioControl(handle, ezusb::IOCTL_BULK_WRITE, pipe.bytes, sizeof pipe.bytes, block,
                             sizeof block, &returned);
}
