#include "sim/wire.h"

#include <bit>
#include <cstdio>

namespace ferrolan::sim {

void putLe16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

bool setLe16(std::span<uint8_t> buf, size_t offset, uint16_t v) {
  if (offset > buf.size() || buf.size() - offset < 2) return false;
  buf[offset] = static_cast<uint8_t>(v & 0xFF);
  buf[offset + 1] = static_cast<uint8_t>(v >> 8);
  return true;
}

bool setLe32(std::span<uint8_t> buf, size_t offset, uint32_t v) {
  if (offset > buf.size() || buf.size() - offset < 4) return false;
  for (size_t i = 0; i < 4; ++i) buf[offset + i] = static_cast<uint8_t>(v >> (8 * i));
  return true;
}

bool setLeDouble(std::span<uint8_t> buf, size_t offset, double v) {
  if (offset > buf.size() || buf.size() - offset < 8) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  for (size_t i = 0; i < 8; ++i) buf[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
  return true;
}

uint16_t getLe16(std::span<const uint8_t> buf, size_t offset) {
  if (offset > buf.size() || buf.size() - offset < 2) return 0;
  return static_cast<uint16_t>(buf[offset] | (buf[offset + 1] << 8));
}

uint32_t getLe32(std::span<const uint8_t> buf, size_t offset) {
  if (offset > buf.size() || buf.size() - offset < 4) return 0;
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(buf[offset + i]) << (8 * i);
  return v;
}

double getLeDouble(std::span<const uint8_t> buf, size_t offset) {
  if (offset > buf.size() || buf.size() - offset < 8) return 0.0;
  uint64_t bits = 0;
  for (size_t i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(buf[offset + i]) << (8 * i);
  return std::bit_cast<double>(bits);
}

uint16_t vbiChecksum(uint16_t id, std::span<const uint8_t> payload) {
  const size_t length = payload.size();
  uint32_t sum = (id & 0xFFu) + (id >> 8) + (length & 0xFFu) + ((length >> 8) & 0xFFu);
  for (uint8_t b : payload) sum += b;
  return static_cast<uint16_t>(0x10000u - (sum & 0xFFFFu));
}

Bytes vbiFrame(uint16_t id, std::span<const uint8_t> payload) {
  Bytes f;
  f.reserve(kVbiHeader + payload.size());
  f.push_back(kVbiSync1);
  f.push_back(kVbiSync2);
  putLe16(f, id);
  putLe16(f, static_cast<uint16_t>(payload.size()));
  putLe16(f, vbiChecksum(id, payload));
  f.insert(f.end(), payload.begin(), payload.end());
  return f;
}

uint8_t nmeaXor(std::string_view body) {
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  return x;
}

std::string nmeaSentence(std::string_view body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", nmeaXor(body));
  std::string s;
  s.reserve(body.size() + 6);
  s += '$';
  s += body;
  s += tail;
  return s;
}

void append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace ferrolan::sim
