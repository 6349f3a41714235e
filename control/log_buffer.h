#pragma once
// The raw log's shared record. The pages read whether a file is open (they
// grey the mode switches while it is), the VBI Log Setting dialog writes the
// capacity; the rest belongs to the logging routines, which run on the
// command thread and, for a rotation, on the receive thread: it is kept
// under one short lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/output_file.h"

namespace ferrolan {

struct LogBuffer {
  std::atomic<bool> logFileOpen{false};
  std::atomic<uint32_t> logCapacity{0};

  std::mutex m;
  std::unique_ptr<OutputFile> logFile;  // under m, as are the fields below
  bool logClosed = false;
  bool binary = false;           // the open file is a VBI log
  std::vector<uint8_t> logData;  // allocated at the first VBI start, then reused
  uint32_t logLength = 0;
  uint32_t logSequence = 1;
  bool resumeOnLineBack = false;  // a log was running when the line was lost
};

}  // namespace ferrolan
