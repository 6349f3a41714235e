// The ephemeris file walker on arbitrary file contents and times: the first
// four bytes are the time, the rest the file. Every frame it hands back
// must lie inside the file and inside its record, start with the frame
// marker and be as long as its length byte says; lost bytes are bytes of
// the record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "ephemeris/lte_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan;
  if (size < 4 || size - 4 > kLteBufferSize) return 0;
  const uint32_t time = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | uint32_t{data[3]} << 24;
  const std::span<const uint8_t> file(data + 4, size - 4);
  const LteChoice c = chooseLteRecord(file, time);
  if (c.fit != LteFit::Valid && (!c.frames.empty() || c.lostBytes != 0)) __builtin_trap();
  if (c.fit == LteFit::AllExpired) return 0;
  if (c.record >= file.size()) __builtin_trap();
  const uint64_t text = c.count > kLteShortCountMax ? kLteLongText : kLteShortText;
  const uint64_t recordEnd = c.record + text + c.count;
  size_t previousEnd = c.record;
  uint64_t inFrames = 0;
  for (const LteFrame& f : c.frames) {
    if (f.offset < previousEnd || f.length > file.size() || f.offset > file.size() - f.length) __builtin_trap();
    if (f.offset + f.length > recordEnd) __builtin_trap();
    if (file[f.offset] != 0x81 || file[f.offset + 1] != 0xFF) __builtin_trap();
    if (f.length != file[f.offset + kLteFrameLengthByte] + kLteFrameOverhead) __builtin_trap();
    previousEnd = f.offset + f.length;
    inFrames += f.length;
  }
  if (inFrames + c.lostBytes > recordEnd - c.record) __builtin_trap();
  return 0;
}
