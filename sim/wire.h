#pragma once
// Byte-level helpers the simulated receiver shares: little-endian fields,
// VBI frame assembly and NMEA checksums. Kept apart from the program's own
// link code on purpose, so that a fault on one side cannot hide the same
// fault on the other in the tests that pit them against each other.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::sim {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kVbiSync1 = 0x81;
inline constexpr uint8_t kVbiSync2 = 0xFF;
inline constexpr size_t kVbiHeader = 8;

void putLe16(Bytes& out, uint16_t v);
// Writes into an existing buffer; false (and nothing written) when the
// field would not fit.
bool setLe16(std::span<uint8_t> buf, size_t offset, uint16_t v);
bool setLe32(std::span<uint8_t> buf, size_t offset, uint32_t v);
bool setLeDouble(std::span<uint8_t> buf, size_t offset, double v);
// Reads answer 0 when the field lies outside the buffer.
uint16_t getLe16(std::span<const uint8_t> buf, size_t offset);
uint32_t getLe32(std::span<const uint8_t> buf, size_t offset);
double getLeDouble(std::span<const uint8_t> buf, size_t offset);

// Two's complement of the byte sum of the id and length fields and the
// payload, truncated to 16 bits.
uint16_t vbiChecksum(uint16_t id, std::span<const uint8_t> payload);
Bytes vbiFrame(uint16_t id, std::span<const uint8_t> payload);

// XOR of the characters of a sentence body (the text between "$" and "*").
uint8_t nmeaXor(std::string_view body);
// "GPGGA,..." -> "$GPGGA,...*hh\r\n".
std::string nmeaSentence(std::string_view body);

void append(Bytes& out, std::string_view text);

}  // namespace ferrolan::sim
