#pragma once
// Little-endian fields in byte buffers. Every multi-byte read or write of a
// frame goes through these, never through a pointer cast, so alignment and
// host byte order never matter and every offset is checked.

#include <cstddef>
#include <cstdint>
#include <span>

namespace ferrolan {

// 0 when the field does not fit in the buffer.
constexpr uint16_t getLe16(std::span<const uint8_t> bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// False, with nothing written, when the field does not fit.
constexpr bool putLe16(std::span<uint8_t> bytes, size_t offset, uint16_t value) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return false;
  bytes[offset] = static_cast<uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
  return true;
}

}  // namespace ferrolan
