#pragma once
// Pseudo-terminal plumbing for real-peer XMODEM runs: pty pairs, a relay
// between two masters that models the line (rate and latency), and child
// processes started on a pty. Tests and the benchmark use it; the core
// never does.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"

namespace ferrolan::test {

struct Pty {
  int master = -1;
  int slaveKeep = -1;  // held open so the master never sees a hang-up
  std::string slavePath;
  ~Pty() {
    if (slaveKeep >= 0) ::close(slaveKeep);
    if (master >= 0) ::close(master);
  }
};

inline bool openPty(Pty& p) {
  p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) return false;
  char name[128];
  if (::ptsname_r(p.master, name, sizeof name) != 0) return false;
  p.slavePath = name;
  p.slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (p.slaveKeep < 0) return false;
  termios t{};
  ::tcgetattr(p.slaveKeep, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(p.slaveKeep, TCSANOW, &t);
  ::fcntl(p.master, F_SETFL, ::fcntl(p.master, F_GETFL) | O_NONBLOCK);
  return true;
}

// Passes bytes between the masters of two ptys: A is the sender's side, B
// the receiver's. Each byte arrives after the line latency and no sooner
// than the line rate allows (10 bits a byte). It may turn the receiver's
// first NAK into a burst of three; it changes nothing else.
class LineRelay {
 public:
  struct Options {
    unsigned baud = 115200;   // 0: no rate limit
    unsigned latencyUs = 1000;
    bool repeatFirstNak = true;
  };
  LineRelay(int masterA, int masterB, Options o) : a_(masterA), b_(masterB), o_(o) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { run(); });
  }
  ~LineRelay() { stop(); }
  void stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : wake_) if (fd >= 0) ::close(fd);
  }
  // True once an ACK from the receiver was delivered after the sender's EOT.
  bool eotAcked() const { return eotAcked_; }
  size_t bytesToReceiver() const { return toB_; }
  // When the n-th byte (counted from 1) went out to the receiver, if it has.
  void markAfterBytes(size_t n) { markAfter_ = n; }
  std::optional<std::chrono::steady_clock::time_point> markedAt() const {
    std::lock_guard l(m_);
    return markAt_;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Byte {
    Clock::time_point due;
    uint8_t value;
  };
  struct Direction {
    int from, to;
    std::deque<Byte> queue;
    Clock::time_point lastDue{};
  };

  void take(Direction& d, bool fromReceiver) {
    uint8_t buf[4096];
    for (;;) {
      const ssize_t n = ::read(d.from, buf, sizeof buf);
      if (n <= 0) return;
      const auto now = Clock::now();
      for (ssize_t i = 0; i < n; ++i) {
        int copies = 1;
        if (fromReceiver && !sawReceiverByte_) {
          sawReceiverByte_ = true;
          if (o_.repeatFirstNak && buf[i] == 0x15) copies = 3;
        }
        for (int c = 0; c < copies; ++c) {
          auto due = now + std::chrono::microseconds(o_.latencyUs);
          if (o_.baud != 0) {
            const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / o_.baud);
            due = std::max(due, d.lastDue) + byteTime;
          }
          d.lastDue = due;
          d.queue.push_back({due, buf[i]});
        }
      }
    }
  }

  void deliver(Direction& d, bool toSender) {
    const auto now = Clock::now();
    uint8_t out[4096];
    size_t n = 0;
    while (n < sizeof out && n < d.queue.size() && d.queue[n].due <= now) {
      out[n] = d.queue[n].value;
      ++n;
    }
    if (n == 0) return;
    const ssize_t w = ::write(d.to, out, n);
    if (w <= 0) return;
    for (ssize_t i = 0; i < w; ++i) {
      const uint8_t v = d.queue.front().value;
      d.queue.pop_front();
      if (toSender) {
        if (v == 0x06) {
          if (lastFromSenderWasEot_) eotAcked_ = true;
          afterAck_ = true;
        }
      } else {
        // EOT is the single byte that follows an ACK; 0x04 inside a block is data.
        lastFromSenderWasEot_ = afterAck_ && v == 0x04;
        afterAck_ = false;
        if (++toB_ == markAfter_) {
          std::lock_guard l(m_);
          markAt_ = Clock::now();
        }
      }
    }
  }

  void run() {
    Direction ab{a_, b_, {}, {}}, ba{b_, a_, {}, {}};
    while (!stop_) {
      auto wait = std::chrono::milliseconds(20);
      const auto now = Clock::now();
      for (auto* d : {&ab, &ba}) {
        if (!d->queue.empty()) {
          const auto left = d->queue.front().due - now;
          wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(left));
        }
      }
      timespec ts{0, std::max<long>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count())};
      // Sub-millisecond waits: the rate is kept by due times, not by polls.
      if (wait.count() <= 0) ts.tv_nsec = 50'000;
      pollfd fds[3] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      ::ppoll(fds, 3, &ts, nullptr);
      if (fds[0].revents & POLLIN) take(ab, false);
      if (fds[1].revents & POLLIN) take(ba, true);
      deliver(ab, false);
      deliver(ba, true);
    }
  }

  int a_, b_;
  Options o_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::atomic<bool> eotAcked_{false};
  std::atomic<size_t> toB_{0};
  mutable std::mutex m_;
  std::optional<Clock::time_point> markAt_;
  std::atomic<size_t> markAfter_{0};
  bool afterAck_ = false;
  bool sawReceiverByte_ = false;
  bool lastFromSenderWasEot_ = false;
  std::thread thread_;
};

// Starts argv with stdin and stdout on the tty, in `cwd`; stderr to `errPath`.
inline bool startOnTty(ChildProcess& child, const std::vector<std::string>& argv, const std::string& tty,
                       const std::string& cwd, const std::string& errPath) {
  ChildOptions o;
  o.terminal = tty;
  o.workDir = cwd;
  o.stderrFile = errPath;
  return child.start(argv, o);
}

}  // namespace ferrolan::test
