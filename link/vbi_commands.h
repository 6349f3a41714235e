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

extern const std::array<VbiCommandRow, kVbiCommandRows> VbiCommandTable;
extern const std::array<VbiAckRow, kVbiAckRows> VbiAckTable;

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
