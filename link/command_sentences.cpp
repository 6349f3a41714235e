#include "link/command_sentences.h"

#include <cstdio>

#include "link/link_context.h"

namespace ferrolan {

namespace {

template <size_t N>
constexpr std::array<char, N> slot(std::string_view text) {
  std::array<char, N> a{};
  for (size_t i = 0; i < text.size() && i < N; ++i) a[i] = text[i];
  return a;
}

constexpr CommandSentenceRow row(std::string_view sentence, std::string_view ack) {
  return {slot<kSentenceSlot>(sentence), slot<kAckSlot>(ack)};
}

constexpr uint32_t kAckSeconds = 4;

}  // namespace

const std::array<CommandSentenceRow, kCommandRows> CommandSentenceTable = {{
    row("$PKRV11,1,0,6,2,1*07\r\n", "$PKRV200,11"),
    row("$PKRV11,1,0,6,2,0*06\r\n", "$PKRV200,11"),
    row("$PKRV14,8*0E\r\n", "$PKRV200,14"),
    row("$PKRV11,1,0,6,2,2*04\r\n", "$PKRV200,11"),
    row("$PKRV11,1,0,6,2,3*05\r\n", "$PKRV200,11"),
    row("$PKRV02,0*01\r\n", "$PKRV200,02"),
    row("$PKRV02,48*3D\r\n", "$PKRV200,02"),
    row("$PKRV02,58*3C\r\n", "$PKRV200,02"),
    row("$PKRV11,1,1,2,2,0*03\r\n", "$PKRV200,11"),
    row("$PKRV11,1,1,1,2,0*00\r\n", "$PKRV200,11"),
    row("$PKRV11,1,0,1,2,0*01\r\n", "$PKRV200,11"),
    row("$PKRV11,1,1,7,0*18\r\n", "$PKRV200,11"),
    row("Dummy", "$PKRV200,41"),
    row("$PKRV09,2,6*12\r\n", "$PKRV200,09"),
    row("$PKRV09,2,2*16\r\n", "$PKRV200,09"),
    row("$PKRV09,,*16\r\n", "$PKRV200,09"),
}};

uint8_t nmeaChecksum(std::string_view sentence) {
  uint8_t sum = 0;
  size_t i = (!sentence.empty() && sentence[0] == '$') ? 1 : 0;
  for (; i < sentence.size() && sentence[i] != '*'; ++i) sum ^= static_cast<uint8_t>(sentence[i]);
  return sum;
}

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
  if (ctx.session.protocolMode != kModeNmea) return false;
  const uint32_t start = ctx.clock.tickCount();
  if (rowNumber >= rows::kAllImageEntry && rowNumber <= rows::kColdStart) return true;
  for (;;) {
    uint8_t b;
    if (port->readByte(b) && b == '$') {
      bool match = true;
      for (size_t k = 0; k < kAckCompareLength; ++k) {
        uint8_t c;
        if (!port->readByte(c) || c != static_cast<uint8_t>(r.ack[k + 1])) match = false;
      }
      if (match) return true;
    }
    if (elapsedSeconds(ctx.clock, start) >= kAckSeconds) return false;
  }
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
    ctx.session.restartPending = 1;
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
