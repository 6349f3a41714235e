#pragma once
// The simulated receiver on the virtual clock, behind the Port interface:
// the program's long waits (16 s for the kernel, a minute of echo reads)
// pass instantly, and the receiver is the real state machine, not a script.
// Bytes cross only while the port is open and both ends use one rate; what
// the receiver says while the port is closed is lost, as on a real line.

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/port.h"
#include "sim/receiver.h"

namespace ferrolan::test {

class SimLine {
 public:
  SimLine(VirtualClock& clock, sim::ReceiverConfig cfg) : clock_(clock), rx_(std::move(cfg), clock.tickCount()) {}

  // The user's power switch, at a tick still to come.
  void powerCycleAt(uint32_t tick) {
    std::lock_guard l(m_);
    cycleAt_ = tick;
  }
  // The cable pulled once the receiver has taken this many bytes.
  void cutAfter(size_t bytes) {
    std::lock_guard l(m_);
    cutAfter_ = bytes;
  }
  template <typename F>
  auto withReceiver(F&& f) {
    std::lock_guard l(m_);
    return f(rx_);
  }

  class End;
  std::shared_ptr<Port> open();

 private:
  friend class End;
  // Runs the receiver up to now and moves its output onto the line.
  void step();

  VirtualClock& clock_;
  std::mutex m_;
  sim::Receiver rx_;
  std::optional<uint32_t> cycleAt_;
  std::optional<size_t> cutAfter_;
  size_t bytesIn_ = 0;
  bool cut() const { return cutAfter_ && bytesIn_ >= *cutAfter_; }
  End* open_ = nullptr;  // the end that hears the receiver
};

class SimLine::End final : public Port {
 public:
  explicit End(SimLine& line) : line_(line) {}
  ~End() override { close(); }

  bool readByte(uint8_t& out) override { return read(&out, 1) == 1; }
  size_t read(uint8_t* buf, size_t max) override {
    const uint32_t start = line_.clock_.tickCount();
    const uint32_t limit = timeouts_.readMultiplierMs * static_cast<uint32_t>(max) + timeouts_.readConstantMs;
    size_t got = 0;
    for (;;) {
      {
        std::lock_guard l(line_.m_);
        if (closed_) return 0;
        line_.step();
        while (got < max && !in_.empty()) {
          buf[got++] = in_.front();
          in_.pop_front();
        }
      }
      if (got == max || line_.clock_.tickCount() - start >= limit) return got;
      line_.clock_.advance(kStepMs);
    }
  }
  bool write(const uint8_t* data, size_t n) override {
    std::lock_guard l(line_.m_);
    if (closed_) return false;
    line_.step();
    if (line_.open_ == this && line_.rx_.baud() == settings_.baud && !line_.cut()) {
      line_.rx_.receive(data, n, line_.clock_.tickCount());
      line_.bytesIn_ += n;
    }
    return true;
  }
  bool getTimeouts(PortTimeouts& out) override { return (out = timeouts_, !closed_); }
  bool setTimeouts(const PortTimeouts& t) override { return (timeouts_ = t, !closed_); }
  bool getLineSettings(LineSettings& out) override { return (out = settings_, !closed_); }
  bool setLineSettings(const LineSettings& s) override {
    std::lock_guard l(line_.m_);
    if (closed_ || s.baud == 0) return false;
    settings_ = s;
    in_.clear();  // bytes at the old rate were noise
    return true;
  }
  bool purge(unsigned flags) override {
    std::lock_guard l(line_.m_);
    if (flags & (kPurgeRxClear | kPurgeRxAbort)) in_.clear();
    return !closed_;
  }
  void close() override {
    std::lock_guard l(line_.m_);
    closed_ = true;
    if (line_.open_ == this) line_.open_ = nullptr;
  }

 private:
  friend class SimLine;
  static constexpr uint32_t kStepMs = 5;
  SimLine& line_;
  bool closed_ = false;
  PortTimeouts timeouts_{0, 0, 1000, 0, 1000};
  LineSettings settings_;
  std::deque<uint8_t> in_;
};

inline std::shared_ptr<Port> SimLine::open() {
  auto end = std::make_shared<End>(*this);
  std::lock_guard l(m_);
  step();  // what came before the open is lost
  if (open_) open_->closed_ = true;
  open_ = end.get();
  return end;
}

inline void SimLine::step() {
  const uint32_t now = clock_.tickCount();
  if (cycleAt_ && static_cast<int32_t>(now - *cycleAt_) >= 0) {
    rx_.advance(*cycleAt_);
    rx_.takeOutput();
    rx_.powerCycle(*cycleAt_);
    cycleAt_.reset();
  }
  rx_.advance(now);
  const sim::Bytes out = rx_.takeOutput();
  if (!open_ || out.empty() || cut()) return;
  if (open_->settings_.baud != rx_.baud()) return;
  open_->in_.insert(open_->in_.end(), out.begin(), out.end());
}

// Every name opens the one line: the receiver has one port.
class SimLineOpener final : public PortOpener {
 public:
  explicit SimLineOpener(SimLine& line) : line_(line) {}
  std::shared_ptr<Port> open(const std::string&) override { return line_.open(); }

 private:
  SimLine& line_;
};

}  // namespace ferrolan::test
