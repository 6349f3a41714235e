#pragma once
// Writes long-term ephemeris files in the layout the upload reads: a header
// line, then records of a text part (time padded to 22 characters, the
// byte count in 3 or 4 digits, CR LF) and their VBI frames. For the tests,
// the fuzz seeds and the simulator runs; every file is made here.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "link/vbi_frame.h"

namespace ferrolan::test {

using LteBytes = std::vector<uint8_t>;

inline constexpr const char* kLteHeader = "FERROLAN-LTE 1\n";

// A frame with a valid checksum and a payload of n bytes drawn from `seed`.
inline LteBytes lteFrame(uint8_t n, uint8_t seed, uint16_t id = 0x51) {
  LteBytes f(kVbiHeaderSize + n);
  f[0] = kVbiSync1;
  f[1] = kVbiSync2;
  putLe16(f, kVbiIdOffset, id);
  putLe16(f, kVbiLengthOffset, n);
  for (size_t i = 0; i < n; ++i) f[kVbiHeaderSize + i] = static_cast<uint8_t>(seed + 7 * i);
  putLe16(f, kVbiChecksumOffset, vbiChecksum(f, n));
  return f;
}

// `frames` frames of `payload` bytes each, the body of one record.
inline LteBytes lteFrames(int frames, uint8_t payload, uint8_t seed = 1) {
  LteBytes body;
  for (int i = 0; i < frames; ++i) {
    const LteBytes f = lteFrame(payload, static_cast<uint8_t>(seed + i));
    body.insert(body.end(), f.begin(), f.end());
  }
  return body;
}

// One record: the text part, then `body`; the count it states is the
// body's size unless another is given (a file that lies).
inline LteBytes lteRecord(uint32_t time, const LteBytes& body, std::optional<uint32_t> count = std::nullopt) {
  const uint32_t c = count.value_or(static_cast<uint32_t>(body.size()));
  char text[64];
  const int n = std::snprintf(text, sizeof text, c > 999 ? "%-22u%04u\r\n" : "%-22u%03u\r\n", time, c);
  LteBytes r(text, text + n);
  r.insert(r.end(), body.begin(), body.end());
  return r;
}

inline LteBytes lteFile(const std::vector<LteBytes>& records, const std::string& header = kLteHeader) {
  LteBytes f(header.begin(), header.end());
  for (const LteBytes& r : records) f.insert(f.end(), r.begin(), r.end());
  return f;
}

}  // namespace ferrolan::test
