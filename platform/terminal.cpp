#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace ferrolan {

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

WakePipe::WakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_ = fds[0];
  write_ = fds[1];
}

WakePipe::~WakePipe() {
  if (read_ >= 0) ::close(read_);
  if (write_ >= 0) ::close(write_);
}

void WakePipe::wake() {
  if (write_ < 0) return;
  const char b = 1;
  while (::write(write_, &b, 1) < 0 && errno == EINTR) {
  }
}

void WakePipe::drain() {
  if (read_ < 0) return;
  char buf[256];
  while (::read(read_, buf, sizeof buf) > 0) {
  }
}

bool waitForInput(int input, const WakePipe& wake, int timeoutMs) {
  pollfd fds[2] = {{input, POLLIN, 0}, {wake.readFd(), POLLIN, 0}};
  const int n = ::poll(fds, wake.valid() ? 2 : 1, timeoutMs);
  if (n <= 0) return false;
  return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

namespace {

// Written once before the handlers go in, read by them afterwards.
struct Guard {
  int fd = -1;
  termios saved{};
  char leave[64] = {};
  size_t leaveLength = 0;
};
Guard guard;
std::atomic<bool> guarded{false};
constexpr int kCrashSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

void putBack() {
  if (!guarded.exchange(false)) return;
  ::tcsetattr(guard.fd, TCSANOW, &guard.saved);
  if (guard.leaveLength) {
    [[maybe_unused]] const ssize_t n = ::write(guard.fd, guard.leave, guard.leaveLength);
  }
}

void onCrash(int signal) {
  putBack();
  // SA_RESETHAND put the default action back: the signal ends the process.
  ::raise(signal);
}

}  // namespace

void setTerminalLeaveSequence(const std::string& sequence) {
  // Written before a handler may read it: the flag is off meanwhile.
  const bool was = guarded.exchange(false);
  guard.leaveLength = std::min(sequence.size(), sizeof guard.leave);
  std::memcpy(guard.leave, sequence.data(), guard.leaveLength);
  guarded = was;
}

void guardTerminal(int fd) {
  if (::tcgetattr(fd, &guard.saved) != 0) return;
  guard.fd = fd;
  guard.leaveLength = 0;
  guarded = true;
  struct sigaction sa {};
  sa.sa_handler = onCrash;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int s : kCrashSignals) ::sigaction(s, &sa, nullptr);
}

void restoreGuardedTerminal() { putBack(); }

void releaseTerminal() { guarded = false; }

}  // namespace ferrolan
