#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace ferrolan {

uint32_t SystemClock::tickCount() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

void SystemClock::sleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {
CalendarTime fromTm(const std::tm& tm, long ms) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}
CalendarTime nowAs(bool utc) {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  if (utc)
    gmtime_r(&t, &tm);
  else
    localtime_r(&t, &tm);
  return fromTm(tm, ms);
}
}  // namespace

CalendarTime SystemClock::utcNow() { return nowAs(true); }
CalendarTime SystemClock::localNow() { return nowAs(false); }

}  // namespace ferrolan
