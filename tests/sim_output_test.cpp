// The simulator's firmware output: every sentence and frame it emits must
// be well formed, and its contents must follow the sky, fix and rates.
#include <array>
#include <cmath>
#include <map>
#include <numbers>

#include "sim/replay.h"
#include "sim/vbi_output.h"
#include "tests/support/files.h"
#include "tests/support/sim_test_support.h"

using namespace ferrolan;
using namespace ferrolan::sim;
using namespace ferrolan::simtest;

namespace {

std::vector<Sentence> nmeaFor(ReceiverConfig cfg, uint32_t seconds) {
  uint32_t now = 1000;
  Receiver rx(cfg, now);
  return sentencesOf(text(run(rx, now, seconds * 1000)));
}

std::vector<Frame> vbiFor(ReceiverConfig cfg, uint32_t start, uint32_t ms) {
  cfg.startInVbi = true;
  Receiver rx(cfg, start);
  return framesOf(run(rx, start, ms));
}

}  // namespace

TEST(SimNmeaOutput, EverySentenceHasAValidChecksumAndItsFieldCount) {
  const std::map<std::string, size_t> fieldCounts = {{"GPGGA", 15}, {"GPRMC", 13}, {"GPGSA", 18}};
  for (auto fix : {FixKind::None, FixKind::Fix2D, FixKind::Fix3D}) {
    ReceiverConfig cfg;
    cfg.forcedFix = fix;
    cfg.seed = 7;
    const auto all = nmeaFor(cfg, 20);
    ASSERT_GT(all.size(), 100u);
    std::map<std::string, int> kinds;
    for (const auto& s : all) {
      EXPECT_TRUE(s.checksumOk) << s.text;
      ASSERT_FALSE(s.fields.empty());
      const std::string& tag = s.fields[0];
      ++kinds[tag];
      EXPECT_EQ(tag.substr(0, 2), "GP") << s.text;
      if (const auto n = fieldCounts.find(tag); n != fieldCounts.end()) {
        EXPECT_EQ(s.fields.size(), n->second) << s.text;
      }
      if (tag == "GPGSV") { EXPECT_EQ((s.fields.size() - 4) % 4, 0u) << s.text; }
    }
    // Default rates: RMC, GGA, GSA and a GSV group every second, nothing else.
    for (const char* tag : {"GPRMC", "GPGGA", "GPGSA"}) EXPECT_EQ(kinds[tag], 20) << tag;
    EXPECT_EQ(kinds.count("GPGLL") + kinds.count("GPVTG") + kinds.count("GPZDA"), 0u);
  }
}

TEST(SimNmeaOutput, FixStateShowsInEverySentenceKind) {
  using Fields = std::map<std::string, std::vector<std::pair<size_t, std::string>>>;  // tag: (field, value)
  const std::pair<FixKind, Fields> rows[] = {
      {FixKind::None, {{"GPRMC", {{2, "V"}}}, {"GPGGA", {{6, "0"}}}, {"GPGSA", {{2, "1"}}}}},
      {FixKind::Fix2D, {{"GPGSA", {{2, "2"}}}}},
      {FixKind::Fix3D,
       {{"GPGSA", {{2, "3"}}},
        {"GPRMC", {{2, "A"}, {3, "3352.1280"}, {4, "S"}, {5, "15112.5580"}, {6, "W"}, {9, "010126"}}}}},
  };
  for (const auto& [fix, fields] : rows) {
    ReceiverConfig cfg;
    cfg.forcedFix = fix;
    if (fix == FixKind::Fix3D) cfg.position = {-33.8688, -151.2093, 12.0};
    for (const auto& s : nmeaFor(cfg, 3))
      if (const auto it = fields.find(s.fields[0]); it != fields.end())
        for (const auto& [k, v] : it->second) { EXPECT_EQ(s.fields[k], v) << s.text; }
  }
}

TEST(SimNmeaOutput, GsvGroupsAreConsistentAndTheSkyHasAtLeastTwelve) {
  ReceiverConfig cfg;
  std::vector<std::vector<std::string>> group;
  int groups = 0;
  for (const auto& s : nmeaFor(cfg, 10)) {
    if (s.fields[0] != "GPGSV") continue;
    const int total = std::stoi(s.fields[1]), index = std::stoi(s.fields[2]);
    if (index == 1) group.clear();
    group.push_back(s.fields);
    if (index != total) continue;
    ++groups;
    const int inView = std::stoi(s.fields[3]);
    EXPECT_GE(inView, 12);
    EXPECT_EQ(total, (inView + 3) / 4);
    int listed = 0;
    for (const auto& g : group) {
      EXPECT_EQ(g[3], s.fields[3]);
      for (size_t k = 4; k + 3 < g.size(); k += 4) {
        ++listed;
        const int el = std::stoi(g[k + 1]), az = std::stoi(g[k + 2]);
        EXPECT_TRUE(el >= 0 && el <= 90 && az >= 0 && az < 360) << g[k] << ": " << el << ", " << az;
      }
    }
    EXPECT_EQ(listed, inView);
  }
  EXPECT_EQ(groups, 10);
}

