#include "platform/tty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/device_root.h"
#include "platform/line_speeds.h"

namespace ferrolan {

namespace {

uint32_t nowMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// poll() takes an int; a longer wait must not turn into "for ever".
int pollMs(uint32_t ms) { return static_cast<int>(std::min<uint32_t>(ms, INT_MAX)); }

// tcsetattr answers success when any part of the change took effect, and a
// driver may keep bits it cannot do; what counts is what reads back.
bool applyTermios(int fd, const termios& want) {
  if (::tcsetattr(fd, TCSANOW, &want) != 0) return false;
  termios got{};
  if (::tcgetattr(fd, &got) != 0) return false;
  constexpr tcflag_t kIn = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF;
  constexpr tcflag_t kLocal = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
  constexpr tcflag_t kControl = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | CLOCAL | CREAD;
  return (got.c_iflag & kIn) == (want.c_iflag & kIn) && (got.c_oflag & OPOST) == (want.c_oflag & OPOST) &&
         (got.c_lflag & kLocal) == (want.c_lflag & kLocal) && (got.c_cflag & kControl) == (want.c_cflag & kControl) &&
         got.c_cc[VMIN] == want.c_cc[VMIN] && got.c_cc[VTIME] == want.c_cc[VTIME] &&
         ::cfgetospeed(&got) == ::cfgetospeed(&want);
}

}  // namespace

namespace {

// The termios constant of each line speed; 0 where there is none.
constexpr speed_t termiosSpeed(uint32_t baud) {
  switch (baud) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
  }
}

constexpr bool everyLineSpeedHasATermiosSpeed() {
  for (const LineSpeed& s : kLineSpeeds)
    if (termiosSpeed(s.baud) == 0) return false;
  return true;
}
static_assert(everyLineSpeedHasATermiosSpeed());

}  // namespace

unsigned ttySpeedFor(uint32_t baud) { return lineSpeedFor(baud) ? termiosSpeed(baud) : 0; }

uint32_t baudForTtySpeed(unsigned speed) {
  for (const LineSpeed& s : kLineSpeeds)
    if (termiosSpeed(s.baud) == speed) return s.baud;
  return 0;
}

// One call on the line: while any is in progress the descriptors stay open.
class TtyPort::InUse {
 public:
  explicit InUse(TtyPort& p) : p_(p) {
    std::lock_guard l(p_.useMutex_);
    ok_ = !p_.closed_;
    if (ok_) ++p_.users_;
  }
  ~InUse() {
    if (!ok_) return;
    std::lock_guard l(p_.useMutex_);
    if (--p_.users_ == 0 && p_.closed_) p_.idle_.notify_all();
  }
  InUse(const InUse&) = delete;
  InUse& operator=(const InUse&) = delete;
  explicit operator bool() const { return ok_; }

 private:
  TtyPort& p_;
  bool ok_;
};

std::shared_ptr<TtyPort> TtyPort::open(const std::string& devicePath, std::string* why) {
  auto fail = [why](const char* reason) -> std::shared_ptr<TtyPort> {
    if (why) *why = reason;
    return nullptr;
  };
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno == ENOENT ? "no such port" : std::strerror(errno));
  if (!::isatty(fd)) {
    ::close(fd);
    return fail("not a serial port");
  }
  // No sharing: one owner of the line at a time. An advisory lock rather
  // than TIOCEXCL, which would outlive us while a peer holds the slave open.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return fail("in use by another program");
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return nullptr;
  }
  // Raw from the start, so nothing the receiver sends is cooked or echoed.
  termios tio{};
  bool raw = false;
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    raw = applyTermios(fd, tio);
  }
  return std::shared_ptr<TtyPort>(new TtyPort(fd, wake, raw));
}

TtyPort::~TtyPort() {
  // Nobody else holds the port any more, so nobody is inside a call.
  if (!released_) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    ::close(wake_);
  }
}

