#pragma once
// A deterministic sky: a dozen and more satellites that move slowly, with
// elevation, azimuth and signal level, plus the receiver's position and the
// time base. Everything follows from the seed and the seconds since start,
// so two runs with the same options put out the same numbers.

#include <cstdint>
#include <vector>

#include "core/calendar.h"
#include "platform/clock.h"

namespace ferrolan::sim {

enum class FixKind : uint8_t { None, Fix2D, Fix3D };

struct Position {
  double latitudeDeg = 25.0339;   // degrees north
  double longitudeDeg = 121.5645; // degrees east
  double altitudeM = 35.0;
};

struct SatelliteView {
  int prn = 0;
  int elevationDeg = 0;
  int azimuthDeg = 0;
  int snr = 0;        // dB-Hz; 0 = not tracked
  bool used = false;  // part of the fix
};

inline constexpr int kSkySatellites = 16;
inline constexpr int kMaxUsed = 12;  // slots in a GSA sentence

class Constellation {
 public:
  explicit Constellation(uint32_t seed);
  // The sky `seconds` after start. With `fix` None nothing is marked used;
  // `singleChannel` (a PRN, 0 = off) tracks that satellite alone.
  std::vector<SatelliteView> at(double seconds, FixKind fix, int singleChannel = 0) const;

 private:
  struct Orbit {
    int prn;
    double azimuth0, azimuthRate;      // degrees, degrees per second
    double phase0, phaseRate;          // radians, radians per second
    double peakElevation;
    int snrBias;
  };
  std::vector<Orbit> orbits_;
};

// Calendar arithmetic on UTC without leap seconds.
using ferrolan::civilFromUnix;
using ferrolan::daysFromCivil;
using ferrolan::unixFromCivil;
// Seconds of GPS time (epoch 6 January 1980, 18 leap seconds ahead of UTC).
uint32_t gpsSecondsFromUnix(int64_t unixSeconds);

}  // namespace ferrolan::sim
