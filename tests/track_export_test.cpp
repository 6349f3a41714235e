// ferrolan-export: positions against gpsd's decoding of the captures (the
// .track files, see scripts/track-expected), the VBI log as the simulated
// receiver sends it, the GPX against the GPX 1.1 schema, bad input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "datapath/stream_framer.h"
#include "export/export_program.h"
#include "export/log_summary.h"
#include "export/track_export.h"
#include "export/track_writers.h"
#include "core/text.h"
#include "platform/process.h"
#include "sim/vbi_output.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::slurp;
using track::Fix;

const std::string kNmea = FERROLAN_TESTDATA_DIR "/nmea/";

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::vector<std::string> captures() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kNmea))
    if (e.path().extension() == ".nmea") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

// "hh:mm:ss.sss" of a point, as the .track files key gpsd's fixes.
std::string timeOfDay(const track::Time& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%06.3f", t.hour, t.minute, t.second);
  return buf;
}

// What the tool's text log holds of a capture: the lines as its framer cut them.
std::string asLogged(const std::string& capture) {
  LineSync sync;
  LineFramer framer(sync);
  std::string log;
  for (const char c : capture) framer.take(static_cast<uint8_t>(c), [&](std::string_view l) { log += l; });
  return log + std::string(framer.pending());
}

// Both empty, or both numbers within `tolerance`.
void expectNear(std::optional<double> got, std::optional<double> want, double tolerance, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(got.has_value(), want.has_value());
  if (want) {
    EXPECT_NEAR(*got, *want, tolerance);
  }
}

// The summary of a log file; an empty one, and a failure, when it cannot be read.
track::Summary summarized(const std::string& path) {
  track::Summary s;
  std::string error;
  EXPECT_TRUE(track::summarizeLogFile(path, s, error)) << path << ": " << error;
  return s;
}

// A figure by its key of --stats, a count as a number. Looked up through
// the program's own key table, so that a key on the wrong figure fails too.
std::optional<double> figure(const track::Figures& f, std::string_view key) {
  for (const track::FigureRow& r : track::kFigureRows)
    if (key == r.key) return r.value ? f.*r.value : static_cast<double>(f.*r.count);
  ADD_FAILURE() << "no figure " << key;
  return std::nullopt;
}

