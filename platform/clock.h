#pragma once
// Time as the receiver routines use it: a 32-bit millisecond tick count that
// wraps, sleeps, and calendar time. Tests use the virtual clock, on which the
// long waits of the protocols pass instantly and exactly.

#include <atomic>
#include <cstdint>

namespace ferrolan {

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t tickCount() = 0;
  virtual void sleepMs(uint32_t ms) = 0;
  virtual CalendarTime utcNow() = 0;
  virtual CalendarTime localNow() = 0;
};

// Whole seconds since start, wrap-around safe.
inline uint32_t elapsedSeconds(Clock& clock, uint32_t start) {
  return (clock.tickCount() - start) / 1000u;
}

class SystemClock final : public Clock {
 public:
  uint32_t tickCount() override;
  void sleepMs(uint32_t ms) override;
  CalendarTime utcNow() override;
  CalendarTime localNow() override;
};

// Time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint32_t startTick = 0) : now_(startTick) {}
  uint32_t tickCount() override { return now_.load(); }
  void sleepMs(uint32_t ms) override { now_.fetch_add(ms); }
  void advance(uint32_t ms) { now_.fetch_add(ms); }
  CalendarTime utcNow() override { return calendar_; }
  CalendarTime localNow() override { return calendar_; }
  void setCalendar(const CalendarTime& t) { calendar_ = t; }

 private:
  std::atomic<uint32_t> now_;
  CalendarTime calendar_{2026, 1, 1, 0, 0, 0, 0};
};

}  // namespace ferrolan
