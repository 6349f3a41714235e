// The satellite table from stored GSV groups: the Info page's bars in the
// order the user chose, the Sky page's plot, and the clearing of both.

#include <gtest/gtest.h>

#include <thread>

#include "app/wiring.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/satellite_display.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

constexpr WindowId kInfo = WindowId::InfoPage;

struct Sat {
  std::string id, el, az, sig;
};

// One GSV message; satellites as given, any field possibly empty.
std::string gsv(int total, int number, int inView, const std::vector<Sat>& sats) {
  std::string l = format("$GPGSV,%d,%d,%02d", total, number, inView);
  for (const Sat& s : sats) l += "," + s.id + "," + s.el + "," + s.az + "," + s.sig;
  return l + "*00\r\n";
}

struct SkyRig {
  test::ScriptedRig rig;
  explicit SkyRig(int infoActive = 1, int skyActive = 0) {
    rig.ui.openWindow(kInfo, initialControls(static_cast<int>(kInfo)));
    rig.ui.openWindow(WindowId::SkyPage, initialControls(static_cast<int>(WindowId::SkyPage)));
    rig.ctx.display.infoPageActive = infoActive;
    rig.ctx.display.skyPageActive = skyActive;
    registerDisplays(rig.ctx);
  }
  // Stores a group as the dispatch does and refreshes.
  void group(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
      rig.ctx.dataPath.sentences.store(static_cast<StoreSlot>(static_cast<int>(StoreSlot::Gsv1) + i), lines[i]);
    rig.ctx.dataPath.sentences.gsvTotal = static_cast<int>(lines.size());
    rig.ctx.dataPath.refresh[sentenceEvents::kGpGsv]();
  }
  std::string label(int c) const { return rig.ui.text(kInfo, ids::kInfoChannelLabels[c]); }
  std::string bar(int c) const { return rig.ui.text(kInfo, ids::kInfoChannelBars[c]); }
  std::vector<DrawOp> ops(int c) const { return rig.ui.surface(kInfo, ids::kInfoChannelBars[c]); }
};

TEST(SatelliteDisplay, BarsFollowTheSortModeThresholdAndFix) {
  struct Row {
    const char* name;
    int sortMode;
    std::vector<Sat> sats;
    std::vector<std::string> labels, bars;
    std::vector<Color> drawn;  // the top op of each channel; grey = no bar
  };
  const Color B = kBarNotUsed, G = kBarUsed, X = kBarBlank;
  const Row rows[] = {
      {"receiver order, satellite 5 used", 0, {{"12", "", "", "40"}, {"05", "", "", "38"}, {"30", "", "", ""}},
       {"12", "05", "30"}, {"40", "38", ""}, {B, G, X}},
      {"by id", 1, {{"12", "", "", "40"}, {"05", "", "", "38"}, {"30", "", "", "20"}},
       {"05", "12", "30"}, {"38", "40", "20"}, {G, B, B}},
      {"by signal: an untracked one is never swapped", 2, {{"01", "", "", "45"}, {"02", "", "", ""}, {"03", "", "", "38"}},
       {"01", "02", "03"}, {"45", "", "38"}, {B, X, B}},
      {"by signal", 2, {{"01", "", "", "20"}, {"02", "", "", "45"}, {"03", "", "", "38"}},
       {"02", "03", "01"}, {"45", "38", "20"}, {B, B, B}},
      {"cycled past 2: receiver order", 3, {{"02", "", "", "20"}, {"01", "", "", "45"}}, {"02", "01"}, {"20", "45"}, {B, B}},
      {"a last strong signal hides the weak bars", 0, {{"01", "", "", "35"}, {"02", "", "", "36"}, {"03", "", "", "612"}},
       {"01", "02", "03"}, {"35", "36", "61"}, {X, B, B}},
      {"a strong signal not last decides nothing", 0, {{"01", "", "", "60"}, {"02", "", "", "10"}},
       {"01", "02"}, {"60", "10"}, {B, B}},
      {"id 0 and empty ids take no bar", 0, {{"00", "", "", "40"}, {"", "", "", "41"}, {"07", "", "", "42"}},
       {"07", "", ""}, {"42", "", ""}, {B, X, X}},
  };
  for (const Row& r : rows) {
    SkyRig p;
    p.rig.ctx.display.sortMode = r.sortMode;
    p.rig.ctx.dataPath.fix.fix3D = true;
    p.rig.ctx.dataPath.fix.usedSatellites[4] = 5;
    p.group({gsv(1, 1, static_cast<int>(r.sats.size()), r.sats)});
    for (size_t c = 0; c < r.labels.size(); ++c) {
      const int ch = static_cast<int>(c);
      EXPECT_EQ(p.label(ch), r.labels[c]) << r.name << " channel " << c;
      EXPECT_EQ(p.bar(ch), r.bars[c]) << r.name << " channel " << c;
      const auto ops = p.ops(ch);
      ASSERT_FALSE(ops.empty()) << r.name;
      EXPECT_EQ(ops.back().brush, r.drawn[c]) << r.name << " channel " << c;
      if (r.drawn[c] != X) {
        EXPECT_EQ(ops.back().y2 - ops.back().y1, decimalValue(r.bars[c]) / 2) << r.name;
      }
    }
  }
}

