#pragma once
// An advisory flock(2) lock on a file, held through one open file of its
// own and given up when the object goes (or the process dies). Independent
// of the fcntl locks that SQLite takes, so it can sit beside a database.

#include <memory>
#include <string>

namespace ferrolan {

class FileLock {
 public:
  // Opens `path`, creating it when missing; nullptr with `error` when it
  // can be neither opened nor created.
  static std::unique_ptr<FileLock> open(const std::string& path, std::string& error);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Exclusive if no one else holds the lock in any mode; never waits.
  // A change of mode lets go first (flock's way): another may take the
  // lock in between, and a failed tryExclusive from shared leaves none.
  bool tryExclusive();
  // Shared, waiting while another holds it exclusively.
  bool shared();
  bool tryShared();
  void unlock();

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  bool lock(int operation);
  int fd_;
};

}  // namespace ferrolan
