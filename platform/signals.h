#pragma once
// Process signals: a closed output that must not end the program, and
// SIGINT/SIGTERM turned into a call on a thread of their own, where
// clean-up may lock, free and wait as any code does.

#include <functional>
#include <thread>

namespace ferrolan {

// From now on a write to a closed pipe fails with EPIPE instead of ending
// the process with SIGPIPE.
void ignoreBrokenPipes();

// From now on a write past the file size limit fails with EFBIG, as on a
// full disk, instead of ending the process with SIGXFSZ.
void ignoreFileSizeLimit();

class TerminationWatch {
 public:
  TerminationWatch() = default;
  ~TerminationWatch() { stop(); }
  TerminationWatch(const TerminationWatch&) = delete;
  TerminationWatch& operator=(const TerminationWatch&) = delete;

  // Blocks SIGINT and SIGTERM in the calling thread, and so in every thread
  // it starts afterwards: call it before any other thread exists. Each
  // such signal then calls onSignal(number) on the watch's thread.
  bool start(std::function<void(int)> onSignal);
  // Ends the watch's thread; the signals stay blocked.
  void stop();

 private:
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::function<void(int)> onSignal_;
  std::thread thread_;
};

}  // namespace ferrolan
