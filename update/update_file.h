#pragma once
// The firmware file being sent: a small read-only file over standard C++
// streams, and the process-wide handle the update procedures share.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <span>
#include <string>
#include <string_view>

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

// Who follows a firmware file's transfer from outside (the station's
// record): the file opened, the bytes read from it for sending, and the
// bytes the receiver has acknowledged. Set before the procedure starts.
struct TransferWatch {
  std::function<void(std::string_view devicePath, uint64_t size)> opened;
  std::function<void(std::span<const uint8_t> bytes)> read;
  std::function<void(uint64_t bytes)> acknowledged;
};

struct UpdateState {
  SharedHandle<UpdateFile> updateFile;  // invalid when none is open
  TransferWatch watch;
  std::atomic<int> procedureRunning{0};  // an update procedure owns the port
  // The file an update started from the menu sends, the dialog being closed.
  SharedText<4096> menuFileName;
};

}  // namespace ferrolan
