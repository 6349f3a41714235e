#pragma once
// Proprietary "$PKRV" command sentences: the fixed table, composition with
// checksum, and the senders that await the "$PKRV200,NN" acknowledgement.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferrolan {

struct LinkContext;

inline constexpr size_t kSentenceSlot = 40;
inline constexpr size_t kAckSlot = 20;
inline constexpr size_t kSentenceSendLength = 23;  // sentence plus zero padding, per copy
inline constexpr size_t kAckCompareLength = 10;    // the bytes after "$" that are compared
inline constexpr size_t kComposeLimit = 128;       // composed text, terminator included

struct CommandSentenceRow {
  std::array<char, kSentenceSlot> sentence;
  std::array<char, kAckSlot> ack;
};

// XOR of the bytes strictly between "$" and "*" (or the end).
constexpr uint8_t nmeaChecksum(std::string_view sentence) {
  uint8_t sum = 0;
  size_t i = (!sentence.empty() && sentence[0] == '$') ? 1 : 0;
  for (; i < sentence.size() && sentence[i] != '*'; ++i) sum ^= static_cast<uint8_t>(sentence[i]);
  return sum;
}

// True when the two hex digits after "*" are the sentence's checksum; a
// text with no "*" carries none to check.
constexpr bool checksumHolds(std::string_view sentence) {
  // A plain loop: the library's find is not constant under the sanitizers.
  size_t star = 0;
  while (star < sentence.size() && sentence[star] != '*') ++star;
  if (star == sentence.size()) return true;
  if (sentence.size() - star < 3) return false;
  auto hex = [](char c) -> int {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  const int hi = hex(sentence[star + 1]), lo = hex(sentence[star + 2]);
  return hi >= 0 && lo >= 0 && nmeaChecksum(sentence) == hi * 16 + lo;
}

namespace sentenceRows {
template <size_t N>
constexpr std::array<char, N> slot(std::string_view text) {
  std::array<char, N> a{};
  for (size_t i = 0; i < text.size() && i < N; ++i) a[i] = text[i];
  return a;
}
constexpr CommandSentenceRow row(std::string_view sentence, std::string_view ack) {
  return {slot<kSentenceSlot>(sentence), slot<kAckSlot>(ack)};
}
}  // namespace sentenceRows

inline constexpr int kCommandRows = 16;
inline constexpr std::array<CommandSentenceRow, kCommandRows> CommandSentenceTable = {{
    sentenceRows::row("$PKRV11,1,0,6,2,1*07\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV11,1,0,6,2,0*06\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV14,8*0E\r\n", "$PKRV200,14"),
    sentenceRows::row("$PKRV11,1,0,6,2,2*04\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV11,1,0,6,2,3*05\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV02,0*01\r\n", "$PKRV200,02"),
    sentenceRows::row("$PKRV02,48*3D\r\n", "$PKRV200,02"),
    sentenceRows::row("$PKRV02,58*3C\r\n", "$PKRV200,02"),
    sentenceRows::row("$PKRV11,1,1,2,2,0*03\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV11,1,1,1,2,0*00\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV11,1,0,1,2,0*01\r\n", "$PKRV200,11"),
    sentenceRows::row("$PKRV11,1,1,7,0*18\r\n", "$PKRV200,11"),
    sentenceRows::row("Dummy", "$PKRV200,41"),
    sentenceRows::row("$PKRV09,2,6*12\r\n", "$PKRV200,09"),
    sentenceRows::row("$PKRV09,2,2*16\r\n", "$PKRV200,09"),
    sentenceRows::row("$PKRV09,,*16\r\n", "$PKRV200,09"),
}};

namespace sentenceRows {
constexpr bool everyChecksumHolds() {
  for (const CommandSentenceRow& r : CommandSentenceTable) {
    size_t n = 0;
    while (n < r.sentence.size() && r.sentence[n] != '\0') ++n;
    const std::string_view text(r.sentence.data(), n);
    if (!checksumHolds(text)) return false;
    // What is sent of a row must hold the whole sentence.
    if (text.size() > kSentenceSendLength) return false;
  }
  return true;
}
static_assert(everyChecksumHolds());
}  // namespace sentenceRows

// Row numbers by purpose.
namespace rows {
inline constexpr int kFlashKernelEntry = 0, kFirmwareEntry = 1, kVersionQuery = 2, kFsaEntry = 3,
                     kAllImageEntry = 4, kHotStart = 5, kWarmStart = 6, kColdStart = 7, kToNmea = 8,
                     kEphemerisPrologue = 10, kToVbi = 11;
}

// "$PKRV08,5" -> "$PKRV08,5*0E\r\n"; the text is cut to 127 bytes first.
std::string composeSentence(std::string_view body);

// A restart's line when no satellite display is registered to clear.
inline constexpr const char* kNoSatelliteDisplayText = "No satellite display registered to clear..";

void writeText(LinkContext& ctx, std::string_view text);
bool gpsSendNMEACommand(LinkContext& ctx, int row);
bool gpsHotStart(LinkContext& ctx);
bool gpsWarmStart(LinkContext& ctx);
bool gpsColdStart(LinkContext& ctx);
bool sendSwitchToNmea(LinkContext& ctx);
bool sendSwitchToVbi(LinkContext& ctx);
bool sendEphemerisPrologue(LinkContext& ctx);

}  // namespace ferrolan
