#pragma once
// "LTE.bin", the long-term ephemeris file: a text header line, then records
// back to back, each a short text part (start time, byte count) and a run
// of VBI frames the receiver takes as they are. This walks a file's bytes
// and picks the record for a time; it reads nothing outside the bytes it
// is given, whatever they claim.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ferrolan {

// The whole file is read into a buffer of this size; a larger file is refused.
inline constexpr size_t kLteBufferSize = 131072;
inline constexpr size_t kLteMinimumSize = 1024;
// Added to the GPS time before it is compared with the records' times.
inline constexpr uint32_t kLteTimeOffset = 315964811;
// A record with time t is valid from t to t + 14400 inclusive.
inline constexpr uint32_t kLteValidSeconds = 14400;

// The header ends at the first line feed in its first 18 bytes; without
// one the records begin at byte 19.
inline constexpr size_t kLteHeaderSearch = 18;
inline constexpr size_t kLteHeaderlessStart = 19;
// Within a record: the time at byte 0, the byte count at byte 22; the text
// part is 27 bytes with a 3-digit count, 28 with a 4-digit one.
inline constexpr size_t kLteCountOffset = 22;
inline constexpr size_t kLteShortText = 27;
inline constexpr size_t kLteLongText = 28;
inline constexpr uint32_t kLteShortCountMax = 999;
// A frame is its length byte (frame byte 4) plus its 8 header bytes.
inline constexpr size_t kLteFrameLengthByte = 4;
inline constexpr size_t kLteFrameOverhead = 8;

static_assert(kLteMinimumSize <= kLteBufferSize);
static_assert(kLteHeaderlessStart + kLteLongText < kLteMinimumSize, "a minimal file holds a record's text part");
static_assert(kLteShortText == kLteCountOffset + 3 + 2 && kLteLongText == kLteShortText + 1);

// Decimal text at `offset` as the platform's atoi reads it, but unsigned:
// leading blanks skipped, then digits up to the first non-digit or the end
// of the bytes. 0 when there are none; saturates at UINT32_MAX.
uint32_t lteDecimal(std::span<const uint8_t> bytes, size_t offset);

// Where the first record begins.
size_t lteFirstRecord(std::span<const uint8_t> file);

enum class LteFit {
  Valid,           // a record's window holds the time: its frames are below
  AllExpired,      // the walk reached the end of the data: no record fits
  StartsInFuture,  // the first record not expired starts after the time
  NoFrames,        // the record that fits holds no frame marker
};

struct LteFrame {
  size_t offset = 0;  // in the file
  size_t length = 0;  // always within the record and the file
};

struct LteChoice {
  LteFit fit = LteFit::AllExpired;
  size_t record = 0;         // the record's offset in the file (Valid, StartsInFuture, NoFrames)
  uint32_t startTime = 0;    // its time
  uint32_t count = 0;        // its byte count
  std::vector<LteFrame> frames;
  // Bytes of the record's frame part that are in no frame sent: stray
  // bytes between frames, a frame that runs past the record or the file
  // with all that follows it, and what the record claims past the file.
  size_t lostBytes = 0;
  bool cut = false;  // a frame or the record itself runs past the data
};

// The first record whose window holds `fileTime` (a GPS time plus
// kLteTimeOffset), walking from the first record until one is valid, one
// starts in the future, or the data ends. A record whose text part does
// not fit in the data ends the walk as the end of the data does. For a
// valid record the frames are found from the first byte that is 0x81 or
// is followed by 0xFF, up to the record's end or the file's, whichever
// comes first; a frame that does not fit ends them.
LteChoice chooseLteRecord(std::span<const uint8_t> file, uint32_t fileTime);

}  // namespace ferrolan
