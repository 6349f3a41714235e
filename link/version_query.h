#pragma once
// The firmware version query: "$PKRV14,8" out, "$PKRV100,..." back, whose
// third and fourth fields are the major and minor version.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ferrolan {

struct LinkContext;

inline constexpr size_t kVersionReplyBytes = 128;  // read after the "$PKRV100" tag
inline constexpr size_t kVersionFieldCapacity = 32;  // terminator included

struct VersionReply {
  std::string major;  // at most 31 characters each, one per received byte,
  std::string minor;  // as UTF-8
};

// Parses the bytes that followed the "$PKRV100" tag (the first is the ","
// after it). Only the first 128 bytes count, and a zero byte ends the text.
// Counting from the second character, the first four "," end fields 1 to 4;
// major is field 3 and minor field 4, either may be empty.
//
// No version, rather than a guess, when the text holds fewer than four such
// separators or when field 3 or 4 is longer than 31 characters: a cut-off
// reply or a runaway field says nothing reliable about the firmware.
std::optional<VersionReply> parseVersionReply(std::span<const uint8_t> bytes);

// Asks the receiver, shows "Current FW:major.minor" and keeps the major
// number in firmwareVersion. A reply the parser rejects leaves
// firmwareVersion unchanged and logs "Failed To Get Version \r\n". The
// caller keeps the receive thread off the port.
void queryFirmwareVersion(LinkContext& ctx);

}  // namespace ferrolan
