#include "platform/pseudo_terminal.h"

#include "platform/tty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ferrolan {

namespace {

void makeRaw(int fd, unsigned speed) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  if (speed != 0) {
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
  }
  ::tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

uint32_t baudFromSpeed(unsigned speed) { return baudForTtySpeed(speed); }

unsigned speedFromBaud(uint32_t baud) { return ttySpeedFor(baud); }

std::unique_ptr<PseudoTerminal> PseudoTerminal::create(std::string& error) {
  std::unique_ptr<PseudoTerminal> p(new PseudoTerminal());
  p->pty_ = true;
  p->lineFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (p->lineFd_ < 0 || ::grantpt(p->lineFd_) != 0 || ::unlockpt(p->lineFd_) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return nullptr;
  }
  char name[128];
  if (::ptsname_r(p->lineFd_, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    return nullptr;
  }
  p->path_ = name;
  p->slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (p->slaveFd_ < 0) {
    error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    return nullptr;
  }
  makeRaw(p->slaveFd_, B9600);
  makeRaw(p->lineFd_, 0);
  // Our own open above happened before the watch, so every event is a peer's.
  p->watchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (p->watchFd_ >= 0 && ::inotify_add_watch(p->watchFd_, name, IN_OPEN | IN_CLOSE) < 0) {
    ::close(p->watchFd_);
    p->watchFd_ = -1;
  }
  return p;
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::openDevice(const std::string& path, uint32_t baud,
                                                           std::string& error) {
  std::unique_ptr<PseudoTerminal> p(new PseudoTerminal());
  p->path_ = path;
  p->lineFd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (p->lineFd_ < 0 || !::isatty(p->lineFd_)) {
    error = "cannot open " + path + " as a terminal: " + std::strerror(errno);
    return nullptr;
  }
  makeRaw(p->lineFd_, speedFromBaud(baud));
  return p;
}

PseudoTerminal::~PseudoTerminal() {
  if (watchFd_ >= 0) ::close(watchFd_);
  if (slaveFd_ >= 0) ::close(slaveFd_);
  if (lineFd_ >= 0) ::close(lineFd_);
}

size_t PseudoTerminal::read(uint8_t* buf, size_t max) {
  if (lineFd_ < 0 || max == 0) return 0;
  for (;;) {
    const ssize_t n = ::read(lineFd_, buf, max);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    // End of file on a device, or an error other than "nothing yet": the
    // line is gone. (A pty master would report EIO with no slave open, but
    // we always hold one.)
    if (n == 0) {
      if (!pty_) hungUp_ = true;
      return 0;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) hungUp_ = true;
    return 0;
  }
}

size_t PseudoTerminal::write(const uint8_t* data, size_t n) {
  if (lineFd_ < 0 || n == 0) return 0;
  for (;;) {
    const ssize_t w = ::write(lineFd_, data, n);
    if (w >= 0) return static_cast<size_t>(w);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) hungUp_ = true;
    return 0;
  }
}

uint32_t PseudoTerminal::lineBaud() const {
  const int fd = slaveFd_ >= 0 ? slaveFd_ : lineFd_;
  termios t{};
  if (fd < 0 || ::tcgetattr(fd, &t) != 0) return 0;
  return baudFromSpeed(::cfgetospeed(&t));
}

bool PseudoTerminal::setBaud(uint32_t baud) {
  termios t{};
  const unsigned speed = speedFromBaud(baud);
  if (lineFd_ < 0 || speed == 0 || ::tcgetattr(lineFd_, &t) != 0) return false;
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  return ::tcsetattr(lineFd_, TCSANOW, &t) == 0;
}

bool PseudoTerminal::setPeerBaud(uint32_t baud) {
  termios t{};
  const unsigned speed = speedFromBaud(baud);
  if (slaveFd_ < 0 || speed == 0 || ::tcgetattr(slaveFd_, &t) != 0) return false;
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  return ::tcsetattr(slaveFd_, TCSANOW, &t) == 0;
}

int PseudoTerminal::peerOpens() {
  if (!pty_) return 1;
  if (watchFd_ < 0) return 1;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = ::read(watchFd_, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event ev;
      std::memcpy(&ev, buf + off, sizeof ev);
      if (ev.mask & IN_OPEN) ++opens_;
      if (ev.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) opens_ = opens_ > 0 ? opens_ - 1 : 0;
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev.len);
    }
  }
  return opens_;
}

void PseudoTerminal::discardUnread() {
  if (slaveFd_ >= 0) ::tcflush(slaveFd_, TCIFLUSH);
}

void PseudoTerminal::hangUp() {
  if (slaveFd_ >= 0) ::close(slaveFd_);
  if (lineFd_ >= 0) ::close(lineFd_);
  if (watchFd_ >= 0) ::close(watchFd_);
  slaveFd_ = lineFd_ = watchFd_ = -1;
  hungUp_ = true;
}

int openControlFifo(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
      error = "cannot make " + path + ": " + std::strerror(errno);
      return -1;
    }
  } else if (!S_ISFIFO(st.st_mode)) {
    error = path + " exists and is not a FIFO";
    return -1;
  }
  // Read-write, so the FIFO never reports end of file between writers.
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) error = "cannot open " + path + ": " + std::strerror(errno);
  return fd;
}

int waitForInput(const int* fds, bool* ready, int count, int timeoutMs) {
  pollfd p[8];
  const int n = count < 8 ? count : 8;
  for (int i = 0; i < n; ++i) p[i] = pollfd{fds[i], POLLIN, 0};
  const int r = ::poll(p, static_cast<nfds_t>(n), timeoutMs);
  for (int i = 0; i < n; ++i) ready[i] = r > 0 && fds[i] >= 0 && (p[i].revents & (POLLIN | POLLHUP)) != 0;
  return r < 0 ? 0 : r;
}

bool pollEntries(PollEntry* entries, size_t count, int timeoutMs, const CancelToken* cancel) {
  constexpr size_t kMax = 16;
  pollfd p[kMax + 1];
  const size_t n = count < kMax ? count : kMax;
  for (size_t i = 0; i < n; ++i) {
    PollEntry& e = entries[i];
    e.readable = e.writable = e.hungUp = false;
    const short events = static_cast<short>((e.wantRead ? POLLIN : 0) | (e.wantWrite ? POLLOUT : 0));
    p[i] = pollfd{events == 0 ? -1 : e.fd, events, 0};
  }
  p[n] = pollfd{cancel ? cancel->waitHandle() : -1, POLLIN, 0};
  int r;
  do {
    r = ::poll(p, static_cast<nfds_t>(n + 1), timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  for (size_t i = 0; i < n; ++i) {
    entries[i].readable = (p[i].revents & POLLIN) != 0;
    entries[i].writable = (p[i].revents & POLLOUT) != 0;
    entries[i].hungUp = (p[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return !(cancel && cancel->cancelled());
}

long readSome(int fd, char* buf, size_t max) {
  for (;;) {
    const ssize_t n = ::read(fd, buf, max);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return -2;
    return static_cast<long>(n);
  }
}

void setNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

bool makeSymlink(const std::string& target, const std::string& link) {
  // Made beside the link and renamed over it, so whoever opens the link
  // finds the old line or the new one, never nothing.
  const std::string temp = link + ".new-" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(target.c_str(), temp.c_str()) != 0) return false;
  if (::rename(temp.c_str(), link.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void removeSymlink(const std::string& link) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.c_str());
}

}  // namespace ferrolan
