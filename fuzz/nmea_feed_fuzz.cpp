// The NMEA port's feed on arbitrary receiver bytes, cut into reads at
// arbitrary points: every sentence it passes on must be whole, printable,
// within the sentence limit and carry a checksum that holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/nmea_feed.h"
#include "link/command_sentences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan;
  if (size == 0) return 0;
  // The first byte sets how many bytes each read delivers.
  const size_t step = data[0] == 0 ? size : data[0];
  NmeaFeed feed;
  std::vector<std::string> out;
  for (size_t at = 1; at < size; at += step) {
    out.clear();
    feed.take(data + at, step < size - at ? step : size - at, out);
    for (const std::string& s : out) {
      if (s.size() < 6 || s.front() != '$' || !s.ends_with("\r\n") || !checksumHolds(s)) __builtin_trap();
      if (s.size() > kNmeaLineLimit + 2) __builtin_trap();
      for (size_t i = 0; i + 2 < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) < 0x20 || static_cast<unsigned char>(s[i]) >= 0x7F) __builtin_trap();
    }
  }
  return 0;
}
