#pragma once
// The receiver port over termios: real serial devices and pseudo-terminals.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/port.h"

namespace ferrolan {

class TtyPort final : public Port {
 public:
  // Opens the device exclusively (a second open fails until this one is
  // closed or destroyed); null when it cannot be opened. When the line
  // cannot be made raw the port still opens, but its line-setting calls
  // fail until a setLineSettings takes effect.
  // `why`, when given, hears the reason of a failure in a few words.
  static std::shared_ptr<TtyPort> open(const std::string& devicePath, std::string* why = nullptr);
  ~TtyPort() override;

  bool readByte(uint8_t& out) override;
  bool readByteOrCancel(uint8_t& out, const CancelToken& cancel) override;
  size_t read(uint8_t* buf, size_t max) override;
  // What the line holds at this moment, without waiting for more: for a
  // caller that has polled nativeHandle() itself. 0 when nothing is there
  // or the line is gone (then hungUp()).
  size_t readAvailable(uint8_t* buf, size_t max);
  bool write(const uint8_t* data, size_t n) override;
  bool getTimeouts(PortTimeouts& out) override;
  bool setTimeouts(const PortTimeouts& t) override;
  bool getLineSettings(LineSettings& out) override;
  bool setLineSettings(const LineSettings& s) override;
  bool purge(unsigned flags) override;
  bool hungUp() const override { return hungUp_.load(); }
  // Wakes every call blocked on the line, waits for them to leave, then
  // drops the lock and the descriptor.
  void close() override;

  // -1 once closed.
  int nativeHandle() const;

 private:
  class InUse;
  TtyPort(int fd, int wakeFd, bool raw) : fd_(fd), wake_(wakeFd), raw_(raw) {}
  size_t readWithin(uint8_t* buf, size_t max, uint32_t totalMs, const CancelToken* cancel);
  // Waits for the wake descriptor (and the cancel token, if any) or the time-out.
  void pause(uint32_t ms, const CancelToken* cancel);

  // Both descriptors stay valid while any call is in progress: close()
  // releases them only once the last call has left.
  const int fd_;
  const int wake_;  // eventfd, readable once closed
  mutable std::mutex useMutex_;
  std::condition_variable idle_;
  int users_ = 0;
  bool closed_ = false;
  std::atomic<bool> hungUp_{false};
  bool released_ = false;
  // False while the line may still be cooked (a raw setting that did not
  // take effect): line-setting calls fail rather than run on it.
  std::atomic<bool> raw_;
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
  std::shared_ptr<Port> open(const std::string& name, std::string* why);
  std::string devicePath(const std::string& name) override;

 private:
  std::string root_;
};

}  // namespace ferrolan
