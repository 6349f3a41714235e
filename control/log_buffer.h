#pragma once
// The raw log's shared record: whether a log file is open (the pages grey
// the mode switches while it is) and the VBI buffer's capacity, chosen in
// the VBI Log Setting dialog.

#include <atomic>
#include <cstdint>

namespace ferrolan {

struct LogBuffer {
  std::atomic<bool> logFileOpen{false};
  std::atomic<uint32_t> logCapacity{0};
};

}  // namespace ferrolan
