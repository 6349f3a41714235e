#pragma once
// The XMODEM sending side, 8-bit arithmetic checksum only: firmware files in
// 1024-byte blocks and loader images in 128-byte blocks.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/clock.h"
#include "platform/port.h"
#include "update/loader_images.h"

namespace ferrolan {

struct UpdateContext;

namespace xmodem {
inline constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEot = 0x04, kAck = 0x06, kNak = 0x15, kSub = 0x1A;
inline constexpr size_t kFileBlock = 1024;
inline constexpr size_t kLoaderBlock = 128;
inline constexpr size_t kFrameOverhead = 4;  // start byte, number, complement, checksum
}  // namespace xmodem

// Low 8 bits of the byte sum.
uint8_t xmodemChecksum(std::span<const uint8_t> data);

// Three NAKs in a row within 11 s; silence keeps the count, other bytes
// reset it.
bool waitForNak(Port& port, Clock& clock);
// An ACK within 16 s; other bytes are ignored.
bool waitForAck(Port& port, Clock& clock);

// Sends ctx.update.updateFile from its current position: exactly the size
// it was opened with, failing when it ends early or changes meanwhile. Texts to the
// TextLog, progress to the Text page's bar.
bool xmodemSendFile(UpdateContext& ctx);
// Sends the loader image of the generation. Texts to the Update Firmware
// dialog's status, progress to its bar.
bool xmodemSendLoader(UpdateContext& ctx, ReceiverGeneration generation);

}  // namespace ferrolan
