#pragma once
// SHA-256 (FIPS 180-4), to name a firmware file in the station's record by
// its content rather than by its path.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace ferrolan {

class Sha256 {
 public:
  void update(std::span<const uint8_t> data);
  // The digest of everything updated so far; the object starts over after.
  std::array<uint8_t, 32> finish();

 private:
  void compress(const uint8_t* block);
  void reset();

  std::array<uint32_t, 8> state_{};
  std::array<uint8_t, 64> block_{};
  size_t filled_ = 0;
  uint64_t totalBytes_ = 0;
  bool started_ = false;
};

std::string toHex(const std::array<uint8_t, 32>& digest);  // lowercase
std::string sha256Hex(std::span<const uint8_t> data);

}  // namespace ferrolan