// The figures of --stats are those computed from gpsd's decoding of each
// capture (the .stats files, see scripts/stats-expected).
TEST(TrackExport, EveryCaptureGivesGpsdsFixesAndTheirFigures) {
  // Positions as gpsd prints them (nine decimals) and the sums in another
  // order: far below what a receiver resolves.
  const std::map<std::string, double> tolerance = {
      {"fixes", 0},     {"duration_s", 1e-3}, {"lat", 1e-7},        {"lon", 1e-7},      {"cep50_m", 0.01},
      {"cep95_m", 0.01}, {"drms2_m", 0.01},   {"alt_mean_m", 0.01}, {"alt_sd_m", 0.01},
  };
  for (const std::string& name : captures()) {
    SCOPED_TRACE(name);
    const std::string capture = slurp(kNmea + name + ".nmea");
    const track::Track t = track::readLog(bytesOf(capture));
    std::map<std::string, const track::Point*> ours;
    for (const track::Point& p : t.points)
      if (p.fix != Fix::None) ours[timeOfDay(p.time)] = &p;
    std::istringstream gpsd(slurp(kNmea + name + ".track"));
    size_t gpsdFixes = 0;
    for (std::string time, alt; gpsd >> time; ++gpsdFixes) {
      double lat, lon;
      gpsd >> lat >> lon >> alt;
      SCOPED_TRACE(time);
      const auto it = ours.find(time);
      ASSERT_NE(it, ours.end());
      EXPECT_NEAR(*it->second->latitude, lat, 1e-7);
      EXPECT_NEAR(*it->second->longitude, lon, 1e-7);
      if (alt != "-") {
        EXPECT_NEAR(it->second->altitude.value_or(NAN), std::stod(alt), 1e-3);
      }
    }
    // gpsd leaves out the epoch it starts in, and one whose end it did not see.
    EXPECT_LE(t.fixes(), gpsdFixes + 2);
    EXPECT_EQ(gpsdFixes == 0, t.fixes() == 0);
    // The tool's log of a receiver that ends its lines with CR LF gives the
    // same track.
    size_t lf = 0, crlf = 0;
    for (size_t i = 0; i < capture.size(); ++i)
      if (capture[i] == '\n') ++lf, crlf += i > 0 && capture[i - 1] == '\r';
    if (lf == crlf) {
      EXPECT_EQ(track::gpxDocument(track::readNmeaLog(asLogged(capture)), name), track::gpxDocument(t, name));
    }
    // Read in pieces, however small, the capture gives the same epochs.
    std::string csv = track::csvHeader();
    track::LogReader pieces([&](const track::Point& p, std::span<const track::Signal>) { csv += track::csvRow(p); });
    for (size_t at = 0; at < capture.size(); at += 7) pieces.feed(bytesOf(capture.substr(at, 7)));
    pieces.finish();
    EXPECT_EQ(csv, track::csvDocument(t));
    EXPECT_EQ(pieces.skipped(), t.skipped);

    const track::Summary s = summarized(kNmea + name + ".nmea");
    std::istringstream stats(slurp(kNmea + name + ".stats"));
    size_t compared = 0;
    for (std::string key, value; stats >> key >> value; ++compared) {
      ASSERT_TRUE(tolerance.count(key)) << key;
      expectNear(figure(s.figures, key), value == "null" ? std::nullopt : std::optional(std::stod(value)),
                 tolerance.at(key), key);
    }
    EXPECT_EQ(compared, tolerance.size());
  }
}

TEST(TrackExport, FieldValuesReadOrAreRefused) {
  struct Row {
    std::string_view value, hemisphere;
    std::optional<double> degrees;
  };
  const Row rows[] = {
      {"5129.0623", "N", 51 + 29.0623 / 60}, {"00632.2910", "W", -(6 + 32.2910 / 60)}, {"9000.0000", "S", -90},
      {"18000.0", "E", 180},                 {"9000.0001", "N", std::nullopt},         {"18000.01", "W", std::nullopt},
      {"4960.0000", "N", std::nullopt},      {"5129.0623", "E", 51 + 29.0623 / 60},    {"5129.0623", "X", std::nullopt},
      {"5129.0623", "", std::nullopt},       {"", "N", std::nullopt},                  {"-5129.0", "N", std::nullopt},
      {"51a9.0", "N", std::nullopt},         {"1e3", "N", std::nullopt},               {"51.29.0", "N", std::nullopt},
      {".", "N", std::nullopt},
  };
  for (const Row& r : rows)
    expectNear(track::nmeaDegrees(r.value, r.hemisphere), r.degrees, 1e-12, std::string(r.value) + r.hemisphere.data());
  // Times and dates, as they are written back.
  const std::pair<std::string_view, std::string_view> times[] = {
      {"102128", "10:21:28"}, {"235959.990", "23:59:59.990"}, {"000000.5", "00:00:00.500"}, {"240000", ""},
      {"106000", ""},         {"1021", ""},                   {"10212a", ""},               {"102128.1.2", ""},
  };
  for (const auto& [text, shown] : times) {
    const auto t = track::nmeaTime(text);
    EXPECT_EQ(t ? track::timeText(*t) : "", shown) << text;
  }
  const std::pair<std::string_view, std::string_view> dates[] = {
      {"210211", "2011-02-21"}, {"311299", "1999-12-31"}, {"010180", "1980-01-01"}, {"320111", ""},
      {"211311", ""},           {"2102111", ""},          {"00011", ""},
  };
  for (const auto& [text, shown] : dates) {
    const auto d = track::nmeaDate(text);
    EXPECT_EQ(d ? track::timeText(*d).substr(0, 10) : "", shown) << text;
  }
}

