// Frames on a board's control socket (ezusb-N.ctl). All integers little-endian.
//
//   request: u32 bodyLength | u32 argc | argc x (u32 length | bytes)
//   reply:   u32 bodyLength | u32 exitCode | output bytes
#pragma once

#include "wireprotocol.h"

#include <span>
#include <string>
#include <vector>

namespace boardsim {

// Commands are short; the reply carries the whole event log.
constexpr uint32_t maxCtlRequestLength = 1u << 20;
constexpr uint32_t maxCtlReplyLength = 1u << 30;

std::string controlSocketName(int board); // "ezusb-N.ctl"
std::string deviceSocketName(int board);  // "ezusb-N"

std::vector<uint8_t> encodeCtlRequest(const std::vector<std::string>& args);
wire::ParseResult parseCtlRequest(std::span<const uint8_t> bytes, std::vector<std::string>& args);
std::vector<uint8_t> encodeCtlReply(int exitCode, const std::string& output);
wire::ParseResult parseCtlReply(std::span<const uint8_t> bytes, int& exitCode, std::string& output);

} // namespace boardsim
