#include "sim/nmea_output.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "sim/wire.h"

namespace ferrolan::sim {

namespace {

// "ddmm.mmmm" / "dddmm.mmmm" with the hemisphere letter.
std::string angle(double deg, bool latitude) {
  const char hemi = latitude ? (deg < 0 ? 'S' : 'N') : (deg < 0 ? 'W' : 'E');
  deg = std::fabs(deg);
  int whole = static_cast<int>(deg);
  double minutes = (deg - whole) * 60.0;
  if (minutes >= 59.99995) {  // would print as 60.0000
    minutes = 0.0;
    ++whole;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, latitude ? "%02d%07.4f,%c" : "%03d%07.4f,%c", whole, minutes, hemi);
  return buf;
}

std::string hhmmss(const CalendarTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d.%02d", t.hour % 100, t.minute % 100, t.second % 100,
                (t.millisecond / 10) % 100);
  return buf;
}

std::string format(const char* fmt, auto... args) {
  char buf[192];
  const int n = std::snprintf(buf, sizeof buf, fmt, args...);
  return std::string(buf, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

int usedCount(const Epoch& e) {
  int n = 0;
  for (const auto& s : e.sky) n += s.used ? 1 : 0;
  return n;
}

// Dilution figures that shrink as more satellites are used.
double hdop(const Epoch& e) {
  const int n = usedCount(e);
  return n < 3 ? 99.9 : 0.6 + 6.0 / n;
}

bool hasFix(const Epoch& e) { return e.fix != FixKind::None; }

}  // namespace

int intervalForRateCode(int code) {
  if (code == 0) return 0;
  if (code >= 4 && code <= 8) return code - 3;
  return -1;
}

std::string ggaSentence(const Epoch& e) {
  const bool fix = hasFix(e);
  return nmeaSentence(format("GPGGA,%s,%s,%s,%d,%02d,%.1f,%.1f,M,15.0,M,,", hhmmss(e.utc).c_str(),
                             fix ? angle(e.position.latitudeDeg, true).c_str() : ",",
                             fix ? angle(e.position.longitudeDeg, false).c_str() : ",", fix ? 1 : 0, usedCount(e),
                             hdop(e), fix ? e.position.altitudeM : 0.0));
}

std::string gllSentence(const Epoch& e) {
  const bool fix = hasFix(e);
  return nmeaSentence(format("GPGLL,%s,%s,%s,%c,%c", fix ? angle(e.position.latitudeDeg, true).c_str() : ",",
                             fix ? angle(e.position.longitudeDeg, false).c_str() : ",", hhmmss(e.utc).c_str(),
                             fix ? 'A' : 'V', fix ? 'A' : 'N'));
}

std::string gsaSentence(const Epoch& e) {
  const int mode = e.fix == FixKind::Fix3D ? 3 : e.fix == FixKind::Fix2D ? 2 : 1;
  std::string body = format("GPGSA,A,%d", mode);
  int slots = 0;
  for (const auto& s : e.sky) {
    if (!s.used || slots == kMaxUsed) continue;
    body += format(",%02d", s.prn);
    ++slots;
  }
  for (; slots < kMaxUsed; ++slots) body += ',';
  const double h = hdop(e);
  body += format(",%.1f,%.1f,%.1f", mode == 1 ? 99.9 : h * 1.4, mode == 1 ? 99.9 : h, mode == 1 ? 99.9 : h);
  return nmeaSentence(body);
}

std::vector<std::string> gsvSentences(const Epoch& e) {
  std::vector<std::string> out;
  const int total = static_cast<int>(e.sky.size());
  const int messages = total == 0 ? 1 : (total + 3) / 4;
  for (int m = 0; m < messages; ++m) {
    std::string body = format("GPGSV,%d,%d,%02d", messages, m + 1, total);
    for (int i = m * 4; i < std::min(total, m * 4 + 4); ++i) {
      const auto& s = e.sky[static_cast<size_t>(i)];
      body += format(",%02d,%02d,%03d,", s.prn, std::max(0, s.elevationDeg), s.azimuthDeg);
      if (s.snr > 0) body += format("%02d", s.snr);
    }
    out.push_back(nmeaSentence(body));
  }
  return out;
}

std::string rmcSentence(const Epoch& e) {
  const bool fix = hasFix(e);
  return nmeaSentence(format("GPRMC,%s,%c,%s,%s,%.1f,%.1f,%02d%02d%02d,,,%c", hhmmss(e.utc).c_str(), fix ? 'A' : 'V',
                             fix ? angle(e.position.latitudeDeg, true).c_str() : ",",
                             fix ? angle(e.position.longitudeDeg, false).c_str() : ",", e.speedKnots, e.courseDeg,
                             e.utc.day, e.utc.month, e.utc.year % 100, fix ? 'A' : 'N'));
}

std::string vtgSentence(const Epoch& e) {
  return nmeaSentence(format("GPVTG,%.1f,T,,M,%.1f,N,%.1f,K,%c", e.courseDeg, e.speedKnots, e.speedKnots * 1.852,
                             hasFix(e) ? 'A' : 'N'));
}

std::string zdaSentence(const Epoch& e) {
  return nmeaSentence(
      format("GPZDA,%s,%02d,%02d,%04d,00,00", hhmmss(e.utc).c_str(), e.utc.day, e.utc.month, e.utc.year));
}

std::vector<std::string> nmeaEpoch(const Epoch& e, const OutputRates& rates, uint32_t epoch) {
  std::vector<std::string> out;
  if (rates.due(SentenceItem::Gga, epoch)) out.push_back(ggaSentence(e));
  if (rates.due(SentenceItem::Gll, epoch)) out.push_back(gllSentence(e));
  if (rates.due(SentenceItem::Gsa, epoch)) out.push_back(gsaSentence(e));
  if (rates.due(SentenceItem::Gsv, epoch))
    for (auto& s : gsvSentences(e)) out.push_back(std::move(s));
  if (rates.due(SentenceItem::Rmc, epoch)) out.push_back(rmcSentence(e));
  if (rates.due(SentenceItem::Vtg, epoch)) out.push_back(vtgSentence(e));
  if (rates.due(SentenceItem::Zda, epoch)) out.push_back(zdaSentence(e));
  return out;
}

}  // namespace ferrolan::sim
