#include "platform/memory_status.h"

#include <string>

#include "platform/regular_file.h"

namespace ferrolan {

uint64_t parseMemAvailable(std::string_view meminfo) {
  constexpr std::string_view kKey = "MemAvailable:";
  size_t at = meminfo.find(kKey);
  // The key must start a line.
  while (at != std::string_view::npos && at != 0 && meminfo[at - 1] != '\n') at = meminfo.find(kKey, at + 1);
  if (at == std::string_view::npos) return 0;
  size_t i = at + kKey.size();
  while (i < meminfo.size() && meminfo[i] == ' ') ++i;
  uint64_t kib = 0;
  bool digits = false;
  for (; i < meminfo.size() && meminfo[i] >= '0' && meminfo[i] <= '9'; ++i) {
    if (kib > (UINT64_MAX >> 10) / 10) return 0;  // nonsense, not a size
    kib = kib * 10 + static_cast<uint64_t>(meminfo[i] - '0');
    digits = true;
  }
  return digits ? kib << 10 : 0;
}

uint64_t availablePhysicalMemory() {
  std::string text;
  // A /proc file is regular with a size of 0: it is read to its end.
  if (readRegularFile("/proc/meminfo", 64 * 1024, text) != FileRead::Ok) return 0;
  return parseMemAvailable(text);
}

}  // namespace ferrolan
