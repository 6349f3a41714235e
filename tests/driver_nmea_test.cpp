// The NMEA port's sentences: made from the simulator's own VBI frames (an
// encoder that shares nothing with the decoders) and read back with the
// data path's field routines; and the feed's refusal of what is not a
// whole sentence or a sound frame.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/text.h"
#include "datapath/nmea_fields.h"
#include "driver/nmea_feed.h"
#include "driver/nmea_from_vbi.h"
#include "link/command_sentences.h"
#include "sim/constellation.h"
#include "sim/vbi_output.h"

using namespace ferrolan;

namespace {

std::vector<std::string> feed(const std::vector<uint8_t>& bytes, size_t step) {
  NmeaFeed f;
  std::vector<std::string> out;
  for (size_t at = 0; at < bytes.size(); at += step) f.take(bytes.data() + at, std::min(step, bytes.size() - at), out);
  return out;
}

// "ddmm.mmmm" with its hemisphere as signed degrees.
double degrees(std::string_view value, std::string_view hemisphere, size_t degreeDigits) {
  const double d = std::stod(std::string(value.substr(0, degreeDigits)));
  const double m = std::stod(std::string(value.substr(degreeDigits)));
  return (hemisphere == "S" || hemisphere == "W" ? -1 : 1) * (d + m / 60);
}

const std::string* find(const std::vector<std::string>& s, std::string_view id) {
  for (const auto& x : s)
    if (x.compare(1, id.size(), id) == 0) return &x;
  return nullptr;
}

}  // namespace

TEST(NmeaFromVbi, SentencesCarryTheSolutionAndTheSkyBackThroughTheFieldReaders) {
  struct Row {
    double lat, lon, alt;
    sim::FixKind fix;
    int sats;  // tracked, the first half used
    const char* gsaMode;
  } rows[] = {
      {48.8583701, 2.2944813, 35, sim::FixKind::Fix3D, 12, "3"},
      {-33.8567844, -151.2152967, -20.25, sim::FixKind::Fix3D, 16, "3"},
      {10.99999999999, 179.99999999999, 0, sim::FixKind::Fix2D, 5, "2"},  // minutes round up to the next degree
      {-0.0000001, -0.0000001, 8848, sim::FixKind::Fix3D, 4, "3"},
      {0, 0, 0, sim::FixKind::None, 3, "1"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.lat);
    sim::Epoch e;
    e.utc = {2026, 3, 14, 23, 59, 58, 0};
    e.fix = r.fix;
    e.position = {r.lat, r.lon, r.alt};
    for (int k = 0; k < r.sats; ++k) e.sky.push_back({2 * k + 1, 10 + k, 20 * k, 30 + k, k < r.sats / 2});
    const uint32_t gps = sim::gpsSecondsFromUnix(sim::unixFromCivil(e.utc));
    std::vector<uint8_t> bytes;
    for (const auto& f : sim::vbiEpoch(e, gps, 1)) bytes.insert(bytes.end(), f.begin(), f.end());
    // No next marker: the solution is taken once its length is filled.
    const auto out = feed(bytes, bytes.size());
    ASSERT_EQ(out.size(), 3 + (r.sats + 3) / 4u);
    EXPECT_EQ(feed(bytes, 1), out) << "a frame cut anywhere reads the same";
    for (const auto& s : out) {
      EXPECT_TRUE(checksumHolds(s) && s.ends_with("\r\n") && s.size() <= 82) << s;
    }
    const std::string_view gga = lineBody(*find(out, "GPGGA")), rmc = lineBody(*find(out, "GPRMC"));
    const std::string_view gsa = lineBody(*find(out, "GPGSA"));
    EXPECT_EQ(nmeaField(gga, 1), "235958.00");
    EXPECT_EQ(nmeaField(rmc, 9), "140326");
    EXPECT_EQ(nmeaField(gsa, 2), r.gsaMode);
    EXPECT_EQ(nmeaField(gsa, 3), r.sats / 2 > 0 ? "01" : "");
    EXPECT_EQ(decimalValue(nmeaField(gga, 7)), r.sats / 2);
    if (r.fix == sim::FixKind::None) {
      EXPECT_EQ(nmeaField(gga, 2), "");
      EXPECT_EQ(nmeaField(rmc, 2), "V");
      continue;
    }
    EXPECT_EQ(nmeaField(rmc, 2), "A");
    for (const auto& [line, first] : {std::pair{gga, 2}, std::pair{rmc, 3}}) {
      const auto lat = nmeaField(line, first), lon = nmeaField(line, first + 2);
      EXPECT_NEAR(degrees(lat, nmeaField(line, first + 1), 2), r.lat, 1e-7) << line;
      EXPECT_NEAR(degrees(lon, nmeaField(line, first + 3), 3), r.lon, 1e-7) << line;
      EXPECT_LT(std::stod(std::string(lat.substr(2))), 60.0) << line;
    }
    EXPECT_NEAR(std::stod(std::string(nmeaField(gga, 9))), r.alt, 0.005);
    // The sky: every tracked satellite once, with its elevation, azimuth and signal.
    int seen = 0;
    for (const auto& s : out) {
      if (s.compare(1, 5, "GPGSV") != 0) continue;
      const std::string_view gsv = lineBody(s);
      EXPECT_EQ(decimalValue(nmeaField(gsv, 3)), r.sats);
      for (int f = 4; !nmeaField(gsv, f).empty(); f += 4, ++seen) {
        const int k = seen;
        EXPECT_EQ(decimalValue(nmeaField(gsv, f)), 2 * k + 1);
        EXPECT_EQ(decimalValue(nmeaField(gsv, f + 1)), 10 + k);
        EXPECT_EQ(decimalValue(nmeaField(gsv, f + 2)), 20 * k);
        EXPECT_EQ(decimalValue(nmeaField(gsv, f + 3)), 30 + k);
      }
    }
    EXPECT_EQ(seen, r.sats);
  }
}

