// The Info page's time, position, fix and TTFF fields from the stored RMC
// and GSA lines and the binary copies, through the registered routines.

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "app/wiring.h"
#include "datapath/fix_display.h"
#include "datapath/satellite_display.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

namespace ev = sentenceEvents;
constexpr WindowId kInfo = WindowId::InfoPage;
constexpr const char* kUntouched = "-";

// A rig with the Info page open, its fields marked so that an untouched
// field shows, and the display routines registered.
struct InfoRig {
  test::ScriptedRig rig;
  InfoRig() {
    rig.ui.openWindow(kInfo, initialControls(static_cast<int>(kInfo)));
    for (int id : {ids::kInfoUtc, ids::kInfoLatitude, ids::kInfoLongitude, ids::kInfoUsed, ids::kInfoFix,
                   ids::kInfoTtff})
      rig.ui.setText(kInfo, id, kUntouched);
    registerDisplays(rig.ctx);
  }
  void run(int event) { rig.ctx.dataPath.refresh[static_cast<size_t>(event)](); }
  std::string text(int id) const { return rig.ui.text(kInfo, id); }
  DataPath& data() { return rig.ctx.dataPath; }
};

TEST(FixDisplay, RmcShowsTimeAndPositionAndKeepsTheDate) {
  struct Row {
    const char* line;
    const char *utc, *lat, *lon;
    RmcDateTime when;
  };
  const Row rows[] = {
      {"$GPRMC,093015.000,A,2447.1234,N,12100.5678,E,0.0,0.0,150609,,,A*6C\n", "09:30:15", "24 Deg 47.1234N",
       "121 Deg 00.5678E", {2009, 6, 15, 9, 30, 15}},
      // A void RMC is shown like a valid one; a southern, western position.
      {"$GPRMC,235959,V,0012.5,S,00000.1,W,,,311299,,*00\n", "23:59:59", "00 Deg 12.5S", "000 Deg 00.1W",
       {2099, 12, 31, 23, 59, 59}},
      // Empty fields leave their controls and the date as they were.
      {"$GPRMC,,V,,,,,,,,,,N*53\n", kUntouched, kUntouched, kUntouched, {}},
      // No point where minutes could be found: shown as it stands.
      {"$GPRMC,1234,A,47,N,1.5,E,,,0101\n", "12:34", "47N", "1.5E", {2000, 1, 1, 12, 34, 0}},
      // Cut short anywhere: nothing past the line is read.
      {"$GPRMC,0930", "09:30", kUntouched, kUntouched, {0, 0, 0, 9, 30, 0}},
      {"$GPRMC", kUntouched, kUntouched, kUntouched, {}},
      {"", kUntouched, kUntouched, kUntouched, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    InfoRig p;
    p.data().sentences.store(StoreSlot::Rmc, r.line);
    p.run(ev::kGpRmc);
    EXPECT_EQ(p.text(ids::kInfoUtc), r.utc);
    EXPECT_EQ(p.text(ids::kInfoLatitude), r.lat);
    EXPECT_EQ(p.text(ids::kInfoLongitude), r.lon);
    EXPECT_EQ(p.data().fix.rmcDateTime(), r.when);
  }
}

TEST(FixDisplay, GsaShowsFixAndUsedSatellitesAndEndsTheTtffClock) {
  struct Row {
    const char* line;
    int running, pending;
    uint32_t elapsedMs;
    const char *fix, *ttff, *used;
    int fix2D, fix3D;
    std::array<int32_t, 3> firstUsed;
    int runningAfter, pendingAfter;
  };
  const Row rows[] = {
      {"$GPGSA,A,3,05,12,24,,,,,,,,,,2.0,1.0,1.7*3F\n", 0, 0, 0, "3D fix", kUntouched, "3", 0, 1, {5, 12, 24}, 0, 0},
      {"$GPGSA,A,2,5,7,,,,,,,,,,,,,*00\n", 0, 0, 0, "2D fix", kUntouched, "1", 1, 0, {5, 7, 0}, 0, 0},
      {"$GPGSA,A,1,,,,,,,,,,,,,,,*1E\n", 0, 1, 0, "No fix", kUntouched, "0", 0, 0, {0, 0, 0}, 0, 1},
      {"$GPGSA,A,,,,\n", 0, 0, 0, "No fix", kUntouched, "0", 0, 0, {0, 0, 0}, 0, 0},
      // A mode the display does not know leaves the fix as it was.
      {"$GPGSA,A,9,01\n", 0, 0, 0, kUntouched, kUntouched, "1", 0, 0, {1, 0, 0}, 0, 0},
      // A restart awaits its clock: the fix text waits too.
      {"$GPGSA,A,3,01\n", 0, 1, 0, kUntouched, kUntouched, "1", 0, 1, {1, 0, 0}, 0, 1},
      // Within two seconds of the clock nothing else is shown.
      {"$GPGSA,A,3,01\n", 1, 1, 1999, kUntouched, kUntouched, kUntouched, 0, 1, {0, 0, 0}, 1, 1},
      {"$GPGSA,A,3,01\n", 1, 1, 5000, "3D fix", "3D 5s", "1", 0, 1, {1, 0, 0}, 0, 0},
      {"$GPGSA,M,2,01,02\n", 1, 1, 61999, "2D fix", "2D 61s", "2", 1, 0, {1, 2, 0}, 0, 0},
      {"$GPGSA", 0, 0, 0, "No fix", kUntouched, "0", 0, 0, {0, 0, 0}, 0, 0},
  };
  for (const Row& r : rows) {
    InfoRig p;
    p.rig.ctx.session.restartPending = r.pending;
    p.rig.ctx.session.restartKind = RestartKind::Warm;
    p.data().ttff.ttffStart = p.rig.clock.tickCount();
    p.data().ttff.ttffRunning = r.running;
    p.rig.clock.advance(r.elapsedMs);
    p.data().sentences.store(StoreSlot::Gsa, r.line);
    p.run(ev::kGpGsa);
    EXPECT_EQ(p.text(ids::kInfoFix), r.fix) << r.line;
    EXPECT_EQ(p.text(ids::kInfoTtff), r.ttff) << r.line;
    EXPECT_EQ(p.text(ids::kInfoUsed), r.used) << r.line;
    EXPECT_EQ(p.data().fix.fix2D, r.fix2D) << r.line;
    EXPECT_EQ(p.data().fix.fix3D, r.fix3D) << r.line;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(p.data().fix.usedSatellites[i], r.firstUsed[i]) << r.line;
    EXPECT_EQ(p.data().ttff.ttffRunning, r.runningAfter) << r.line;
    EXPECT_EQ(p.rig.ctx.session.restartPending, r.pendingAfter) << r.line;
  }
}

TEST(FixDisplay, RmcShowsTheRunningClockAndAStopEndsIt) {
  InfoRig p;
  p.rig.ctx.session.restartPending = true;
  p.data().ttff.ttffStart = p.rig.clock.tickCount();
  p.data().ttff.ttffRunning = true;
  p.data().sentences.store(StoreSlot::Rmc, "$GPRMC,,V\n");
  p.rig.clock.advance(7500);
  p.run(ev::kGpRmc);
  EXPECT_EQ(p.text(ids::kInfoTtff), "7s");
  p.rig.ctx.session.stopRequested = true;
  p.rig.clock.advance(4600);
  p.run(ev::kGpRmc);
  EXPECT_EQ(p.text(ids::kInfoTtff), "Stop 12s");
  EXPECT_EQ(p.data().ttff.ttffRunning, 0);
  EXPECT_EQ(p.rig.ctx.session.restartPending, 0);
  EXPECT_EQ(p.rig.ctx.session.stopRequested, 0);
}

// A message 120 copy: records of (id, signal) after the header.
VbiCopy measurement(const std::vector<std::pair<uint8_t, uint16_t>>& records) {
  VbiCopy f{};
  f[0] = 120;
  for (size_t k = 0; k < records.size(); ++k) {
    const size_t at = 44 + 42 * k;
    f[at + 1] = records[k].first;
    f[at + 8] = static_cast<uint8_t>(records[k].second), f[at + 9] = static_cast<uint8_t>(records[k].second >> 8);
  }
  return f;
}

TEST(FixDisplay, SvMeasurementsLabelEveryRecordAndDrawTheHeardOnes) {
  struct Row {
    int32_t length;
    std::vector<std::pair<uint8_t, uint16_t>> records;
    std::vector<std::string> labels, bars;
    std::vector<int> heights;  // 0: no bar drawn
  };
  const int32_t three = 38 + 3 * 42;
  const Row rows[] = {
      {three, {{5, 45000}, {12, 999}, {200, 65535}}, {"5", "12", "200"}, {"45", "", "65"}, {22, 0, 32}},
      {three - 1, {{5, 45000}, {12, 30000}, {7, 1000}}, {"5", "12", ""}, {"45", "30", ""}, {22, 15, 0}},
      {79, {{5, 45000}}, {""}, {""}, {0}},
      {-2147483647 - 1, {{5, 45000}}, {""}, {""}, {0}},
  };
  for (const Row& r : rows) {
    InfoRig p;
    p.data().vbi.putMeasurement(FrameView(measurement(r.records)), r.length);
    p.run(ev::kSvMeasData);
    for (size_t k = 0; k < r.labels.size(); ++k) {
      EXPECT_EQ(p.rig.ui.text(kInfo, ids::kInfoChannelLabels[k]), r.labels[k]) << r.length << " channel " << k;
      EXPECT_EQ(p.rig.ui.text(kInfo, ids::kInfoChannelBars[k]), r.bars[k]) << r.length << " channel " << k;
      const auto ops = p.rig.ui.surface(kInfo, ids::kInfoChannelBars[k]);
      const ClientSize size = p.rig.ui.clientSize(kInfo, ids::kInfoChannelBars[k]);
      ASSERT_EQ(ops.size(), r.heights[k] ? 1u : 0u);
      if (ops.empty()) continue;
      EXPECT_EQ(ops[0].y2 - ops[0].y1, r.heights[k]);
      EXPECT_EQ(ops[0].y2, size.height);
      EXPECT_EQ(ops[0].x2 - ops[0].x1, size.width);
      EXPECT_EQ(ops[0].brush, kBarNotUsed);
    }
  }
}

TEST(FixDisplay, PvtSolutionShowsFixUsedSatellitesTimeAndPositionOfTheSelectedCopy) {
  InfoRig p;
  VbiCopy f{};
  f[0] = 121;
  uint8_t* pl = f.data() + 6;
  pl[5] = 0x63;
  pl[11] = 9, pl[12] = 5, pl[13] = 7;
  const double lat = 0.4319, lon = -2.1;
  std::memcpy(pl + 18, &lat, 8);
  std::memcpy(pl + 26, &lon, 8);
  pl[44] = 0x76;  // satellites 1 and 2
  pl[59] = 0xF0;  // satellite 32
  // The display reads the copy the next message goes to: the oldest of three.
  const auto show = [&] {
    const VbiCopy empty{};
    for (const VbiCopy* c : {&std::as_const(f), &empty, &empty}) p.data().vbi.putSolution(FrameView(*c));
    p.run(ev::kSvSoluData);
  };
  show();
  EXPECT_EQ(p.text(ids::kInfoFix), "3D fix");
  EXPECT_EQ(p.text(ids::kInfoUsed), "3");
  EXPECT_EQ(p.text(ids::kInfoUtc), "9:5:7");
  EXPECT_EQ(p.text(ids::kInfoLatitude), format("%f N", lat * kPvtDegreesPerRadian));
  EXPECT_EQ(p.text(ids::kInfoLongitude), format("%f E", lon * kPvtDegreesPerRadian));
  EXPECT_EQ(p.data().fix.usedSatellites[0], 1);
  EXPECT_EQ(p.data().fix.usedSatellites[2], 32);
  EXPECT_EQ(p.data().fix.fix3D, 1);
  // An absurd position is cut to the text's size, and no fix shows as such.
  pl[5] = 0x20;
  const double huge = 1e300;
  std::memcpy(pl + 18, &huge, 8);
  show();
  EXPECT_EQ(p.text(ids::kInfoFix), "No fix");
  EXPECT_EQ(p.text(ids::kInfoLatitude).size(), 63u);
  EXPECT_EQ(p.data().fix.fix3D, 0);
}

}  // namespace
}  // namespace ferrolan