TEST(SatelliteDisplay, AGroupOfThreeFillsTenSlotsAndLeavesTheOtherChannelsBlank) {
  SkyRig p(1, 1);
  std::vector<Sat> sats;
  for (int i = 1; i <= 10; ++i) sats.push_back({format("%02d", i), format("%d", i * 9), format("%d", i * 30), "30"});
  p.rig.ui.setText(kInfo, ids::kInfoChannelLabels[12], "old");
  p.group({gsv(3, 1, 10, {sats.begin(), sats.begin() + 4}), gsv(3, 2, 10, {sats.begin() + 4, sats.begin() + 8}),
           gsv(3, 3, 10, {sats.begin() + 8, sats.end()})});
  const SkyTables& sky = p.rig.ctx.dataPath.sky;
  EXPECT_EQ(sky.satellitesInView, 10);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(std::string(sky.labels[i].data()), sats[i].id);
    EXPECT_EQ(sky.elevation[i], static_cast<int>(i + 1) * 9);
    EXPECT_EQ(sky.azimuth[i], static_cast<int>(i + 1) * 30);
    EXPECT_EQ(p.label(static_cast<int>(i)), sats[i].id);
  }
  for (int c = 10; c < 16; ++c) {
    EXPECT_EQ(p.label(c), "") << c;
    EXPECT_EQ(p.ops(c).size(), 1u) << c;
    EXPECT_EQ(p.ops(c).front().brush, kBarBlank) << c;
  }
  // The plot: disc, three rings, the cross, then a dot and a label per satellite.
  EXPECT_EQ(p.rig.ui.surface(WindowId::SkyPage, 0).size(), 6u + 2 * 10);
}

TEST(SatelliteDisplay, SkyPlotPlacesSatellitesByElevationAndAzimuth) {
  struct Row {
    int el, az;
    int dx, dy;  // dot centre from the origin
  };
  const Row rows[] = {{90, 0, 54, 54}, {0, 90, 107, 54}, {0, 0, 54, 0}, {0, 180, 54, 107}, {45, 270, 28, 54},
                      {-2147483647, 45, 54 + 1000000, 54 - 1000000}};
  SkyTables sky;
  sky.satellitesInView = static_cast<int>(std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) sky.elevation[i] = rows[i].el, sky.azimuth[i] = rows[i].az;
  sky.labels[0] = {'5', 0};
  struct Origin {
    int pocketPC, portrait, x0, y0;
  };
  for (const Origin o : {Origin{0, 1, 80, 50}, Origin{1, 1, 60, 50}, Origin{1, 0, 90, 30}}) {
    const PlotOrigin at = skyPlotOrigin(o.pocketPC, o.portrait);
    EXPECT_EQ(at.x0, o.x0);
    EXPECT_EQ(at.y0, o.y0);
    const auto ops = skyPlot(sky, at.x0, at.y0);
    ASSERT_EQ(ops.size(), 6 + 2 * std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
      const DrawOp& dot = ops[6 + 2 * i];
      EXPECT_EQ((dot.x1 + dot.x2) / 2 - at.x0, rows[i].dx) << rows[i].el << "/" << rows[i].az;
      EXPECT_EQ((dot.y1 + dot.y2) / 2 - at.y0, rows[i].dy) << rows[i].el << "/" << rows[i].az;
    }
    EXPECT_EQ(ops[7].text, " 5");
  }
  sky.satellitesInView = 40;  // no more than twelve are plotted
  EXPECT_EQ(skyPlot(sky, 0, 0).size(), 6u + 2 * 12);
}