TEST(SimNmeaOutput, TheSkyMovesSlowlyAndTheSameSeedGivesTheSameSky) {
  Constellation a(3), b(3), c(4);
  const auto now = a.at(100, FixKind::Fix3D), later = a.at(160, FixKind::Fix3D);
  ASSERT_EQ(now.size(), later.size());
  bool moved = false;
  for (size_t i = 0; i < now.size(); ++i) {
    EXPECT_EQ(now[i].prn, later[i].prn);
    EXPECT_LE(std::abs(now[i].elevationDeg - later[i].elevationDeg), 2);
    moved = moved || now[i].elevationDeg != a.at(3600, FixKind::Fix3D)[i].elevationDeg;
  }
  EXPECT_TRUE(moved);
  const auto same = b.at(100, FixKind::Fix3D), other = c.at(100, FixKind::Fix3D);
  ASSERT_EQ(same.size(), now.size());
  for (size_t i = 0; i < now.size(); ++i) { EXPECT_EQ(same[i].azimuthDeg, now[i].azimuthDeg); }
  bool differs = other.size() != now.size();
  for (size_t i = 0; !differs && i < now.size(); ++i) differs = other[i].prn != now[i].prn;
  EXPECT_TRUE(differs);
}

TEST(SimNmeaOutput, StoredRatesChangeWhatGoesOut) {
  uint32_t now = 1000;
  Receiver rx(ReceiverConfig{}, now);
  run(rx, now, 1500);
  // GLL on at 1 Hz, RMC off, ZDA every 2 s, then the closing sentence.
  for (const char* body : {"PKRV09,10,4", "PKRV09,8,0", "PKRV09,15,5"}) {
    sendTwice(rx, now, withChecksum(body));
    now += 100;
  }
  // Not yet in force before the closing sentence.
  EXPECT_EQ(rx.rates().of(SentenceItem::Gll), 0);
  sendTwice(rx, now, "$PKRV09,,*16\r\n");
  EXPECT_EQ(rx.rates().of(SentenceItem::Gll), 1);
  rx.takeOutput();
  std::map<std::string, int> kinds;
  for (const auto& s : sentencesOf(text(run(rx, now, 10000)))) ++kinds[s.fields[0]];
  EXPECT_EQ((std::array{kinds["GPRMC"], kinds["GPGLL"], kinds["GPZDA"], kinds["GPGGA"]}), (std::array{0, 10, 5, 10}));
}

TEST(SimVbiOutput, FramesCarryValidChecksumsLengthsAndTheSolution) {
  ReceiverConfig cfg;
  cfg.position = {48.8584, 2.2945, 300};
  const auto frames = vbiFor(cfg, 1000, 30000);
  int meas = 0, pvtCount = 0, other = 0;
  uint32_t lastGps = 0;
  for (const auto& f : frames) {
    EXPECT_TRUE(f.checksumOk) << f.id;
    EXPECT_TRUE(f.id >= 100 && f.id <= 155) << f.id;
    if (f.id == kMsgSvMeasurements) {
      ++meas;
      ASSERT_GE(f.payload.size(), kMeasHeader + kMeasRecord);
      EXPECT_EQ((f.payload.size() - kMeasHeader) % kMeasRecord, 0u);
      const size_t n = (f.payload.size() - kMeasHeader) / kMeasRecord;
      EXPECT_GE(n, 12u);
      for (size_t r = 0; r < n; ++r) {
        const size_t o = kMeasHeader + r * kMeasRecord;
        const int prn = f.payload[o + 1], signal = f.payload[o + 8] | (f.payload[o + 9] << 8);
        EXPECT_TRUE(prn >= 1 && prn <= 32) << prn;
        EXPECT_TRUE(signal >= 20000 && signal <= 52000) << signal;
      }
      const uint32_t gps = getLe32(f.payload, kMeasGpsSecondsOffset);
      if (lastGps != 0) { EXPECT_EQ(gps, lastGps + 1); }
      lastGps = gps;
    } else if (f.id == kMsgPvtSolution) {
      ++pvtCount;
      ASSERT_GE(f.payload.size(), 60u);
      EXPECT_EQ(f.payload[pvt::kFixType] & 0xE0, 0x60);
      EXPECT_NEAR(getLeDouble(f.payload, pvt::kLatitude), 48.8584 * std::numbers::pi / 180, 1e-12);
      EXPECT_NEAR(getLeDouble(f.payload, pvt::kLongitude), 2.2945 * std::numbers::pi / 180, 1e-12);
      int used = 0;
      for (size_t i = 0; i < 16; ++i) {
        used += (f.payload[pvt::kSatStates + i] & 0x0F) >= 6;
        used += (f.payload[pvt::kSatStates + i] >> 4) >= 6;
      }
      EXPECT_TRUE(used >= 4 && used <= 12) << used;
    } else {
      ++other;
    }
  }
  EXPECT_EQ(meas, 30);
  EXPECT_EQ(pvtCount, 30);
  EXPECT_GE(other, 2);
  // The first epoch carries the GPS time of 2026-01-01 00:00:00 UTC (18 leap seconds ahead).
  EXPECT_EQ(lastGps - 29, 1767225600u - 315964800u + 18u);
}

