#include "link/vbi_commands.h"

#include <algorithm>

#include "link/line_waits.h"
#include "link/link_context.h"
#include "link/serial_session.h"
#include "platform/line_speeds.h"

namespace ferrolan {

namespace {

constexpr uint32_t kAckSeconds = 11;
constexpr uint32_t kBaudPauseMs = 5000;

}  // namespace

uint8_t vbiBaudRateCode(int baud) {
  const LineSpeed* speed = baud > 0 ? lineSpeedFor(static_cast<uint32_t>(baud)) : nullptr;
  return speed ? speed->frameCode : 0x00;
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
  if (ctx.session.protocolMode != ProtocolMode::Vbi) return false;

  return awaitVbiAck(*port, ctx.clock, VbiAckTable[static_cast<size_t>(row)][2], kAckSeconds);
}

bool sendEphemerisEpilogue(LinkContext& ctx) {
  // The prologue emptied the TextLog; the upload's line between the two
  // is its only report and stays.
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