TEST(NmeaFromVbi, TheDateFollowsTheSolutionsSideOfMidnight) {
  struct Row {
    const char* gpsUtc;  // UTC of the measurements' GPS time
    int h, m, s;         // the solution's time of day
    const char* date;
  } rows[] = {
      {"2026-03-14 12:00:00", 12, 0, 0, "2026-03-14"},
      {"2026-12-31 23:59:59", 0, 0, 0, "2027-01-01"},  // solution already past midnight
      {"2027-01-01 00:00:00", 23, 59, 59, "2026-12-31"},
      {"2028-02-28 23:59:59", 0, 0, 1, "2028-02-29"},
      {"1999-08-21 23:59:47", 23, 59, 47, "1999-08-21"},
  };
  for (const Row& r : rows) {
    CalendarTime t;
    std::sscanf(r.gpsUtc, "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second);
    const CalendarDate d = utcDateOf(sim::gpsSecondsFromUnix(sim::unixFromCivil(t)), r.h, r.m, r.s);
    char got[16];
    std::snprintf(got, sizeof got, "%04d-%02d-%02d", d.year, d.month, d.day);
    EXPECT_STREQ(got, r.date) << r.gpsUtc;
  }
}

TEST(NmeaFeed, PassesOnlyWholeSoundSentencesAndFrames) {
  sim::Epoch e;
  e.fix = sim::FixKind::Fix3D;
  e.sky.push_back({7, 40, 100, 44, true});
  const auto pvt = sim::pvtSolutionFrame(e);
  auto corrupt = pvt;
  corrupt[20] ^= 0x01;
  auto shortLength = pvt;
  shortLength[4] = 0xFF;  // the length claims more than arrives
  const std::vector<uint8_t> marker = {0x81, 0xFF};
  auto bytes = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
  };
  auto text = [](std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  const std::string zda = composeSentence("$GPZDA,1");
  struct Row {
    const char* what;
    std::vector<uint8_t> in;
    size_t sentences;
  } rows[] = {
      {"sentences after noise", text("\x01\xfe$G*\r\n" + zda + zda), 2},
      {"a bad checksum", text(zda.substr(0, zda.size() - 3) + "0\r\n"), 0},
      {"no checksum", text("$GPZDA,1\r\n"), 0},
      {"a CR inside", text(zda.substr(0, zda.size() - 1) + "k*00\r\n"), 0},
      {"a binary byte inside", text("$GPZ\x90" + zda.substr(4)), 0},
      {"a run past the limit", text("$" + std::string(200, 'A') + "*00\r\n"), 0},
      {"a sound solution", bytes({pvt, marker}), 3},
      {"a corrupted solution", bytes({corrupt, marker}), 0},
      {"a length beyond the frame", bytes({shortLength, marker}), 0},
  };
  for (const Row& r : rows) EXPECT_EQ(feed(r.in, r.in.size()).size(), r.sentences) << r.what;

  // Noise: whatever it holds, only sentences whose checksum holds come out.
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(1 << 18);
  for (auto& b : noise) b = static_cast<uint8_t>(rng() % 4 == 0 ? "$*\r\n\x81\xff"[rng() % 6] : rng());
  for (const auto& s : feed(noise, 977)) EXPECT_TRUE(checksumHolds(s)) << s;
}
