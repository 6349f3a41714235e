#pragma once
// Binary (VBI) command frames: the fixed table of prepared commands with the
// acknowledgement each awaits, the sender, and the receiver baud-rate switch.

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/vbi_frame.h"

namespace ferrolan {

struct LinkContext;

inline constexpr size_t kVbiRowSize = 14;
inline constexpr int kVbiCommandRows = 8;
inline constexpr int kVbiAckRows = 7;  // rows 0 to 6 carry an acknowledgement id
inline constexpr size_t kVbiAckSize = 3;

using VbiCommandRow = std::array<uint8_t, kVbiRowSize>;
using VbiAckRow = std::array<uint8_t, kVbiAckSize>;  // 0x81, 0xFF, expected id

namespace vbiRows {
constexpr VbiCommandRow commandRow(uint16_t id, std::array<uint8_t, 6> payload, size_t n) {
  VbiCommandRow r{};
  r[0] = kVbiSync1;
  r[1] = kVbiSync2;
  putLe16(r, kVbiIdOffset, id);
  putLe16(r, kVbiLengthOffset, static_cast<uint16_t>(n));
  for (size_t i = 0; i < n; ++i) r[kVbiHeaderSize + i] = payload[i];
  putLe16(r, kVbiChecksumOffset, vbiChecksum(r, n));
  return r;
}
}  // namespace vbiRows

// Row 7 is empty: the receiver's table has the slot, nothing sends it.
inline constexpr std::array<VbiCommandRow, kVbiCommandRows> VbiCommandTable = {{
    vbiRows::commandRow(0x0B, {0x61, 0x06}, 2),
    vbiRows::commandRow(0x0B, {0x61, 0x02}, 2),
    vbiRows::commandRow(0x0B, {0x61, 0x0A}, 2),
    vbiRows::commandRow(0x02, {0x08, 0, 0, 0, 0, 0}, 6),
    vbiRows::commandRow(0x02, {0x48, 0, 0, 0, 0, 0}, 6),
    vbiRows::commandRow(0x02, {0x58, 0, 0, 0, 0, 0}, 6),
    vbiRows::commandRow(0x0B, {0x21, 0x02}, 2),
    VbiCommandRow{},
}};

inline constexpr std::array<VbiAckRow, kVbiAckRows> VbiAckTable = {{
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x0B},
}};

namespace vbiRows {
// Every stored row is a frame whose checksum holds and whose id is the
// one its acknowledgement names; and the receiver's contract pins the
// checksums of the rows the program sends.
constexpr bool rowsHold() {
  for (size_t i = 0; i < kVbiAckRows; ++i) {
    if (!vbiChecksumValid(VbiCommandTable[i])) return false;
    if (getLe16(VbiCommandTable[i], kVbiIdOffset) != VbiAckTable[i][2]) return false;
  }
  return true;
}
static_assert(rowsHold());
static_assert(VbiCommandTable[0][6] == 0x8C && VbiCommandTable[0][7] == 0xFF);
static_assert(VbiCommandTable[1][6] == 0x90 && VbiCommandTable[2][6] == 0x88);
static_assert(VbiCommandTable[3][6] == 0xF0 && VbiCommandTable[4][6] == 0xB0 && VbiCommandTable[5][6] == 0xA0);
static_assert(VbiCommandTable[6][6] == 0xD0 && VbiCommandTable[6][7] == 0xFF);
}  // namespace vbiRows

namespace vbiRows {
inline constexpr int kFlashKernelEntry = 0, kFirmwareEntry = 1, kFsaEntry = 2, kEphemerisEpilogue = 6;
}
// What every caller sends of a row: the header and a 2-byte payload.
inline constexpr int kVbiCommandSendCount = 10;

// The 16-byte baud-rate frame; the rate code is 0x00 for a rate the
// receiver does not know.
inline constexpr size_t kVbiBaudFrameSize = 16;
uint8_t vbiBaudRateCode(int baud);
std::array<uint8_t, kVbiBaudFrameSize> vbiBaudRateFrame(int baud);

// Writes the first `count` bytes of a row twice, one byte per write call, and
// for rows 0 and 1 awaits 0x81 0xFF and the row's id for 11 seconds (VBI
// mode only). The caller keeps the receive thread off the port.
bool gpsSendVBICommand(LinkContext& ctx, int row, int count);
bool sendEphemerisEpilogue(LinkContext& ctx);
void sendVbiBaudRate(LinkContext& ctx);
// Tells the receiver `targetBaud`, then re-rates the local port to it.
void switchBaudRate(LinkContext& ctx);

}  // namespace ferrolan
