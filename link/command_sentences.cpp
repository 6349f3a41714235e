#include "link/command_sentences.h"

#include <cstdio>

#include "link/line_waits.h"
#include "link/link_context.h"
#include "link/serial_session.h"

namespace ferrolan {

namespace {
constexpr uint32_t kAckSeconds = 4;
}  // namespace

std::string composeSentence(std::string_view body) {
  const std::string text(body.substr(0, kComposeLimit - 1));
  uint8_t sum = 0;
  for (size_t i = 1; i < text.size(); ++i) sum ^= static_cast<uint8_t>(text[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return text + tail;
}

void writeText(LinkContext& ctx, std::string_view text) {
  auto port = ctx.session.portHandle.get();
  const bool ok = port && port->write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!ok) ctx.ui.messageBox(std::nullopt, "Write Command fail! Please Check COM port", "Error", kMbOk);
}

bool gpsSendNMEACommand(LinkContext& ctx, int rowNumber) {
  if (rowNumber < 0 || rowNumber >= kCommandRows) return false;
  const CommandSentenceRow& r = CommandSentenceTable[static_cast<size_t>(rowNumber)];
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open..");
    return false;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(r.sentence.data());
  // The first copy byte by byte, the second in one write: the receiver
  // gets the sentence twice, each copy padded with zero bytes.
  for (size_t i = 0; i < kSentenceSendLength; ++i) {
    if (!port->write(bytes + i, 1)) {
      ctx.textLog.append("Write COM Port failed..");
      return false;
    }
  }
  if (!port->write(bytes, kSentenceSendLength)) {
    ctx.textLog.append("Write COM Port failed..");
    return false;
  }
  if (ctx.session.protocolMode != ProtocolMode::Nmea) return false;
  if (rowNumber >= rows::kAllImageEntry && rowNumber <= rows::kColdStart) return true;
  // The acknowledgement's text after its "$".
  return awaitTag(*port, ctx.clock, std::string_view(r.ack.data() + 1, kAckCompareLength), kAckSeconds);
}

namespace {

bool restart(LinkContext& ctx, int rowNumber, const char* closedText, const char* sendText) {
  if (!ctx.session.portHandle.valid()) {
    ctx.ui.setText(WindowId::InfoPage, ids::kInfoTtff, "N/A 0s");
    ctx.textLog.append(closedText);
    return false;
  }
  if (ctx.session.clearSatelliteDisplay)
    ctx.session.clearSatelliteDisplay();
  else
    ctx.textLog.append(kNoSatelliteDisplayText);
  ctx.textLog.append(sendText);
  if (gpsSendNMEACommand(ctx, rowNumber)) {
    ctx.session.restartPending = true;
    return true;
  }
  ctx.textLog.append("Fail in gpsSendNMEACommand\r\n");
  return false;
}

bool freshSend(LinkContext& ctx, int rowNumber) {
  ctx.textLog.reset();
  ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  return gpsSendNMEACommand(ctx, rowNumber);
}

}  // namespace

bool gpsHotStart(LinkContext& ctx) {
  return restart(ctx, rows::kHotStart, "gpsHotStart - COM Port didn't open\r\n", "Send hot-start command.\r\n");
}
bool gpsWarmStart(LinkContext& ctx) {
  return restart(ctx, rows::kWarmStart, "gpsWarmStart - COM Port didn't open\r\n", "Send warm-start command.\r\n");
}
bool gpsColdStart(LinkContext& ctx) {
  return restart(ctx, rows::kColdStart, "gpsColdStart - COM Port didn't open\r\n", "Send cold-start command.\r\n");
}

bool sendSwitchToNmea(LinkContext& ctx) { return freshSend(ctx, rows::kToNmea); }
bool sendSwitchToVbi(LinkContext& ctx) { return freshSend(ctx, rows::kToVbi); }
bool sendEphemerisPrologue(LinkContext& ctx) { return freshSend(ctx, rows::kEphemerisPrologue); }

}  // namespace ferrolan
