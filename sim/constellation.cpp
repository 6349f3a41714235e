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

uint32_t gpsSecondsFromUnix(int64_t unixSeconds) {
  return static_cast<uint32_t>(unixSeconds - kGpsEpochUnix + kLeapSeconds);
}

}  // namespace ferrolan::sim
