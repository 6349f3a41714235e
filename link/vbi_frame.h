#pragma once
// VBI frames as they go over the line: 0x81 0xFF, message id, payload
// length, checksum, payload; all 16-bit fields little-endian. Header-only
// and constexpr, so the program and the simulated receiver build and check
// frames the same way.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/bytes.h"

namespace ferrolan {

inline constexpr uint8_t kVbiSync1 = 0x81;
inline constexpr uint8_t kVbiSync2 = 0xFF;
inline constexpr size_t kVbiHeaderSize = 8;
inline constexpr size_t kVbiIdOffset = 2;
inline constexpr size_t kVbiLengthOffset = 4;
inline constexpr size_t kVbiChecksumOffset = 6;

// Two's complement of the byte sum of the id and length fields (offsets 2
// to 5) and of the n payload bytes, so that sum + checksum == 0 mod 65536.
// Only the bytes that are in `frame` are added.
constexpr uint16_t vbiChecksum(std::span<const uint8_t> frame, size_t n) {
  uint32_t sum = 0;
  for (size_t i = kVbiIdOffset; i < kVbiChecksumOffset && i < frame.size(); ++i) sum += frame[i];
  for (size_t i = 0; i < n && kVbiHeaderSize + i < frame.size(); ++i) sum += frame[kVbiHeaderSize + i];
  return static_cast<uint16_t>(0x10000u - (sum & 0xFFFFu));
}

// A whole frame of N bytes for a payload of N - 8 bytes.
template <size_t N>
constexpr std::array<uint8_t, N> makeVbiFrame(uint16_t id, std::span<const uint8_t> payload) {
  static_assert(N >= kVbiHeaderSize);
  std::array<uint8_t, N> f{};
  f[0] = kVbiSync1;
  f[1] = kVbiSync2;
  constexpr size_t n = N - kVbiHeaderSize;
  putLe16(f, kVbiIdOffset, id);
  putLe16(f, kVbiLengthOffset, static_cast<uint16_t>(n));
  for (size_t i = 0; i < n && i < payload.size(); ++i) f[kVbiHeaderSize + i] = payload[i];
  putLe16(f, kVbiChecksumOffset, vbiChecksum(f, n));
  return f;
}

// True when the frame's stored checksum matches its id, length and payload;
// false for a frame shorter than its length field says.
constexpr bool vbiChecksumValid(std::span<const uint8_t> frame) {
  if (frame.size() < kVbiHeaderSize) return false;
  const size_t n = getLe16(frame, kVbiLengthOffset);
  if (frame.size() - kVbiHeaderSize < n) return false;
  return getLe16(frame, kVbiChecksumOffset) == vbiChecksum(frame, n);
}

}  // namespace ferrolan
