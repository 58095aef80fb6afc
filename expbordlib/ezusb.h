// Facts of the EZ-USB general-purpose driver and the AN21xx chip that the
// board library relies on.
#pragma once

#include <cstdint>

namespace ezusb {

// CTL_CODE(FILE_DEVICE_UNKNOWN = 0x22, function, method, FILE_ANY_ACCESS).
constexpr uint32_t ctlCode(uint32_t function, uint32_t method)
{
    return (0x22u << 16) | (0u << 14) | (function << 2) | method;
}

constexpr uint32_t METHOD_BUFFERED = 0;
constexpr uint32_t METHOD_IN_DIRECT = 1;
constexpr uint32_t METHOD_OUT_DIRECT = 2;

constexpr uint32_t IOCTL_ANCHOR_DOWNLOAD = ctlCode(0x81B, METHOD_IN_DIRECT);
constexpr uint32_t IOCTL_SET_LEDS = ctlCode(0x832, METHOD_BUFFERED);
constexpr uint32_t IOCTL_ABORT_PIPE = ctlCode(0x80F, METHOD_IN_DIRECT);
constexpr uint32_t IOCTL_BULK_READ = ctlCode(0x813, METHOD_OUT_DIRECT);
constexpr uint32_t IOCTL_BULK_WRITE = ctlCode(0x814, METHOD_IN_DIRECT);

static_assert(IOCTL_ANCHOR_DOWNLOAD == 0x0022206D);
static_assert(IOCTL_SET_LEDS == 0x002220C8);
static_assert(IOCTL_ABORT_PIPE == 0x0022203D);
static_assert(IOCTL_BULK_READ == 0x0022204E);
static_assert(IOCTL_BULK_WRITE == 0x00222051);

// AN21xx-class chips: CPUCS bit 0 holds the 8051 in reset. (FX2 moved it to 0xE600.)
constexpr uint16_t CPUCS_ADDRESS = 0x7F92;

// What the anchor download can reach on an AN21xx: code/data RAM and the
// register block at the top of the 32 KiB window.
struct MemoryRegion {
    uint16_t first;
    uint16_t last;
};
constexpr MemoryRegion ANCHOR_REGIONS[] = {{0x0000, 0x1B3F}, {0x7B40, 0x7FFF}};

// Pipe 0 carries data from the board; pipe 1 the jog LED block to it.
constexpr uint32_t PIPE_IN = 0;
constexpr uint32_t PIPE_LEDS = 1;

constexpr uint32_t KEY_BLOCK_SIZE = 64;
constexpr uint32_t CONTROL_REPORT_SIZE = 8;

} // namespace ezusb
