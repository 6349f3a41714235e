// Real receivers' captures through the framer, the dispatch and the Info
// page's routines, against gpsd's decoding of the same bytes (the .expected
// files beside the captures; see their README for how they were made).

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "app/wiring.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/stream_framer.h"
#include "tests/support/test_support.h"
#include "tests/support/files.h"

namespace ferrolan {
using test::slurp;
namespace {

constexpr WindowId kInfo = WindowId::InfoPage;

// "24 Deg 47.1234N" as signed degrees; NaN when it is no such text.
double degrees(const std::string& t) {
  const size_t deg = t.find(" Deg ");
  if (deg == std::string::npos || t.size() < deg + 6) return NAN;
  const char hemisphere = t.back();
  const double v = std::stod(t.substr(0, deg)) + std::stod(t.substr(deg + 5)) / 60.0;
  return hemisphere == 'S' || hemisphere == 'W' ? -v : v;
}

// What the Info page shows after each RMC and each GSV group, as the
// expected files write it.
std::vector<std::string> shown(const std::string& bytes) {
  test::ScriptedRig rig;
  rig.ui.openWindow(kInfo, initialControls(static_cast<int>(kInfo)));
  rig.ctx.display.infoPageActive = true;
  registerDataPath(rig.ctx);
  std::array<EventHandle, sentenceEvents::kCount> events;
  for (int i = 0; i < sentenceEvents::kCount; ++i) {
    events[static_cast<size_t>(i)] = rig.ctx.openEvents.open(std::string(kSentenceEventNames[static_cast<size_t>(i)]));
    rig.ctx.dataPath.events.publish(i, events[static_cast<size_t>(i)]);
  }
  std::vector<std::string> out;
  auto onLine = [&](std::string_view line) {
    dispatchSentence(rig.ctx, line);
    // A prompt display thread: every signalled event is served at once.
    for (int i = 0; i < sentenceEvents::kCount; ++i) {
      if (!events[static_cast<size_t>(i)]->tryConsume()) continue;
      if (const RefreshRoutine& r = rig.ctx.dataPath.refresh[static_cast<size_t>(i)]) r();
      if (i == sentenceEvents::kGpRmc) {
        const double lat = degrees(rig.ui.text(kInfo, ids::kInfoLatitude));
        const double lon = degrees(rig.ui.text(kInfo, ids::kInfoLongitude));
        if (!std::isnan(lat) && !std::isnan(lon))
          out.push_back(format("fix %s %.6f %.6f", rig.ui.text(kInfo, ids::kInfoUtc).c_str(), lat, lon));
      } else if (i == sentenceEvents::kGpGsv) {
        std::string sky = "sky";
        for (int c = 0; c < 16; ++c) {
          const std::string id = rig.ui.text(kInfo, ids::kInfoChannelLabels[c]);
          if (id.empty()) break;
          sky += format(" %d:%d", decimalValue(id), decimalValue(rig.ui.text(kInfo, ids::kInfoChannelBars[c])));
        }
        out.push_back(sky);
      }
    }
  };
  LineFramer framer(rig.ctx.dataPath.lineSync);
  for (char c : bytes) framer.take(static_cast<uint8_t>(c), onLine);
  framer.take('$', onLine);  // hands on the last line
  return out;
}

bool same(const std::string& ours, const std::string& gpsd) {
  if (ours.rfind("fix ", 0) != 0 || gpsd.rfind("fix ", 0) != 0) return ours == gpsd;
  char t1[16] = {}, t2[16] = {};
  double a1, o1, a2, o2;
  if (std::sscanf(ours.c_str(), "fix %15s %lf %lf", t1, &a1, &o1) != 3) return false;
  if (std::sscanf(gpsd.c_str(), "fix %15s %lf %lf", t2, &a2, &o2) != 3) return false;
  // Both round to six decimals from minutes with four.
  return std::string(t1) == t2 && std::fabs(a1 - a2) < 2e-6 && std::fabs(o1 - o2) < 2e-6;
}

TEST(NmeaCaptures, InfoPageShowsWhatGpsdDecodes) {
  const char* captures[] = {"mtk-3329",    "garmin-10x",   "bn-9015",      "navika-100-fix",
                            "gp-320fw-2019-03-28", "mt3339", "skytraq-fix", "ublox-lea-4h",
                            "myguide-3100", "foretrex-201", "gp-320fw-2019-04-07-coldboot", "ac12_binary"};
  for (const char* name : captures) {
    const std::string base = std::string(FERROLAN_TESTDATA_DIR) + "/nmea/" + name;
    const std::vector<std::string> ours = shown(slurp(base + ".nmea"));
    std::istringstream expected(slurp(base + ".expected"));
    size_t lines = 0;
    // gpsd reports once per cycle, repeats what has not changed and orders
    // its fix and sky reports by its own cycle ends: each of its reports is
    // one of ours, in the same order among the reports of its kind.
    std::map<std::string, size_t> at;  // by kind, where the last match was
    for (std::string want; std::getline(expected, want);) {
      if (want.empty()) continue;
      ++lines;
      const std::string kind = want.substr(0, 4);
      size_t i = at[kind];
      while (i < ours.size() && !(ours[i].rfind(kind, 0) == 0 && same(ours[i], want))) ++i;
      if (i == ours.size()) {
        ADD_FAILURE() << name << ": gpsd's \"" << want << "\" is not among what the Info page shows";
        break;
      }
      at[kind] = i;
    }
    EXPECT_GT(lines, 0u) << name;
  }
}

}  // namespace
}  // namespace ferrolan