TEST(SimVbiOutput, UtcAndNoFixShowInTheSolution) {
  ReceiverConfig cfg;
  cfg.forcedFix = FixKind::None;
  cfg.startUnix = 1767225600 + 13 * 3600 + 14 * 60 + 15;
  for (const auto& f : vbiFor(cfg, 0, 600)) {
    if (f.id != kMsgPvtSolution) continue;
    EXPECT_EQ(f.payload[pvt::kFixType] & 0xE0, 0);
    EXPECT_EQ((Bytes{f.payload[pvt::kHour], f.payload[pvt::kMinute], f.payload[pvt::kSecond]}), (Bytes{13, 14, 15}));
    EXPECT_EQ(getLeDouble(f.payload, pvt::kLatitude), 0.0);
  }
}

// A VBI log of `epochs` PVT epochs, `gapS` seconds apart, as the tool logs it.
Bytes vbiLog(int epochs, int gapS) {
  Bytes log;
  const int64_t start = unixFromCivil(CalendarTime{2026, 3, 1, 23, 59, 50});
  for (int n = 0; n < epochs; ++n) {
    Epoch e;
    e.utc = civilFromUnix(start + n * gapS);
    e.fix = FixKind::Fix3D;
    for (const auto& f : vbiEpoch(e, gpsSecondsFromUnix(start + n * gapS), static_cast<uint32_t>(n)))
      log.insert(log.end(), f.begin(), f.end());
  }
  return log;
}

// Milliseconds of the day of the epoch a chunk starts with: an RMC's time,
// or a PVT Solution frame's hour, minute and second.
int chunkTimeMs(const Bytes& c) {
  if (c.size() > 8 + 13 && c[0] == kVbiSync1 && c[2] == kMsgPvtSolution)
    return ((c[8 + pvt::kHour] * 60 + c[8 + pvt::kMinute]) * 60 + c[8 + pvt::kSecond]) * 1000;
  const std::string s(c.begin(), c.begin() + static_cast<long>(std::min<size_t>(c.size(), 20)));
  int h = 0, m = 0;
  double sec = 0;
  if (std::sscanf(s.c_str(), "$%*2cRMC,%2d%2d%lf", &h, &m, &sec) != 3) return -1;
  return static_cast<int>(std::lround(((h * 60 + m) * 60 + sec) * 1000));
}

// A capture comes out whole, nothing of it before its listener; paced, each
// chunk after the first starts with an epoch and goes out when the log's
// time since the first epoch, divided by the speed, has passed (the first
// one second after the start, over midnight too).
TEST(SimReplay, CapturesComeOutByteForByteInTheirOwnTime) {
  auto file = [](const std::string& name) {
    const Bytes b = test::readBytes(FERROLAN_TESTDATA_DIR "/nmea/" + name);
    EXPECT_FALSE(b.empty()) << name;
    return b;
  };
  const struct {
    const char* name;
    Bytes capture;
    double speed;
  } rows[] = {
      {"skytraq-fix", file("skytraq-fix.nmea"), 1},    {"eXplorist110 (a gap of 8 s)", file("eXplorist110.nmea"), 2},
      {"ublox-8 ($GN)", file("ublox-8.nmea"), 0.5},    {"tn200-all", file("tn200-all.nmea"), 0},
      {"VBI, 2 s apart", vbiLog(12, 2), 4},            {"VBI", vbiLog(5, 1), 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Replay r(row.capture, row.speed);
    Bytes out;
    r.advance(5000, out);
    r.startAt(6000);
    r.advance(5999, out);
    EXPECT_TRUE(out.empty());
    r.startAt(7000);  // a second listener does not start it again
    constexpr uint32_t kStepMs = 5;
    int firstMs = -1, chunks = 0;
    for (uint32_t t = 6000; !r.finished() && t < 6000 + 600000; t += kStepMs) {
      const size_t before = out.size();
      r.advance(t, out);
      if (out.size() == before) continue;
      if (row.speed == 0) { EXPECT_EQ(t, 6000u); }
      if (chunks++ == 0 || row.speed == 0) continue;
      const int ms = chunkTimeMs(Bytes(out.begin() + static_cast<long>(before), out.end()));
      ASSERT_GE(ms, 0) << "chunk " << chunks << " starts with no epoch";
      if (firstMs < 0) firstMs = ms;
      const int logMs = 1000 + (ms - firstMs + 86400000) % 86400000;
      EXPECT_NEAR(t - 6000.0, logMs / row.speed, kStepMs) << "chunk " << chunks;
    }
    EXPECT_EQ(out, row.capture);
    EXPECT_GT(chunks, row.speed == 0 ? 0 : 4);
  }
}