// A VBI log as the tool writes it: the raw bytes of the receiver's frames.
// The simulated receiver's epochs cross a year's end; every tenth brings
// one more message, which is not used.
struct VbiLog {
  std::string bytes;
  std::vector<sim::Epoch> epochs;
};

VbiLog simulatedVbiLog() {
  VbiLog log;
  const int64_t start = sim::unixFromCivil(CalendarTime{2026, 12, 31, 23, 59, 55});
  for (uint32_t n = 0; n < 12; ++n) {
    sim::Epoch e;
    e.utc = sim::civilFromUnix(start + n);
    e.fix = n == 3 ? sim::FixKind::None : n == 4 ? sim::FixKind::Fix2D : sim::FixKind::Fix3D;
    e.position = {-33.8688 + n * 1e-5, 151.2093 - n * 2e-5, 58.25 + n};
    for (int prn = 1; prn <= 6; ++prn) e.sky.push_back({prn * 5, 40, 90, 40, prn <= 4 && e.fix != sim::FixKind::None});
    for (const auto& f : sim::vbiEpoch(e, sim::gpsSecondsFromUnix(start + n), n)) log.bytes.append(f.begin(), f.end());
    log.epochs.push_back(e);
  }
  return log;
}

TEST(TrackExport, VbiLogGivesTheSimulatedReceiversEpochs) {
  const VbiLog log = simulatedVbiLog();
  const track::Track t = track::readLog(bytesOf(log.bytes));
  ASSERT_EQ(t.kind, track::LogKind::Vbi);
  ASSERT_EQ(t.points.size(), log.epochs.size());
  EXPECT_EQ(t.skipped, (track::Skipped{0, 0, 0, 12 + 1}));  // the SV Measurements, one other message
  for (size_t i = 0; i < t.points.size(); ++i) {
    const track::Point& p = t.points[i];
    const sim::Epoch& e = log.epochs[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(timeText(p.time), format("%04d-%02d-%02dT%02d:%02d:%02dZ", e.utc.year, e.utc.month, e.utc.day,
                                       e.utc.hour, e.utc.minute, e.utc.second));
    EXPECT_EQ(p.fix, e.fix == sim::FixKind::None ? Fix::None : e.fix == sim::FixKind::Fix2D ? Fix::Fix2D : Fix::Fix3D);
    EXPECT_EQ(p.used, e.fix == sim::FixKind::None ? 0 : 4);
    if (p.fix == Fix::None) continue;
    EXPECT_NEAR(*p.latitude, e.position.latitudeDeg, 1e-9);
    EXPECT_NEAR(*p.longitude, e.position.longitudeDeg, 1e-9);
    expectNear(p.altitude, p.fix == Fix::Fix3D ? std::optional(e.position.altitudeM) : std::nullopt, 1e-9, "altitude");
  }
}

std::string sentence(const std::string& body) {
  uint8_t sum = 0;
  for (const char c : body) sum ^= static_cast<uint8_t>(c);
  return "$" + body + format("*%02X\r\n", sum);
}

std::string epochAt(const std::string& hhmmss) {
  return sentence("GPGGA," + hhmmss + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,") +
         sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") +
         sentence("GPRMC," + hhmmss + ",A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W");
}

const std::string kEpoch = epochAt("120000.00");
// As gpsd reads a log, its first epoch is no point (the log may have begun
// in the middle of it): an epoch before kEpoch shows that the log holds
// kEpoch whole.
const std::string kLead = epochAt("115959.00");

TEST(TrackExport, BadInputGivesWhatItCanAndCountsTheRest) {
  const VbiLog vbi = simulatedVbiLog();
  std::string corrupted = vbi.bytes;
  corrupted[corrupted.size() - 10] ^= 0x10;  // in the last PVT Solution
  const std::string ublox = slurp(kNmea + "ublox-8.nmea");
  struct Row {
    const char* what;
    std::string bytes;
    size_t fixes;
    track::Skipped skipped;  // garbage, checksum, fields; ignored is not compared
  };
  const Row rows[] = {
      {"one epoch", kLead + kEpoch, 1, {}},
      {"an epoch alone, which may have begun before the log", kEpoch, 0, {}},
      {"garbage lines", "hello\r\n" + kLead + kEpoch + "\x01\x02\xff\n\n  \r\n" + kEpoch.substr(0, 40) + "\n", 1, {2, 0, 1}},
      {"bad checksum", kLead + kEpoch + kEpoch.substr(0, kEpoch.size() - 4) + "00\r\n", 1, {0, 1, 0}},
      {"sentences run together", kLead + kEpoch.substr(0, kEpoch.size() - 2) + kEpoch, 1, {}},
      {"values out of range", sentence("GPGGA,120001,9100.0,N,01131.0,E,1,08,0.9,545.4,M,,M,,") +
                                  sentence("GPGGA,250001,4807.0,N,01131.0,E,1,08,0.9,545.4,M,,M,,"), 0, {0, 0, 2}},
      {"cut mid-sentence", kLead + kEpoch + "$GPGGA,120001.00,4807.03", 1, {0, 0, 1}},
      {"cut before the epoch's last sentence with a position", kLead + kEpoch.substr(0, kEpoch.size() - 30), 0, {0, 0, 1}},
      {"empty", "", 0, {}},
      {"u-blox 8, GPS and GLONASS", ublox, 71, {1, 0, 1}},
      {"SiRF binary", "\xa0\xa2\x00\x02\x84\x00\x00\x84\xb0\xb3\xa0\xa2\x00\x01\x06\x00\x06\xb0\xb3"s, 0, {1, 0, 0}},
      {"u-blox binary", "\xb5\x62\x01\x07\x5c\x00\x10\x27$\x00\x00\x01\x02\n\xb5\x62\x05\x01"s, 0, {3, 0, 0}},
      {"VBI cut in the last frame", vbi.bytes.substr(0, vbi.bytes.size() - 20), 10, {0, 0, 1}},
      {"VBI from mid-frame", vbi.bytes.substr(30), 11, {1, 0, 0}},
      {"VBI with a flipped bit", corrupted, 10, {0, 1, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const track::Track t = track::readLog(bytesOf(r.bytes));
    EXPECT_EQ(t.fixes(), r.fixes);
    EXPECT_EQ((track::Skipped{t.skipped.garbage, t.skipped.checksum, t.skipped.fields, 0}), r.skipped);
  }
}

using test::TempDir;

std::string gsv(const std::string& talker, const std::vector<std::pair<int, int>>& satellites) {
  std::string out;
  const size_t parts = (satellites.size() + 3) / 4;
  for (size_t k = 0; k < parts; ++k) {
    std::string body = format("%sGSV,%zu,%zu,%02zu", talker.c_str(), parts, k + 1, satellites.size());
    for (size_t i = 4 * k; i < std::min(satellites.size(), 4 * k + 4); ++i)
      body += satellites[i].second ? format(",%02d,45,100,%02d", satellites[i].first, satellites[i].second)
                                   : format(",%02d,45,100,", satellites[i].first);
    out += sentence(body);
  }
  return out;
}

// The figures that gpsd does not give, from logs made to have them; bad
// logs give what they hold.
TEST(TrackExport, FiguresHoldWhatTheLogHolds) {
  const TempDir dir;
  const std::string noFix = sentence("GPGGA,115957.00,,,,,0,00,,,M,,M,,") + sentence("GPRMC,115957.00,V,,,,,,,230394,,");
  const std::string lost = sentence("GPGGA,115958.00,,,,,0,00,,,M,,M,,") + sentence("GPRMC,115958.00,V,,,,,,,230394,,");
  // 8.5 km north of kEpoch, no height, HDOP 2.5 and 4 used from GSA alone.
  const std::string north = sentence("GPRMC,120001.00,A,4811.6246,N,01131.0000,E,,,230394,,") +
                            sentence("GPGSA,A,2,04,05,09,12,,,,,,,,,3.0,2.5,1.5");
  const std::string sky = gsv("GP", {{4, 40}, {5, 0}, {9, 30}, {12, 44}, {24, 0}}) + gsv("GL", {{70, 26}});
  std::string noise(200000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  const VbiLog vbi = simulatedVbiLog();
  using F = std::map<std::string, std::optional<double>>;
  // Worked out by hand: row one's two fixes lie 0.0382217 degrees of
  // latitude either side of the mean, 4249.995 m with M = 6371.0 km at
  // 48.1555 N; the VBI ones as simulatedVbiLog places them (the 2D fix has
  // no height, the epoch without a fix no position).
  struct Row {
    const char* what;
    std::string log;
    size_t fixes, epochs;
    F figures;  // the others are not compared
  };
  const Row rows[] = {
      {"a fix after none, lost, then a 2D one",
       noFix + lost + kEpoch + sky + north + sentence("GPGLL,4811.6246,N,01131.0000,E,120001.00,A"), 2, 3,
       {{"duration_s", 1}, {"fix_rate", 2 / 3.0}, {"lat", 48.155521666666665}, {"lon", 11.516666666666667},
        {"cep50_m", 4249.995045629849}, {"cep95_m", 4249.995045629849}, {"drms2_m", 8499.990091259699},
        {"alt_mean_m", 545.4}, {"alt_sd_m", 0}, {"hdop_mean", (0.9 + 2.5) / 2}, {"sats_used_mean", (8 + 4) / 2.0},
        {"cn0_mean_dbhz", (40 + 30 + 44 + 26) / 4.0}, {"ttff_s", 2}}},
      {"the simulated receiver's VBI log", vbi.bytes, 11, 12,
       {{"duration_s", 11}, {"fix_rate", 11 / 12.0}, {"lat", -33.86874272727273}, {"lon", 151.2091854545455},
        {"cep50_m", 7.060901775589463}, {"cep95_m", 12.35657810149736}, {"drms2_m", 15.182509848177913},
        {"alt_mean_m", 64.15}, {"alt_sd_m", 3.645545226711637}, {"hdop_mean", std::nullopt},
        {"sats_used_mean", 4}, {"cn0_mean_dbhz", 40}, {"ttff_s", std::nullopt}}},
      {"empty", "", 0, 0, {{"fix_rate", std::nullopt}, {"lat", std::nullopt}, {"cn0_mean_dbhz", std::nullopt}}},
      {"binary noise", noise, 0, 0, {{"lat", std::nullopt}, {"cep50_m", std::nullopt}}},
      {"cut mid-sentence", kLead + kEpoch + "$GPGGA,120001.00,48", 1, 1, {{"cep95_m", 0}, {"ttff_s", std::nullopt}}},
      {"cut mid-frame", vbi.bytes.substr(0, vbi.bytes.size() / 2 + 3), 5, 6, {{"ttff_s", std::nullopt}}},
      {"absurd coordinates", kLead + sentence("GPGGA,120000,9100.0,N,01131.0,E,1,08,0.9,545.4,M,,M,,") +
                                 sentence("GPGGA,120001,4807.0,N,99999.0,E,1,08,0.9,545.4,M,,M,,"), 0, 0, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const track::Summary s = summarized(dir.file("log", r.log));
    const track::Figures& f = s.figures;
    EXPECT_EQ(f.fixes, r.fixes);
    EXPECT_EQ(f.epochs, r.epochs);
    for (const auto& [key, want] : r.figures) expectNear(figure(f, key), want, 1e-6, key);
    EXPECT_EQ(s.bytes, r.log.size());
    // Every figure's key once, in order, null where there is none.
    std::string keys;
    const std::string json = track::statsJson(f);
    for (size_t at = json.find('"'); at != std::string::npos; at = json.find('"', json.find('"', at + 1) + 1))
      keys += json.substr(at + 1, json.find('"', at + 1) - at - 1) + " ";
    EXPECT_EQ(keys, "fixes epochs duration_s fix_rate lat lon cep50_m cep95_m drms2_m alt_mean_m alt_sd_m hdop_mean "
                    "sats_used_mean cn0_mean_dbhz ttff_s ");
    EXPECT_EQ(json.find("\"lat\": null") != std::string::npos, !f.lat);
  }
  track::Summary s;
  std::string error;
  EXPECT_FALSE(track::summarizeLogFile(dir.path + "/absent", s, error));
  EXPECT_FALSE(track::summarizeLogFile(dir.path, s, error));
}

// A log longer than the plots: they are thinned evenly, the figures not.
TEST(TrackExport, PlotsAreThinnedEvenlyOverTheLog) {
  const TempDir dir;
  std::string log;
  const size_t epochs = 3 * track::kPlotPoints + 7;
  for (size_t n = 0; n < epochs; ++n) {
    const std::string t = format("%02zu%02zu%02zu.00", n / 3600, n / 60 % 60, n % 60);
    log += sentence("GPGGA," + t + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,") +
           gsv("GP", {{4, 40}, {9, static_cast<int>(20 + n % 10)}}) + (n % 2 ? gsv("GL", {{70, 26}}) : "");
  }
  const track::Summary s = summarized(dir.file("long", log));
  EXPECT_EQ(s.figures.epochs, epochs - 1);  // the first is none
  EXPECT_EQ(s.figures.fixes, epochs - 1);
  ASSERT_EQ(s.epochs.size(), track::kPlotPoints);
  const double step = static_cast<double>(epochs - 1) / track::kPlotPoints;
  for (size_t i = 0; i < s.epochs.size(); ++i) EXPECT_NEAR(s.epochs[i].seconds, std::ceil(i * step), 1.0) << i;
  std::map<int, size_t> perSatellite;
  double last = -1;
  for (const track::SignalSample& g : s.signals) {
    ++perSatellite[g.prn];
    EXPECT_GE(g.seconds, last);
    last = g.seconds;
  }
  EXPECT_EQ(perSatellite, (std::map<int, size_t>{{4, track::kPlotPoints}, {9, track::kPlotPoints}, {70, track::kPlotPoints}}));
}

TEST(TrackExport, ProgramWritesBothFilesAndExitsByWhatCameOut) {
  const TempDir dir;
  const std::string good = dir.file("good.txt", kLead + kEpoch + "garbage\n" + sentence("GPRMC,120001.00,V,,,,,,,230394,,"));
  const std::string none = dir.file("none.txt", sentence("GPRMC,120001.00,V,,,,,,,230394,,"));
  const std::string csv = dir.path + "/t.csv", gpx = dir.path + "/t.gpx";
  struct Row {
    std::vector<std::string> args;
    int code;
    std::string err;  // a piece of standard error
  };
  const Row rows[] = {
      {{good, "--csv", csv, "--gpx", gpx}, 0, "1 points with a fix in 2 epochs; skipped 1 (1 garbage"},
      {{none, "--csv", csv}, 1, "no point with a fix"},
      {{dir.path + "/absent.txt"}, 1, "absent.txt: cannot be read"},
      {{dir.path}, 1, "is not a regular file"},
      {{good, "--gpx", dir.path + "/no/such/folder.gpx"}, 1, "folder.gpx: cannot be written"},
      {{good, "--speed"}, 2, "unknown option '--speed'"},
      {{}, 2, "LOG is required"},
      {{good, "--gpx", "-", "--csv", "-"}, 2, "cannot both be standard output"},
      {{good, "--stats", "--csv", "-"}, 2, "cannot both be standard output"},
      {{good, "--stats", "--csv", csv}, 0, "1 points with a fix in 2 epochs"},
      {{none, "--stats"}, 1, "no point with a fix"},
      {{dir.path + "/absent.txt", "--stats"}, 1, "absent.txt: cannot be read"},
  };
  for (const Row& r : rows) {
    const ExportRun run = runExport(r.args);
    EXPECT_EQ(run.code, r.code) << run.err;
    EXPECT_NE(run.err.find(r.err), std::string::npos) << run.err;
  }
  runExport({good, "--csv", csv, "--gpx", gpx});
  EXPECT_EQ(slurp(csv),
            "time,latitude,longitude,altitude,fix,used,hdop\n"
            "1994-03-23T12:00:00Z,48.117300000,11.516666667,545.4,3d,8,0.9\n"
            "1994-03-23T12:00:01Z,,,,none,,\n");
  const std::string doc = slurp(gpx);
  EXPECT_NE(doc.find("<trkpt lat=\"48.117300000\" lon=\"11.516666667\">\n        <ele>545.4</ele>\n        "
                     "<time>1994-03-23T12:00:00Z</time>\n        <fix>3d</fix>\n        <sat>8</sat>\n        "
                     "<hdop>0.9</hdop>\n      </trkpt>"),
            std::string::npos)
      << doc;
  EXPECT_EQ(doc.find("<trkpt", doc.find("<trkpt") + 1), std::string::npos);
  EXPECT_NE(runExport({"--help"}).out.find("usage: ferrolan-export"), std::string::npos);
  EXPECT_EQ(runExport({good, "--stats"}).out.substr(0, 37), R"({"fixes": 1, "epochs": 2, "duration_s)");

  // The program itself: standard output, and the exit code of the run.
  for (const auto& [log, code] : {std::pair{good, 0}, std::pair{none, 1}}) {
    ChildProcess p;
    ChildOptions o;
    o.stderrFile = dir.path + "/err";
    ASSERT_TRUE(p.start({FERROLAN_EXPORT_PATH, log}, o));
    std::string header;
    EXPECT_TRUE(p.readLine(header, 10000));
    EXPECT_EQ(header, "time,latitude,longitude,altitude,fix,used,hdop");
    ASSERT_TRUE(p.wait(10000));
    EXPECT_EQ(p.exitCode(), code);
    EXPECT_NE(slurp(dir.path + "/err").find("epochs; skipped"), std::string::npos);
  }
}

TEST(TrackExport, GpxOfEveryLogIsValidGpx11) {
  FERROLAN_REQUIRE_PEER(std::system("command -v xmllint >/dev/null 2>&1") == 0, "xmllint");
  const TempDir dir;
  auto valid = [&](const std::string& doc) {
    const std::string path = dir.file("t.gpx", doc);
    return std::system(("xmllint --noout --schema " FERROLAN_TESTDATA_DIR "/gpx/gpx.xsd " + path +
                        " >/dev/null 2>&1").c_str()) == 0;
  };
  for (const std::string& name : captures())
    EXPECT_TRUE(valid(track::gpxDocument(track::readLog(bytesOf(slurp(kNmea + name + ".nmea"))), name))) << name;
  EXPECT_TRUE(valid(track::gpxDocument(track::readLog(bytesOf(simulatedVbiLog().bytes)), "a <&> \"b\"\x01.vbi")));
  // The schema is no formality: the meridian 180 is written -180, and a
  // document that does not is refused.
  const std::string east = sentence("GPGGA,115959,4807.0,N,18000.0,E,1,08,0.9,545.4,M,,M,,") +
                           sentence("GPGGA,120000,4807.0,N,18000.0,E,1,08,0.9,545.4,M,,M,,");
  const std::string doc = track::gpxDocument(track::readLog(bytesOf(east)), "east");
  EXPECT_NE(doc.find("lon=\"-180.000000000\""), std::string::npos);
  EXPECT_TRUE(valid(doc));
  std::string refused = doc;
  refused.replace(refused.find("-180.0"), 6, "180.00");
  EXPECT_FALSE(valid(refused));
}

}  // namespace
}  // namespace ferrolan
