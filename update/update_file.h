#pragma once
// The firmware file being sent: a small read-only file over standard C++
// streams, and the process-wide handle the update procedures share.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>

#include "core/shared_handle.h"
#include "core/text.h"

namespace ferrolan {

class UpdateFile {
 public:
  // Null when the file cannot be opened for reading.
  static std::shared_ptr<UpdateFile> open(const std::string& path);
  // Over any stream, with the size to report (tests use failing streams);
  // such a file has no path to watch and counts as unchanged.
  UpdateFile(std::unique_ptr<std::istream> in, uint64_t size);

  // The size when it was opened: what was checked, and what is sent.
  uint64_t size() const { return size_; }
  // Up to max bytes from the current position: the count read, 0 at the
  // end, -1 when the read fails.
  long read(uint8_t* buf, size_t max);
  // False when the file on disk no longer has the size and modification
  // time it was opened with (rewritten, truncated, appended to, replaced).
  bool unchanged() const;

 private:
  std::unique_ptr<std::istream> in_;
  uint64_t size_;
  std::string path_;
  std::filesystem::file_time_type modified_{};
};

struct UpdateState {
  SharedHandle<UpdateFile> updateFile;  // invalid when none is open
  std::atomic<int> procedureRunning{0};  // an update procedure owns the port
  // The file an update started from the menu sends, the dialog being closed.
  SharedText<4096> menuFileName;
};

}  // namespace ferrolan
