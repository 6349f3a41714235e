#pragma once
// A FIFO whose writer offers `text` to whoever opens it for reading. A
// reader that blocks in open() gets the text and the test fails on what it
// read, instead of hanging; the writer is let go when the feeder ends.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace ferrolan::test {

class FifoFeeder {
 public:
  FifoFeeder(std::string path, std::string text) : path_(std::move(path)) {
    ok_ = ::mkfifo(path_.c_str(), 0600) == 0;
    if (ok_) writer_ = std::thread([this, text = std::move(text)] {
      const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return;
      [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
      ::close(fd);
    });
  }
  ~FifoFeeder() {
    if (!ok_) return;
    const int release = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer_.join();
    if (release >= 0) ::close(release);
  }
  FifoFeeder(const FifoFeeder&) = delete;
  FifoFeeder& operator=(const FifoFeeder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
  std::thread writer_;
};

}  // namespace ferrolan::test
