#include "platform/signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace ferrolan {

namespace {
void ignoreSignal(int signal) {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(signal, &sa, nullptr);
}
}  // namespace

void ignoreFileSizeLimit() { ignoreSignal(SIGXFSZ); }

void ignoreBrokenPipes() { ignoreSignal(SIGPIPE); }

bool TerminationWatch::start(std::function<void(int)> onSignal) {
  if (thread_.joinable()) return false;
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGINT);
  ::sigaddset(&set, SIGTERM);
  if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  // No handler runs: the signals wait as pending until the thread reads them.
  signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || wakeFd_ < 0) {
    stop();
    return false;
  }
  onSignal_ = std::move(onSignal);
  thread_ = std::thread([this] {
    for (;;) {
      pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      signalfd_siginfo info{};
      if (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) && onSignal_)
        onSignal_(static_cast<int>(info.ssi_signo));
    }
  });
  return true;
}

void TerminationWatch::stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  for (int* fd : {&signalFd_, &wakeFd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

}  // namespace ferrolan