void TtyPort::close() {
  std::unique_lock l(useMutex_);
  if (closed_) {
    idle_.wait(l, [this] { return released_; });
    return;
  }
  closed_ = true;
  // Every wait on the line polls this too; the count is never read back,
  // so it stays readable.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t w = ::write(wake_, &one, sizeof one);
  idle_.wait(l, [this] { return users_ == 0; });
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  ::close(wake_);
  released_ = true;
  idle_.notify_all();
}

int TtyPort::nativeHandle() const {
  std::lock_guard l(useMutex_);
  return closed_ ? -1 : fd_;
}

void TtyPort::pause(uint32_t ms, const CancelToken* cancel) {
  pollfd fds[2] = {{wake_, POLLIN, 0}, {cancel ? cancel->waitHandle() : -1, POLLIN, 0}};
  ::poll(fds, 2, pollMs(ms));
}

size_t TtyPort::readWithin(uint8_t* buf, size_t max, uint32_t totalMs, const CancelToken* cancel) {
  InUse use(*this);
  if (!use) return 0;
  size_t got = 0;
  const uint32_t start = nowMs();
  while (got < max) {
    const uint32_t spent = nowMs() - start;
    if (spent >= totalMs) break;
    pollfd fds[3] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}, {cancel ? cancel->waitHandle() : -1, POLLIN, 0}};
    int r = ::poll(fds, 3, pollMs(totalMs - spent));
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) break;
    if (fds[1].revents || (cancel && (fds[2].revents & POLLIN))) break;  // closed or cancelled
    if (fds[0].revents & POLLIN) {
      ssize_t n = ::read(fd_, buf + got, max - got);
      if (n > 0) {
        got += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    // Hang-up or error: the line delivers nothing. Wait out the time-out so
    // that callers' loops keep their pace instead of spinning.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
    pause(totalMs - std::min(totalMs, nowMs() - start), cancel);
    break;
  }
  return got;
}

size_t TtyPort::readAvailable(uint8_t* buf, size_t max) {
  InUse use(*this);
  if (!use || max == 0) return 0;
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    if (p.revents & POLLIN) {
      const ssize_t n = ::read(fd_, buf, max);
      if (n > 0) return static_cast<size_t>(n);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
    return 0;
  }
}

bool TtyPort::readByte(uint8_t& out) { return read(&out, 1) == 1; }

bool TtyPort::readByteOrCancel(uint8_t& out, const CancelToken& cancel) {
  if (cancel.cancelled()) return false;
  PortTimeouts t;
  {
    std::lock_guard l(timeoutsMutex_);
    t = timeouts_;
  }
  return readWithin(&out, 1, t.readMultiplierMs + t.readConstantMs, &cancel) == 1;
}

size_t TtyPort::read(uint8_t* buf, size_t max) {
  if (max == 0) return 0;
  PortTimeouts t;
  {
    std::lock_guard l(timeoutsMutex_);
    t = timeouts_;
  }
  const uint32_t total = t.readMultiplierMs * static_cast<uint32_t>(max) + t.readConstantMs;
  return readWithin(buf, max, total, nullptr);
}

bool TtyPort::write(const uint8_t* data, size_t n) {
  InUse use(*this);
  if (!use) return false;
  PortTimeouts t;
  {
    std::lock_guard l(timeoutsMutex_);
    t = timeouts_;
  }
  const uint32_t limit = t.writeMultiplierMs * static_cast<uint32_t>(n) + t.writeConstantMs;
  const uint32_t start = nowMs();
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd_, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    const uint32_t spent = nowMs() - start;
    if (limit != 0 && spent >= limit) return false;
    pollfd p[2] = {{fd_, POLLOUT, 0}, {wake_, POLLIN, 0}};
    ::poll(p, 2, limit == 0 ? 100 : pollMs(limit - spent));
    if (p[1].revents) return false;  // closed
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}

bool TtyPort::getTimeouts(PortTimeouts& out) {
  InUse use(*this);
  if (!use) return false;
  std::lock_guard l(timeoutsMutex_);
  out = timeouts_;
  return true;
}

