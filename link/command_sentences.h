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

inline constexpr int kCommandRows = 16;
extern const std::array<CommandSentenceRow, kCommandRows> CommandSentenceTable;

// Row numbers by purpose.
namespace rows {
inline constexpr int kFlashKernelEntry = 0, kFirmwareEntry = 1, kVersionQuery = 2, kFsaEntry = 3,
                     kAllImageEntry = 4, kHotStart = 5, kWarmStart = 6, kColdStart = 7, kToNmea = 8,
                     kEphemerisPrologue = 10, kToVbi = 11;
}

// XOR of the bytes strictly between "$" and "*" (or the end).
uint8_t nmeaChecksum(std::string_view sentence);
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