TEST(SatelliteDisplay, MalformedGroupsNeverReadPastTheirLines) {
  const std::vector<std::vector<std::string>> groups = {
      {"$GPGSV"}, {"$GPGSV,1,1"}, {"$GPGSV,1,1,"}, {"$GPGSV,1,1,04*00"}, {"$GPGSV,1,1,04,01"},
      {"$GPGSV,1,1,04,01,"}, {"$GPGSV,1,1,04,01,45,"}, {"$GPGSV,1,1,04,01,45,100*"}, {"$GPGSV,2,1,04,1,2,3,4,5"},
      {"$GPGSV,1,2,04,01,45,100,40"},  // number above total: skipped
      {std::string("$GPGSV,1,1,99") + std::string(114, ',')},
  };
  for (const auto& g : groups) {
    SkyRig p(1, 1);
    p.group(g);
    EXPECT_LE(p.rig.ctx.dataPath.sky.satellitesInView, 99) << g[0];
    EXPECT_EQ(p.label(1), "") << g[0];
  }
  // Twenty satellites in five parts: sixteen sky slots, sixteen channels.
  SkyRig p(1, 1);
  std::vector<std::string> five;
  for (int n = 1; n <= 5; ++n) {
    std::vector<Sat> s;
    for (int i = 0; i < 4; ++i) s.push_back({format("%d", n * 10 + i), "10", "20", "30"});
    five.push_back(gsv(5, n, 20, s));
  }
  p.group(five);
  EXPECT_EQ(std::string(p.rig.ctx.dataPath.sky.labels[15].data()), "43");
  EXPECT_EQ(p.label(15), "43");
}

TEST(SatelliteDisplay, CleanBlanksTheBarsOrTheTextPage) {
  for (int info : {1, 0}) {
    SkyRig p(info);
    p.rig.ctx.textLog.append("line");
    p.rig.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 40);
    p.group({gsv(1, 1, 1, {{"07", "", "", "42"}})});
    p.rig.ui.setText(kInfo, ids::kInfoChannelLabels[0], "07");
    p.rig.ctx.session.clearSatelliteDisplay();
    EXPECT_EQ(p.label(0), "");
    EXPECT_EQ(p.rig.ctx.textLog.lines().empty(), info == 0);
    EXPECT_EQ(p.rig.ui.progress(WindowId::TextPage, ids::kTextProgress), info ? 40 : 0);
    const auto ops = p.ops(0);
    // Grey over the whole bar hides the bar drawn before.
    ASSERT_EQ(ops.size(), info ? 1u : 0u);
    if (info) {
      EXPECT_EQ(ops[0].brush, kBarBlank);
    }
  }
}

TEST(SatelliteDisplay, ABarPaintedOverAndOverKeepsOnlyWhatShows) {
  SkyRig p;
  for (int i = 0; i < 2000; ++i) drawSignalBar(p.rig.ui, 0, (i * 7) % 120, kBarUsed);
  EXPECT_LE(p.ops(0).size(), static_cast<size_t>(p.rig.ui.clientSize(kInfo, ids::kInfoChannelBars[0]).height + 1));
}

// The Clean button (UI thread) and restarts (command thread) clear the bars
// while the display thread draws them; the sanitizer builds watch this.
TEST(SatelliteDisplay, ClearingFromOtherThreadsWhileGroupsArriveIsSafe) {
  SkyRig p(1, 1);
  registerDataPath(p.rig.ctx);
  Worker display;
  display.start(p.rig.ctx.session.displayEntry);
  const std::string line = gsv(1, 1, 2, {{"07", "40", "90", "42"}, {"12", "10", "180", "30"}});
  // The events exist once the display thread has opened them.
  test::eventually([&] { return p.rig.ctx.openEvents.get("gpsEvtSVSOLUDATA") != nullptr; });
  std::thread cleaner([&] {
    for (int i = 0; i < 300; ++i) p.rig.ctx.session.clearSatelliteDisplay();
  });
  for (int i = 0; i < 300; ++i) dispatchSentence(p.rig.ctx, line);
  cleaner.join();
  display.stop();
  // Whatever interleaving happened, a group shown now shows in full.
  p.group({line});
  EXPECT_EQ(p.label(0), "07");
  EXPECT_EQ(p.bar(1), "30");
  EXPECT_LE(p.ops(0).size(), 2u);
}

}  // namespace
}  // namespace ferrolan
