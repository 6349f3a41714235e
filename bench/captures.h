#pragma once
// The real captures of the test data, concatenated: the input the receive
// and export benchmarks time.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace ferrolan::bench {

inline std::string captures() {
  std::string all;
  for (const auto& e : std::filesystem::directory_iterator(FERROLAN_TESTDATA_DIR "/nmea")) {
    if (e.path().extension() != ".nmea") continue;
    std::ifstream in(e.path(), std::ios::binary);
    all += std::string(std::istreambuf_iterator<char>(in), {});
  }
  return all;
}

}  // namespace ferrolan::bench
