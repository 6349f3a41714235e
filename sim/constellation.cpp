#include "sim/constellation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ferrolan::sim {

namespace {

// Small LCG: the sky must be the same on every platform, which
// std::uniform_*_distribution does not promise.
struct Lcg {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  double unit() { return static_cast<double>(next() & 0xFFFFFF) / 16777216.0; }
};

constexpr int64_t kGpsEpochUnix = 315964800;  // 1980-01-06 00:00:00 UTC
constexpr int kLeapSeconds = 18;

}  // namespace

Constellation::Constellation(uint32_t seed) {
  Lcg rng{seed ^ 0x5A17C0DEu};
  bool taken[33] = {};
  while (static_cast<int>(orbits_.size()) < kSkySatellites) {
    const int prn = 1 + static_cast<int>(rng.next() % 32);
    if (taken[prn]) continue;
    taken[prn] = true;
    Orbit o{};
    o.prn = prn;
    o.azimuth0 = rng.unit() * 360.0;
    o.azimuthRate = (rng.unit() - 0.5) * 0.004;  // a few degrees an hour
    o.phase0 = (0.2 + 0.6 * rng.unit()) * std::numbers::pi;  // all up at start
    o.phaseRate = 0.00005 + rng.unit() * 0.00005;
    o.peakElevation = 40.0 + rng.unit() * 50.0;
    o.snrBias = static_cast<int>(rng.next() % 7);
    orbits_.push_back(o);
  }
  std::sort(orbits_.begin(), orbits_.end(), [](const Orbit& a, const Orbit& b) { return a.prn < b.prn; });
}

std::vector<SatelliteView> Constellation::at(double seconds, FixKind fix, int singleChannel) const {
  std::vector<SatelliteView> sky;
  sky.reserve(orbits_.size());
  int usedCount = 0;
  for (const Orbit& o : orbits_) {
    SatelliteView v;
    v.prn = o.prn;
    // Each satellite rises and sets on its own slow arc, so all of them are up at
    // start and they set over the hours that follow.
    const double arc = std::sin(o.phase0 + o.phaseRate * seconds);
    const double elevation = o.peakElevation * arc - 5.0;
    v.elevationDeg = static_cast<int>(std::lround(std::clamp(elevation, -90.0, 90.0)));
    double az = std::fmod(o.azimuth0 + o.azimuthRate * seconds, 360.0);
    if (az < 0) az += 360.0;
    v.azimuthDeg = static_cast<int>(std::lround(az)) % 360;
    const bool visible = v.elevationDeg >= 5;
    const bool tracked = visible && (singleChannel == 0 || singleChannel == o.prn);
    if (tracked) {
      const int wobble = static_cast<int>(std::lround(2.0 * std::sin(seconds * 0.3 + o.prn)));
      v.snr = std::clamp(28 + v.elevationDeg / 4 + o.snrBias + wobble, 20, 52);
    }
    if (tracked && fix != FixKind::None && singleChannel == 0 && v.elevationDeg >= 10 && usedCount < kMaxUsed) {
      v.used = true;
      ++usedCount;
    }
    if (visible || tracked) sky.push_back(v);
  }
  return sky;
}

int64_t daysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil.
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CalendarTime civilFromUnix(int64_t unixSeconds) {
  int64_t days = unixSeconds / 86400;
  int64_t rem = unixSeconds % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CalendarTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem / 60 % 60);
  t.second = static_cast<int>(rem % 60);
  return t;
}

int64_t unixFromCivil(const CalendarTime& t) {
  return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

uint32_t gpsSecondsFromUnix(int64_t unixSeconds) {
  return static_cast<uint32_t>(unixSeconds - kGpsEpochUnix + kLeapSeconds);
}

}  // namespace ferrolan::sim