bool TtyPort::setTimeouts(const PortTimeouts& t) {
  InUse use(*this);
  if (!use) return false;
  std::lock_guard l(timeoutsMutex_);
  timeouts_ = t;
  return true;
}

bool TtyPort::getLineSettings(LineSettings& out) {
  InUse use(*this);
  if (!use || !raw_) return false;
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) return false;
  std::lock_guard l(lineMutex_);
  LineSettings s = line_;
  if (!lineSet_) {
    s.dtr = DtrControl::Enable;
    s.rts = RtsControl::Enable;
  }
  if (const uint32_t baud = baudForTtySpeed(::cfgetospeed(&tio))) s.baud = baud;
  s.dataBits = (tio.c_cflag & CSIZE) == CS7 ? 7 : (tio.c_cflag & CSIZE) == CS6 ? 6 : (tio.c_cflag & CSIZE) == CS5 ? 5 : 8;
  s.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
  s.parityCheck = (tio.c_cflag & PARENB) != 0;
  s.ctsOutFlow = (tio.c_cflag & CRTSCTS) != 0;
  s.xonXoffOut = (tio.c_iflag & IXON) != 0;
  s.xonXoffIn = (tio.c_iflag & IXOFF) != 0;
  out = s;
  return true;
}

bool TtyPort::setLineSettings(const LineSettings& s) {
  InUse use(*this);
  if (!use) return false;
  const speed_t speed = ttySpeedFor(s.baud);
  if (speed == 0) return false;
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~CSIZE;
  tio.c_cflag |= s.dataBits == 7 ? CS7 : s.dataBits == 6 ? CS6 : s.dataBits == 5 ? CS5 : CS8;
  if (s.stopBits == 2) tio.c_cflag |= CSTOPB; else tio.c_cflag &= ~CSTOPB;
  if (s.parityCheck) {
    tio.c_cflag |= PARENB;
    if (s.parity == 1) tio.c_cflag |= PARODD; else tio.c_cflag &= ~PARODD;
  } else {
    tio.c_cflag &= ~(PARENB | PARODD);
  }
  // CTS output flow is off; RTS "handshake" means the line is raised while
  // we can take input, which with an always-ready reader is RTS on.
  if (s.ctsOutFlow) tio.c_cflag |= CRTSCTS; else tio.c_cflag &= ~CRTSCTS;
  if (s.xonXoffOut) tio.c_iflag |= IXON; else tio.c_iflag &= ~IXON;
  if (s.xonXoffIn) tio.c_iflag |= IXOFF; else tio.c_iflag &= ~IXOFF;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
  if (!applyTermios(fd_, tio)) return false;
  raw_ = true;
  // Modem lines: pseudo-terminals have none, which is not a failure.
  int bits = 0;
  if (s.dtr != DtrControl::Disable) bits |= TIOCM_DTR;
  if (s.rts != RtsControl::Disable) bits |= TIOCM_RTS;
  ::ioctl(fd_, TIOCMBIS, &bits);
  std::lock_guard l(lineMutex_);
  line_ = s;
  lineSet_ = true;
  return true;
}

bool TtyPort::purge(unsigned flags) {
  InUse use(*this);
  if (!use) return false;
  int which = -1;
  const bool rx = flags & (kPurgeRxAbort | kPurgeRxClear);
  const bool tx = flags & (kPurgeTxAbort | kPurgeTxClear);
  if (rx && tx) which = TCIOFLUSH;
  else if (rx) which = TCIFLUSH;
  else if (tx) which = TCOFLUSH;
  if (which < 0) return true;
  return ::tcflush(fd_, which) == 0;
}

std::shared_ptr<Port> TtyPortOpener::open(const std::string& name) { return open(name, nullptr); }

std::shared_ptr<Port> TtyPortOpener::open(const std::string& name, std::string* why) {
  const std::string path = resolvePortDevice(root_, name);
  if (path.empty()) {
    if (why) *why = "not a port name";
    return nullptr;
  }
  return TtyPort::open(path, why);
}

std::string TtyPortOpener::devicePath(const std::string& name) { return resolvePortDevice(root_, name); }

}  // namespace ferrolan
