#include "sim/vbi_output.h"

#include <numbers>

namespace ferrolan::sim {

Bytes svMeasurementsFrame(const Epoch& e, uint32_t gpsSeconds) {
  std::vector<const SatelliteView*> tracked;
  for (const auto& s : e.sky)
    if (s.snr > 0 && tracked.size() < kMaxMeasRecords) tracked.push_back(&s);
  Bytes p(kMeasHeader + kMeasRecord * tracked.size(), 0);
  const uint32_t week = gpsSeconds / 604800u;
  setLe16(p, 0, static_cast<uint16_t>(week));
  setLe32(p, 2, (gpsSeconds % 604800u) * 1000u);  // time of week, ms
  setLe32(p, kMeasGpsSecondsOffset, gpsSeconds);
  p[10] = static_cast<uint8_t>(tracked.size());
  for (size_t i = 0; i < tracked.size(); ++i) {
    const SatelliteView& s = *tracked[i];
    const size_t r = kMeasHeader + kMeasRecord * i;
    p[r + 0] = static_cast<uint8_t>(i + 1);  // channel
    p[r + 1] = static_cast<uint8_t>(s.prn);
    p[r + 2] = static_cast<uint8_t>(s.elevationDeg < 0 ? 0 : s.elevationDeg);
    setLe16(p, r + 3, static_cast<uint16_t>(s.azimuthDeg));
    p[r + 5] = s.used ? pvt::kStateUsed : pvt::kStateTracked;
    setLe16(p, r + 8, static_cast<uint16_t>(s.snr * 1000));
  }
  return vbiFrame(kMsgSvMeasurements, p);
}

Bytes pvtSolutionFrame(const Epoch& e) {
  Bytes p(kPvtPayload, 0);
  p[pvt::kFixType] = e.fix == FixKind::Fix3D ? pvt::kFix3D : e.fix == FixKind::Fix2D ? pvt::kFix2D : 0;
  p[pvt::kHour] = static_cast<uint8_t>(e.utc.hour);
  p[pvt::kMinute] = static_cast<uint8_t>(e.utc.minute);
  p[pvt::kSecond] = static_cast<uint8_t>(e.utc.second);
  if (e.fix != FixKind::None) {
    constexpr double kRad = std::numbers::pi / 180.0;
    setLeDouble(p, pvt::kLatitude, e.position.latitudeDeg * kRad);
    setLeDouble(p, pvt::kLongitude, e.position.longitudeDeg * kRad);
    setLeDouble(p, pvt::kAltitude, e.position.altitudeM);
  }
  for (const auto& s : e.sky) {
    if (s.prn < 1 || s.prn > 32 || s.snr == 0) continue;
    const uint8_t state = s.used ? pvt::kStateUsed : pvt::kStateTracked;
    const size_t i = pvt::kSatStates + static_cast<size_t>(s.prn - 1) / 2;
    p[i] = static_cast<uint8_t>((s.prn % 2 == 1) ? ((p[i] & 0xF0) | state) : ((p[i] & 0x0F) | (state << 4)));
  }
  return vbiFrame(kMsgPvtSolution, p);
}

Bytes auxiliaryFrame(uint32_t epoch) {
  // Walk the 54 other ids in turn.
  uint16_t id = static_cast<uint16_t>(100 + (epoch / 10) % 54);
  if (id >= kMsgSvMeasurements) id = static_cast<uint16_t>(id + 2);
  Bytes p(8, 0);
  setLe32(p, 0, epoch);
  p[4] = static_cast<uint8_t>(id);
  return vbiFrame(id, p);
}

std::vector<Bytes> vbiEpoch(const Epoch& e, uint32_t gpsSeconds, uint32_t epoch) {
  std::vector<Bytes> out;
  out.push_back(svMeasurementsFrame(e, gpsSeconds));
  out.push_back(pvtSolutionFrame(e));
  if (epoch % 10 == 5) out.push_back(auxiliaryFrame(epoch));
  return out;
}

}  // namespace ferrolan::sim
