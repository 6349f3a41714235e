#pragma once
// Whole files in and out, and reproducible file contents, for the tests.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/process.h"

namespace ferrolan::test {

// The file's bytes; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
  const std::string s = slurp(p);
  return {s.begin(), s.end()};
}

// n bytes that differ from seed to seed and from run to run never.
inline std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> b(n);
  for (auto& x : b) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<uint8_t>(seed >> 24);
  }
  return b;
}

// A fresh folder of the test's own, removed with all in it at the end.
struct TempDir {
  std::string path = makeTempDir("ferrolan-test-");
  ~TempDir() { removeTree(path); }
  // Writes `bytes` to `name` in the folder; the file's path.
  std::string file(const std::string& name, const std::string& bytes) const {
    std::ofstream(path + "/" + name, std::ios::binary) << bytes;
    return path + "/" + name;
  }
};

}  // namespace ferrolan::test
