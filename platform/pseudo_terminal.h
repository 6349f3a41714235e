#pragma once
// The simulator's end of the serial line: a pseudo-terminal pair whose
// slave it keeps open itself (raw), so the program may close and reopen the
// port at will, or a real tty. It tells who has the slave open (inotify on
// the slave node) and at which rate the program set the line (the slave's
// termios, which the master side sees too).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/cancel.h"

namespace ferrolan {

class PseudoTerminal {
 public:
  // A new pty pair; null with `error` set when the system refuses.
  static std::unique_ptr<PseudoTerminal> create(std::string& error);
  // A real serial device at `baud`, raw.
  static std::unique_ptr<PseudoTerminal> openDevice(const std::string& path, uint32_t baud, std::string& error);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& path() const { return path_; }
  bool isPty() const { return pty_; }
  // Descriptors to poll for input: the line, and the open/close watch (-1 if none).
  int lineFd() const { return lineFd_; }
  int watchFd() const { return watchFd_; }

  // Non-blocking; 0 when nothing is there. `hungUp` turns true when the line is gone.
  size_t read(uint8_t* buf, size_t max);
  size_t write(const uint8_t* data, size_t n);
  bool hungUp() const { return hungUp_; }

  // The rate the line is set to (the program's setting on a pty); 0 if unknown.
  uint32_t lineBaud() const;
  // Device mode: the simulator sets the rate itself.
  bool setBaud(uint32_t baud);
  // The rate our own hold on the slave shows, which lineBaud() then reports
  // until a peer sets another; false for a device.
  bool setPeerBaud(uint32_t baud);
  // Takes pending open/close events; answers how many descriptors other
  // than ours have the slave open (always 1 for a device).
  int peerOpens();
  // Drops what the receiver sent while nobody was listening.
  void discardUnread();
  // The line drops, as when a USB adapter is pulled.
  void hangUp();

 private:
  PseudoTerminal() = default;
  std::string path_;
  bool pty_ = false;
  int lineFd_ = -1;   // master, or the device
  int slaveFd_ = -1;  // our own hold on the slave
  int watchFd_ = -1;
  int opens_ = 0;
  bool hungUp_ = false;
};

// termios speed <-> baud; 0 for a rate not in the table.
uint32_t baudFromSpeed(unsigned speed);
unsigned speedFromBaud(uint32_t baud);

// The control channel: a FIFO at `path` (made when missing), opened
// non-blocking; -1 with `error` set on failure.
int openControlFifo(const std::string& path, std::string& error);
// poll() over up to eight descriptors (-1 entries are skipped); `ready[i]`
// tells which have input or hung up.
int waitForInput(const int* fds, bool* ready, int count, int timeoutMs);
// read() that retries EINTR: bytes read, 0 at end of file, -2 when nothing
// is there yet, -1 on error.
long readSome(int fd, char* buf, size_t max);
void setNonBlocking(int fd);

// One descriptor of a poll: what to wait for, and what was found.
struct PollEntry {
  int fd = -1;  // skipped when negative
  bool wantRead = false;
  bool wantWrite = false;
  bool readable = false;
  bool writable = false;
  bool hungUp = false;  // hang-up or error
};
// poll() over the entries and, when given, the token; false once the token
// has fired or on a failed poll (entries then report nothing).
bool pollEntries(PollEntry* entries, size_t count, int timeoutMs, const CancelToken* cancel);

// Replaces `link` with a symlink to `target`; false on failure.
bool makeSymlink(const std::string& target, const std::string& link);
void removeSymlink(const std::string& link);

}  // namespace ferrolan
