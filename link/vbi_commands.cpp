#include "link/vbi_commands.h"

#include <algorithm>

#include "link/link_context.h"

namespace ferrolan {

namespace {

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

constexpr std::array<VbiCommandRow, kVbiCommandRows> kCommandRows = {{
    commandRow(0x0B, {0x61, 0x06}, 2),
    commandRow(0x0B, {0x61, 0x02}, 2),
    commandRow(0x0B, {0x61, 0x0A}, 2),
    commandRow(0x02, {0x08, 0, 0, 0, 0, 0}, 6),
    commandRow(0x02, {0x48, 0, 0, 0, 0, 0}, 6),
    commandRow(0x02, {0x58, 0, 0, 0, 0, 0}, 6),
    commandRow(0x0B, {0x21, 0x02}, 2),
    VbiCommandRow{},
}};

// The table is the receiver's contract: pin the stored checksums of the
// rows the program sends.
static_assert(kCommandRows[0][6] == 0x8C && kCommandRows[0][7] == 0xFF);
static_assert(kCommandRows[1][6] == 0x90 && kCommandRows[2][6] == 0x88);
static_assert(kCommandRows[3][6] == 0xF0 && kCommandRows[4][6] == 0xB0 && kCommandRows[5][6] == 0xA0);
static_assert(kCommandRows[6][6] == 0xD0 && kCommandRows[6][7] == 0xFF);

constexpr uint32_t kAckSeconds = 11;
constexpr uint32_t kBaudPauseMs = 5000;

}  // namespace

const std::array<VbiCommandRow, kVbiCommandRows> VbiCommandTable = kCommandRows;

const std::array<VbiAckRow, kVbiAckRows> VbiAckTable = {{
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x0B},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x02},
    {kVbiSync1, kVbiSync2, 0x0B},
}};

uint8_t vbiBaudRateCode(int baud) {
  switch (baud) {
    case 4800: return 0x21;
    case 9600: return 0x29;
    case 19200: return 0x31;
    case 38400: return 0x39;
    case 57600: return 0x41;
    case 115200: return 0x49;
    default: return 0x00;
  }
}

std::array<uint8_t, kVbiBaudFrameSize> vbiBaudRateFrame(int baud) {
  const std::array<uint8_t, 8> payload{vbiBaudRateCode(baud)};
  return makeVbiFrame<kVbiBaudFrameSize>(0x000A, payload);
}

bool gpsSendVBICommand(LinkContext& ctx, int row, int count) {
  if (row < 0 || row >= kVbiCommandRows) return false;
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open...");
    return false;
  }
  ctx.textLog.append("Send Cmd.. Wait 10 seconds...");
  // A count past the row would send bytes that are not the command.
  const size_t n = count <= 0 ? 0 : std::min(static_cast<size_t>(count), kVbiRowSize);
  const VbiCommandRow& bytes = VbiCommandTable[static_cast<size_t>(row)];
  // Byte by byte, so a failed write is noticed where it happens; twice.
  for (int copy = 0; copy < 2; ++copy) {
    for (size_t i = 0; i < n; ++i) {
      if (!port->write(&bytes[i], 1)) {
        ctx.textLog.append("Write COM Port failed...");
        return false;
      }
    }
  }
  if (row >= 2) return true;
  if (ctx.session.protocolMode != kModeVbi) return false;

  const uint8_t expectedId = VbiAckTable[static_cast<size_t>(row)][2];
  enum class Ack { Sync1, Sync2, Id } state = Ack::Sync1;
  const uint32_t start = ctx.clock.tickCount();
  for (;;) {
    uint8_t b;
    if (!port->readByte(b)) {
      state = Ack::Sync1;
    } else {
      switch (state) {
        case Ack::Sync1:
          if (b == kVbiSync1) state = Ack::Sync2;
          break;
        case Ack::Sync2:
          state = b == kVbiSync2 ? Ack::Id : Ack::Sync1;
          break;
        case Ack::Id:
          if (b == expectedId) return true;
          state = Ack::Sync1;
          break;
      }
    }
    if (elapsedSeconds(ctx.clock, start) >= kAckSeconds) return false;
  }
}

bool sendEphemerisEpilogue(LinkContext& ctx) {
  ctx.textLog.reset();
  ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  return gpsSendVBICommand(ctx, vbiRows::kEphemerisEpilogue, kVbiCommandSendCount);
}

void sendVbiBaudRate(LinkContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open..\r\n");
    return;
  }
  ctx.textLog.append("SendVBICommand set baud rate.. Wait..\r\n");
  const auto frame = vbiBaudRateFrame(ctx.session.targetBaud);
  for (uint8_t b : frame) {
    if (!port->write(&b, 1)) {
      ctx.textLog.append("Write COM Port failed..\r\n");
      return;
    }
  }
}

void switchBaudRate(LinkContext& ctx) {
  ctx.textLog.reset();
  ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  const int baud = ctx.session.targetBaud;
  LineSettings line;
  auto port = ctx.session.portHandle.get();
  if (!port || !port->getLineSettings(line)) {
    ctx.ui.messageBox(WindowId::TextPage, "Fail To GetCommState", "Error", kMbOk);
  }
  ctx.clock.sleepMs(kBaudPauseMs);
  ctx.textLog.append(format("Baud rate switch to %d: telling the receiver..", baud));
  sendVbiBaudRate(ctx);
  ctx.textLog.append("Baud rate frame sent, wait 5 seconds..");
  ctx.clock.sleepMs(kBaudPauseMs);
  ctx.textLog.append(format("Setting the local port to %d baud..", baud));
  // The receiver already talks at the new rate, so re-rate whatever port
  // is open now.
  port = ctx.session.portHandle.get();
  if (!port || !port->setLineSettings(withReceiverLine(line, static_cast<uint32_t>(baud)))) {
    ctx.ui.messageBox(WindowId::TextPage, "Fail To SetCommState", "Error", kMbOk);
  }
}

}  // namespace ferrolan
