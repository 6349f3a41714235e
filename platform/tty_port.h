#pragma once
// The receiver port over termios: real serial devices and pseudo-terminals.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/port.h"

namespace ferrolan {

class TtyPort final : public Port {
 public:
  // Opens the device exclusively (a second open fails while this one lives);
  // null when it cannot be opened.
  static std::shared_ptr<TtyPort> open(const std::string& devicePath);
  ~TtyPort() override;

  bool readByte(uint8_t& out) override;
  bool readByteOrCancel(uint8_t& out, const CancelToken& cancel) override;
  size_t read(uint8_t* buf, size_t max) override;
  bool write(const uint8_t* data, size_t n) override;
  bool getTimeouts(PortTimeouts& out) override;
  bool setTimeouts(const PortTimeouts& t) override;
  bool getLineSettings(LineSettings& out) override;
  bool setLineSettings(const LineSettings& s) override;
  bool purge(unsigned flags) override;

  int nativeHandle() const { return fd_; }

 private:
  explicit TtyPort(int fd) : fd_(fd) {}
  size_t readWithin(uint8_t* buf, size_t max, uint32_t totalMs, const CancelToken* cancel);

  int fd_;
  std::mutex timeoutsMutex_;
  PortTimeouts timeouts_{};
  // The line state as last set: termios cannot hold every field (DTR/RTS
  // modes), so the rest is kept here and reported back.
  std::mutex lineMutex_;
  LineSettings line_{};
  bool lineSet_ = false;
};

// Baud rate to termios speed; 0 for a rate the line cannot take.
unsigned ttySpeedFor(uint32_t baud);
// And back; 0 for a speed outside the table.
uint32_t baudForTtySpeed(unsigned speed);

// Opens ports through the device root's name mapping.
class TtyPortOpener final : public PortOpener {
 public:
  explicit TtyPortOpener(std::string root) : root_(std::move(root)) {}
  std::shared_ptr<Port> open(const std::string& name) override;

 private:
  std::string root_;
};

}  // namespace ferrolan
