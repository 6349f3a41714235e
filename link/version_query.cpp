#include "link/version_query.h"

#include <array>
#include <string_view>

#include "core/text.h"
#include "link/command_sentences.h"
#include "link/line_waits.h"
#include "link/link_context.h"
#include "link/serial_session.h"

namespace ferrolan {

namespace {

constexpr uint32_t kReplySeconds = 4;
constexpr uint32_t kFailurePauseMs = 1000;
constexpr std::string_view kReplyTag = "PKRV100";  // after the "$"
constexpr size_t kSeparators = 4;

}  // namespace

std::optional<VersionReply> parseVersionReply(std::span<const uint8_t> bytes) {
  size_t length = 0;
  while (length < bytes.size() && length < kVersionReplyBytes && bytes[length] != 0) ++length;

  std::array<size_t, kSeparators> ends{};
  size_t found = 0;
  for (size_t i = 1; i < length && found < kSeparators; ++i) {
    if (bytes[i] == ',') ends[found++] = i;
  }
  if (found < kSeparators) return std::nullopt;

  auto field = [&](size_t from, size_t to) -> std::optional<std::string> {
    const size_t n = to - from;  // from <= to: separators are in order
    if (n > kVersionFieldCapacity - 1) return std::nullopt;
    // Each received byte is one character (Latin-1), kept as UTF-8 for display.
    return latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data() + from), n));
  };
  auto major = field(ends[1] + 1, ends[2]);
  auto minor = field(ends[2] + 1, ends[3]);
  if (!major || !minor) return std::nullopt;
  return VersionReply{std::move(*major), std::move(*minor)};
}

void queryFirmwareVersion(LinkContext& ctx) {
  ctx.textLog.reset();
  ctx.ui.setText(WindowId::InfoPage, ids::kInfoVersion, "Wait...");
  if (!gpsSendNMEACommand(ctx, rows::kVersionQuery)) {
    ctx.textLog.append("Failed To Get Version \r\n");
    ctx.clock.sleepMs(kFailurePauseMs);
    return;
  }
  auto port = ctx.session.portHandle.get();
  if (!port) return;  // gpsSendNMEACommand answered true, so it was open

  // The acknowledgement had its own window; the reply gets a fresh one.
  if (!awaitTag(*port, ctx.clock, kReplyTag, kReplySeconds)) return;

  // A fixed number of reads: the tail of the reply and whatever follows it.
  std::array<uint8_t, kVersionReplyBytes> reply{};
  size_t got = 0;
  for (size_t i = 0; i < kVersionReplyBytes; ++i) {
    uint8_t c;
    if (port->readByte(c)) reply[got++] = c;
  }
  const auto version = parseVersionReply(std::span<const uint8_t>(reply.data(), got));
  if (!version) {
    ctx.textLog.append("Failed To Get Version \r\n");
    return;
  }
  const std::string line = format("Current FW:%s.%s", version->major.c_str(), version->minor.c_str());
  ctx.textLog.append(line);
  ctx.ui.setText(WindowId::InfoPage, ids::kInfoVersion, line);
  ctx.session.firmwareVersion = decimalValue(version->major);
}

}  // namespace ferrolan
