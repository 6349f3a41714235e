#include "export/track_writers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace ferrolan::track {

namespace {

constexpr std::string_view kFixNames[] = {"none", "2d", "3d"};

std::string_view fixName(Fix f) { return kFixNames[static_cast<size_t>(f)]; }

// Nine decimals: a tenth of a millimetre, finer than any receiver reports.
std::string degreesText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9f", v);
  return buf;
}

// The shortest text that reads back as the same number, "29.7" and not
// "29.700000", and never in exponent form, which the schema's decimals
// refuse. Room for the largest double written out in full.
std::string shortest(double v) {
  char buf[512];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

void escapeXml(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c >= 0x20 && c <= 0x7E ? c : '?';
    }
  }
}

}  // namespace

std::string timeText(const Time& t) {
  char buf[64];
  const int whole = static_cast<int>(std::floor(t.second));
  // Cut, not rounded, so that 59.9996 stays in its minute.
  const int millis = std::min(999, static_cast<int>(std::floor((t.second - whole) * 1000 + 1e-6)));
  int n;
  if (t.hasDate)
    n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, whole);
  else
    n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, whole);
  std::string out(buf, static_cast<size_t>(std::max(n, 0)));
  if (millis > 0) {
    std::snprintf(buf, sizeof buf, ".%03d", millis);
    out += buf;
  }
  if (t.hasDate) out += 'Z';
  return out;
}

std::string gpxBegin(std::string_view name) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"ferrolan-export " FERROLAN_VERSION "\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
      "  <trk>\n    <name>";
  escapeXml(out, name);
  out += "</name>\n    <trkseg>\n";
  return out;
}

std::string gpxPoint(const Point& p) {
  if (p.fix == Fix::None || !p.latitude || !p.longitude) return {};
  // The schema's longitude stops short of 180: the same meridian is -180.
  const double lon = *p.longitude >= 180 ? *p.longitude - 360 : *p.longitude;
  std::string out = "      <trkpt lat=\"" + degreesText(*p.latitude) + "\" lon=\"" + degreesText(lon) + "\">\n";
  // In the order the schema lays them down.
  if (p.altitude) out += "        <ele>" + shortest(*p.altitude) + "</ele>\n";
  if (p.time.hasDate) out += "        <time>" + timeText(p.time) + "</time>\n";
  out += "        <fix>" + std::string(fixName(p.fix)) + "</fix>\n";
  if (p.used) out += "        <sat>" + std::to_string(*p.used) + "</sat>\n";
  if (p.hdop) out += "        <hdop>" + shortest(*p.hdop) + "</hdop>\n";
  out += "      </trkpt>\n";
  return out;
}

std::string gpxEnd() { return "    </trkseg>\n  </trk>\n</gpx>\n"; }

std::string csvHeader() { return "time,latitude,longitude,altitude,fix,used,hdop\n"; }

std::string csvRow(const Point& p) {
  const bool fixed = p.fix != Fix::None && p.latitude && p.longitude;
  std::string out = timeText(p.time);
  out += ',';
  if (fixed) out += degreesText(*p.latitude) + ',' + degreesText(*p.longitude);
  else out += ',';
  out += ',';
  if (fixed && p.altitude) out += shortest(*p.altitude);
  out += ',';
  out += fixed ? fixName(p.fix) : fixName(Fix::None);
  out += ',';
  if (p.used) out += std::to_string(*p.used);
  out += ',';
  if (p.hdop) out += shortest(*p.hdop);
  out += '\n';
  return out;
}

std::string gpxDocument(const Track& track, std::string_view name) {
  std::string out = gpxBegin(name);
  for (const Point& p : track.points) out += gpxPoint(p);
  return out + gpxEnd();
}

std::string csvDocument(const Track& track) {
  std::string out = csvHeader();
  for (const Point& p : track.points) out += csvRow(p);
  return out;
}

}  // namespace ferrolan::track
