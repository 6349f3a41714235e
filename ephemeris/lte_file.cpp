#include "ephemeris/lte_file.h"

#include "link/vbi_frame.h"

namespace ferrolan {

namespace {

bool isBlank(uint8_t b) { return b == ' ' || (b >= '\t' && b <= '\r'); }

// The record at `at`: its time, its count and where it ends (past the
// data when the file is cut short). False when its text part does not fit.
struct Record {
  uint32_t time = 0;
  uint32_t count = 0;
  uint64_t end = 0;
};

bool readRecord(std::span<const uint8_t> file, size_t at, Record& r) {
  if (at >= file.size() || file.size() - at <= kLteCountOffset) return false;
  const auto record = file.subspan(at);
  r.time = lteDecimal(record, 0);
  r.count = lteDecimal(record, kLteCountOffset);
  const size_t text = r.count > kLteShortCountMax ? kLteLongText : kLteShortText;
  if (record.size() < text) return false;
  r.end = uint64_t{at} + text + r.count;
  return true;
}

// The frames of the record [at, end), end already within the file.
void walkFrames(std::span<const uint8_t> file, size_t at, size_t end, LteChoice& out) {
  size_t s = at;
  while (s < end && file[s] != kVbiSync1 && !(s + 1 < end && file[s + 1] == kVbiSync2)) ++s;
  if (s == end) {
    out.fit = LteFit::NoFrames;
    return;
  }
  while (s < end) {
    const bool marker = end - s >= 2 && file[s] == kVbiSync1 && file[s + 1] == kVbiSync2;
    if (!marker) {
      ++s;
      ++out.lostBytes;
      continue;
    }
    // A frame whose length byte, or whose length, lies past the record or
    // the file is not sent, and nor is anything after it.
    if (end - s <= kLteFrameLengthByte || end - s < file[s + kLteFrameLengthByte] + kLteFrameOverhead) {
      out.lostBytes += end - s;
      out.cut = true;
      return;
    }
    const size_t length = file[s + kLteFrameLengthByte] + kLteFrameOverhead;
    out.frames.push_back({s, length});
    s += length;
  }
}

}  // namespace

uint32_t lteDecimal(std::span<const uint8_t> bytes, size_t offset) {
  size_t i = offset;
  while (i < bytes.size() && isBlank(bytes[i])) ++i;
  uint64_t value = 0;
  for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
    value = value * 10 + (bytes[i] - '0');
    if (value > UINT32_MAX) value = UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

size_t lteFirstRecord(std::span<const uint8_t> file) {
  for (size_t i = 0; i < kLteHeaderSearch && i < file.size(); ++i)
    if (file[i] == '\n') return i + 1;
  return kLteHeaderlessStart;
}

LteChoice chooseLteRecord(std::span<const uint8_t> file, uint32_t fileTime) {
  LteChoice out;
  size_t at = lteFirstRecord(file);
  Record r;
  while (readRecord(file, at, r)) {
    if (uint64_t{fileTime} > uint64_t{r.time} + kLteValidSeconds) {
      if (r.end >= file.size()) break;  // the next record would start past the data
      at = static_cast<size_t>(r.end);
      continue;
    }
    out.record = at;
    out.startTime = r.time;
    out.count = r.count;
    if (fileTime < r.time) {
      out.fit = LteFit::StartsInFuture;
      return out;
    }
    out.fit = LteFit::Valid;
    walkFrames(file, at, static_cast<size_t>(r.end < file.size() ? r.end : file.size()), out);
    if (out.fit == LteFit::Valid && r.end > file.size()) {
      out.lostBytes += static_cast<size_t>(r.end - file.size());
      out.cut = true;
    }
    return out;
  }
  out.fit = LteFit::AllExpired;
  return out;
}

}  // namespace ferrolan
