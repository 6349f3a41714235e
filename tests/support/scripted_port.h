#pragma once
// A port whose far end is a script: bytes the "receiver" sends, each with the
// virtual time at which it arrives, and a record of every write call. Reads
// move the virtual clock the way a real read time-out would.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/port.h"

namespace ferrolan {

class ScriptedPort final : public Port {
 public:
  using Bytes = std::vector<uint8_t>;
  // Called after each write call with the bytes of that call; may queue replies.
  using WriteHook = std::function<void(ScriptedPort&, const Bytes&)>;

  explicit ScriptedPort(VirtualClock& clock) : clock_(clock) {}

  // Bytes that arrive at an absolute tick (or now, if that tick has passed).
  void receiveAt(uint32_t tick, std::string_view bytes);
  // Bytes that arrive delayMs after the latest scheduled byte (or after now).
  void receive(std::string_view bytes, uint32_t delayMs = 0);
  void receive(const Bytes& bytes, uint32_t delayMs = 0);
  void onWrite(WriteHook hook);

  // Fault injection.
  void failWritesAfter(size_t bytes) { std::lock_guard l(m_); writeBudget_ = bytes; }
  void failGetTimeouts(bool f = true) { failGetTimeouts_ = f; }
  void failSetTimeouts(bool f = true) { failSetTimeouts_ = f; }
  void failGetLine(bool f = true) { failGetLine_ = f; }
  void failSetLine(bool f = true) { failSetLine_ = f; }
  void hangUp() { std::lock_guard l(m_); hungUp_ = true; }

  // What the program did.
  std::vector<Bytes> writeCalls() const;
  Bytes written() const;
  std::string writtenText() const;
  size_t readCalls() const { std::lock_guard l(m_); return readCalls_; }
  size_t pendingBytes() const { std::lock_guard l(m_); return pending_.size(); }
  LineSettings lineSettings() const { std::lock_guard l(m_); return line_; }
  PortTimeouts timeouts() const { std::lock_guard l(m_); return timeouts_; }
  std::vector<unsigned> purges() const { std::lock_guard l(m_); return purges_; }
  bool closed() const { std::lock_guard l(m_); return closed_; }

  bool readByte(uint8_t& out) override;
  size_t read(uint8_t* buf, size_t max) override;
  bool write(const uint8_t* data, size_t n) override;
  bool getTimeouts(PortTimeouts& out) override;
  bool setTimeouts(const PortTimeouts& t) override;
  bool getLineSettings(LineSettings& out) override;
  bool setLineSettings(const LineSettings& s) override;
  bool purge(unsigned flags) override;
  bool hungUp() const override { std::lock_guard l(m_); return hungUp_; }
  // Port calls fail at once from then on, without moving the clock; what
  // the program did stays readable.
  void close() override;

 private:
  struct Pending {
    uint32_t at;
    uint8_t byte;
  };
  uint32_t readTimeoutMs(size_t n) const;

  VirtualClock& clock_;
  mutable std::mutex m_;
  std::deque<Pending> pending_;
  uint32_t lastAt_ = 0;
  std::vector<Bytes> writes_;
  WriteHook hook_;
  size_t writeBudget_ = SIZE_MAX;
  size_t readCalls_ = 0;
  bool hungUp_ = false;
  bool closed_ = false;
  bool failGetTimeouts_ = false, failSetTimeouts_ = false, failGetLine_ = false, failSetLine_ = false;
  PortTimeouts timeouts_ = kReceiverTimeouts;
  LineSettings line_{};
  std::vector<unsigned> purges_;
};

// Hands out scripted ports by name, for code that opens its own port.
class ScriptedPortOpener final : public PortOpener {
 public:
  std::shared_ptr<Port> open(const std::string& name) override;
  // The next open of `name` returns `port`; each port is handed out once.
  void add(const std::string& name, std::shared_ptr<ScriptedPort> port);
  std::vector<std::string> opened() const;

 private:
  mutable std::mutex m_;
  std::vector<std::pair<std::string, std::shared_ptr<ScriptedPort>>> ports_;
  std::vector<std::string> opened_;
};

}  // namespace ferrolan
