#include "driver/nmea_from_vbi.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/calendar.h"
#include "core/text.h"
#include "link/command_sentences.h"

namespace ferrolan {

namespace {

constexpr int64_t kGpsEpochUnix = 315964800;  // 1980-01-06 00:00:00 UTC
// GPS time runs ahead of UTC by this much since 2017; the receiver's
// measurements carry no leap-second count of their own.
constexpr int64_t kLeapSeconds = 18;
constexpr int64_t kDay = 86400;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
// Minutes to six places: 0.2 mm of latitude, far below what a fix means.
constexpr double kMinuteSteps = 1e6;
constexpr int kGsaSlots = 12;
constexpr size_t kGsvPerSentence = 4;

bool timeValid(const PvtSolution& p) {
  return p.hour >= 0 && p.hour < 24 && p.minute >= 0 && p.minute < 60 && p.second >= 0 && p.second < 61;
}

std::string timeField(const PvtSolution& p) {
  return timeValid(p) ? format("%02d%02d%02d.00", p.hour, p.minute, p.second) : std::string();
}

bool positionValid(const PvtSolution& p) {
  return p.fix != PvtFix::None && std::isfinite(p.latitudeRad) && std::isfinite(p.longitudeRad) &&
         std::fabs(p.latitudeRad) <= std::numbers::pi / 2 && std::fabs(p.longitudeRad) <= std::numbers::pi;
}

// "ddmm.mmmmmm,N" or "dddmm.mmmmmm,E"; rounded as a whole so that minutes
// never read 60.
std::string angleFields(double radians, int degreeDigits, char positive, char negative) {
  const double deg = std::fabs(radians * kDegreesPerRadian);
  const auto steps = static_cast<long long>(std::llround(deg * 60.0 * kMinuteSteps));
  const long long perDegree = static_cast<long long>(60 * kMinuteSteps);
  const long long whole = steps / perDegree, rest = steps % perDegree;
  const long long minutes = rest / static_cast<long long>(kMinuteSteps);
  const long long fraction = rest % static_cast<long long>(kMinuteSteps);
  return format("%0*lld%02lld.%06lld,%c", degreeDigits, whole, minutes, fraction, radians < 0 ? negative : positive);
}

std::string positionFields(const PvtSolution& p) {
  if (!positionValid(p)) return ",,,";
  return angleFields(p.latitudeRad, 2, 'N', 'S') + "," + angleFields(p.longitudeRad, 3, 'E', 'W');
}

int usedCount(const PvtSolution& p) { return p.used; }


std::string sentence(const std::string& body) { return composeSentence("$" + body); }

}  // namespace

CalendarDate utcDateOf(uint32_t gpsSeconds, int hour, int minute, int second) {
  const int64_t unix = static_cast<int64_t>(gpsSeconds) + kGpsEpochUnix - kLeapSeconds;
  int64_t days = unix / kDay;
  const int64_t ofDay = unix % kDay;
  const int64_t solution = hour * 3600 + minute * 60 + second;
  if (solution - ofDay > kDay / 2) --days;
  if (ofDay - solution > kDay / 2) ++days;
  const CalendarTime t = civilFromUnix(days * kDay);
  return {t.year, t.month, t.day};
}

std::string ggaFromVbi(const PvtSolution& p) {
  const bool fix = positionValid(p);
  const std::string altitude = fix && std::isfinite(p.altitudeM) && std::fabs(p.altitudeM) < 1e6
                                   ? format("%.2f,M", p.altitudeM)
                                   : std::string(",M");
  return sentence(format("GPGGA,%s,%s,%d,%02d,,%s,,M,,", timeField(p).c_str(), positionFields(p).c_str(),
                             fix ? 1 : 0, usedCount(p), altitude.c_str()));
}

std::string gsaFromVbi(const PvtSolution& p) {
  std::string body = format("GPGSA,A,%d", p.fix == PvtFix::Fix3D ? 3 : p.fix == PvtFix::Fix2D ? 2 : 1);
  int slots = 0;
  for (int k = 0; k < p.used && slots < kGsaSlots; ++k) body += format(",%02d", p.usedIds[static_cast<size_t>(k)]), ++slots;
  for (; slots < kGsaSlots; ++slots) body += ",";
  return sentence(body + ",,,");
}

std::string rmcFromVbi(const PvtSolution& p, const SvMeasurements* meas) {
  const bool fix = positionValid(p);
  std::string date;
  if (meas != nullptr && meas->gpsSeconds != 0 && timeValid(p)) {
    const CalendarDate d = utcDateOf(meas->gpsSeconds, p.hour, p.minute, p.second);
    date = format("%02d%02d%02d", d.day, d.month, d.year % 100);
  }
  return sentence(format("GPRMC,%s,%c,%s,,,%s,,,%c", timeField(p).c_str(), fix ? 'A' : 'V',
                             positionFields(p).c_str(), date.c_str(), fix ? 'A' : 'N'));
}

std::vector<std::string> gsvFromVbi(const SvMeasurements& m) {
  std::vector<std::string> out;
  const size_t total = m.count;
  const size_t sentences = (total + kGsvPerSentence - 1) / kGsvPerSentence;
  for (size_t s = 0; s < sentences; ++s) {
    std::string body = format("GPGSV,%zu,%zu,%02zu", sentences, s + 1, total);
    for (size_t k = s * kGsvPerSentence; k < total && k < (s + 1) * kGsvPerSentence; ++k) {
      const SvMeasurement& r = m.records[k];
      const unsigned snr = r.signal / 1000;
      body += format(",%02d,%02d,%03d,", r.prn, r.elevationDeg % 100, r.azimuthDeg % 360);
      if (snr > 0) body += format("%02u", snr > 99 ? 99 : snr);
    }
    out.push_back(sentence(body));
  }
  return out;
}

std::vector<std::string> nmeaFromVbi(const PvtSolution& pvt, const SvMeasurements* meas) {
  std::vector<std::string> out{ggaFromVbi(pvt), gsaFromVbi(pvt)};
  if (meas != nullptr)
    for (auto& s : gsvFromVbi(*meas)) out.push_back(std::move(s));
  out.push_back(rmcFromVbi(pvt, meas));
  return out;
}

}  // namespace ferrolan
