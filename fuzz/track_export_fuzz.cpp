// ferrolan-export's readers and writers on arbitrary bytes, as a text log,
// as a binary log and as told by the bytes: every point with a fix must
// hold a position on the globe, and both documents must be written. Read
// in pieces cut where the first byte says, the log gives the same rows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <span>
#include <string_view>

#include "export/track_export.h"
#include "export/track_writers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan::track;
  const std::span<const uint8_t> bytes(data, size);
  for (const Track& t : {readLog(bytes), readNmeaLog({reinterpret_cast<const char*>(data), size}), readVbiLog(bytes)}) {
    for (const Point& p : t.points) {
      if (p.fix == Fix::None) continue;
      if (!p.latitude || !p.longitude || !(std::fabs(*p.latitude) <= 90) || !(std::fabs(*p.longitude) <= 180))
        std::abort();
    }
    if (gpxDocument(t, "fuzz").empty() || csvDocument(t).empty()) std::abort();
  }
  std::string rows = csvHeader();
  LogReader reader([&](const Point& p, std::span<const Signal> signals) {
    rows += csvRow(p);
    for (const Signal& s : signals)
      if (!(s.cn0 > 0)) std::abort();
  });
  const size_t piece = size ? data[0] % 16 + 1 : 1;
  for (size_t at = 0; at < size; at += piece) reader.feed(bytes.subspan(at, std::min(piece, size - at)));
  reader.finish();
  if (rows != csvDocument(readLog(bytes))) std::abort();
  return 0;
}
