// The three-page tool driven through its scripted console: the real
// program, with ferrolan-sim on a pseudo-terminal as the receiver.

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/tool_console.h"
#include "core/text.h"
#include "shell/script_console.h"
#include "ui/ids.h"
#include "platform/line_speeds.h"
#include "sim/vbi_output.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

// The last text of each Info page control.
std::map<int, std::string> infoPage(const std::vector<std::string>& out) {
  std::map<int, std::string> shown;
  for (const std::string& l : out) {
    if (l.rfind("text info:", 0) != 0) continue;
    const size_t blank = l.find(' ', 10);
    if (blank != std::string::npos) shown[decimalValue(l.substr(10))] = l.substr(blank + 1);
  }
  return shown;
}

// "44 Deg 04.1237919N" (NMEA) or "-33.868400 N" (VBI) in degrees, south
// and west negative.
double degrees(const std::string& text) {
  const size_t deg = text.find(" Deg ");
  if (deg == std::string::npos) return text.empty() ? NAN : std::strtod(text.c_str(), nullptr);
  if (text.size() < deg + 6) return NAN;
  const double v = std::stod(text.substr(0, deg)) + std::stod(text.substr(deg + 5)) / 60.0;
  return text.back() == 'S' || text.back() == 'W' ? -v : v;
}

TEST(ScriptProtocol, ChangesPrintAsTheirLines) {
  auto line = [](WindowId w, int control, UiChangeKind kind, std::string text = {}, int value = 0) {
    return scriptLine({w, control, kind, std::move(text), value, 1}).value_or("(none)");
  };
  using K = UiChangeKind;
  using W = WindowId;
  const std::pair<std::string, std::string> rows[] = {
      {line(W::TextPage, 1032, K::ListAppend, "a\\b\r\n"), "log a\\\\b\\r\\n"},
      {line(W::TextPage, 1032, K::ListInsertTop, "$GPGGA,1\n"), "log $GPGGA,1\\n"},
      {line(W::ComPortSetup, 1004, K::Text, "Please wait"), "text dlg104:1004 Please wait"},
      {line(W::InfoPage, 1049, K::Text, ""), "text info:1049 "},
      {line(W::TextPage, 1036, K::Progress, {}, 45), "progress text:1036 45"},
      {line(W::FsaModify, 1111, K::Enabled, {}, 1), "enable dlg128:1111 1"},
      {line(W::InfoPage, 1092, K::Visible, {}, 0), "show info:1092 0"},
      {line(W::VbiLogSetting, 1075, K::Checked, {}, 1), "check dlg123:1075 1"},
      {line(W::FsaModify, 1112, K::Selection, "1   Hz", 1), "select dlg128:1112 1 1   Hz"},
      {line(W::SkyPage, 40002, K::Menu, {}, 0), "menu 40002 0"},
      {line(W::SingleChannel, 0, K::WindowOpened), "open dlg116"},
      {line(W::SkyPage, 0, K::WindowClosed), "close sky"},
      // Control bytes (C0 and C1) and bytes of no well-formed UTF-8
      // sequence, escaped; a well-formed character kept.
      {line(W::TextPage, 1032, K::ListAppend, std::string("a\0b\x1B[2J\t\x7F", 9)), "log a\\x00b\\x1B[2J\\x09\\x7F"},
      {line(W::TextPage, 1032, K::ListAppend, "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xB0 \xC2\xA0"),
       "log \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xB0 \xC2\xA0"},
      {line(W::TextPage, 1032, K::ListAppend, "\xC2\x9B\xFF\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82"),
       "log \\xC2\\x9B\\xFF\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80\\xE2\\x82"},
      // What the protocol does not show.
      {line(W::FsaModify, 1112, K::ListItems), "(none)"},
      {line(W::InfoPage, 1055, K::Surface), "(none)"},
      {line(W::ComPortSetup, 1002, K::ListAppend, "x"), "(none)"},
  };
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want);
}

TEST(ToolConsole, BadLinesGetTheirErrorAndTheToolGoesOn) {
  Tool t;
  t.start();
  t.steps({
      {"bogus", "error bogus: unknown command"}, {"page nowhere", "error page nowhere: no such page"},
      {"cmd x", "error cmd x: cmd takes a command id"}, {"click 1000", "error click 1000: no dialog open"},
      {"wait -5", "error wait -5: wait takes milliseconds, 0 to 3600000"},
      {std::string(5000, 'x'), "error " + std::string(40, 'x') + "...: line too long"},
      // The reason follows whatever the line held.
      {std::string("page info\0zzz", 13), "error page info\\x00zzz: no such page"},
      {"page \x1B]0;x\x07", "error page \\x1B]0;x\\x07: no such page"},
      {"cmd 40001", "open dlg104"}, {"cmd 40013", "error cmd 40013: a dialog is open"},
      {"click 4242", "error click 4242: no such control"}, {"check 1002 1", "error check 1002 1: not a check box"},
      {"pick 1003 6", "error pick 1003 6: no such entry"}, {"set 1002 COM8:", "select dlg104:1002 7 COM8:"},
      // A port that does not exist: the box, and the dialog stays open.
      {"click 1000", "box Error|Fail To Create COM Port"}, {"click 2", "close dlg104"},
      {"cmd 40013", "open dlg102"}, {"click 1", "close dlg102"}, {"quit", "exit 0"},
  });
  EXPECT_TRUE(t.program.wait(10000));
  EXPECT_EQ(t.program.exitCode(), 0);
}

TEST(ToolConsole, ConnectsThenSetsRatesAndSingleChannelModeOnTheReceiver) {
  Tool t;
  t.startSim({"--no-pacing"});
  t.start();
  ASSERT_TRUE(t.connect());
  ASSERT_TRUE(t.steps({
      {"sync", "sync"}, {"cmd 40010", "text info:1114 Current FW:3.17"}, {"cmd 40032", "open dlg128"},
      {"check 1110 1", "enable dlg128:1120 1"}, {"set 1114 OFF", "select dlg128:1114 0 OFF"},
      {"pick 1118 2", "select dlg128:1118 2 1/2 Hz"}, {"click 1", "close dlg128"},
  }));
  EXPECT_TRUE(t.printed("close dlg104"));
  EXPECT_TRUE(t.simState("rates=RMC:1,GGA:0,GLL:0,GSA:1,GSV:1,ALM:0,VTG:2,ZDA:0"));
  ASSERT_TRUE(
      t.steps({{"cmd 40026", "open dlg116"}, {"set 1093 7", "select dlg116:1093 6 7"}, {"click 1094", "close dlg116"}}));
  EXPECT_TRUE(t.simState("single-channel=7"));
  ASSERT_TRUE(t.steps({{"cmd 40026", "open dlg116"}, {"click 1095", "close dlg116"}}));
  EXPECT_TRUE(t.simState("single-channel=0"));
  // The receiver goes away under the connection: one line, and the tool
  // carries on.
  t.sim.writeLine("hangup 500");
  EXPECT_TRUE(t.until("log COM port lost: the receiver is disconnected.."));
  EXPECT_TRUE(t.until("text text:1044 N/A"));
  EXPECT_TRUE(t.steps({{"quit", "exit 0"}}));
  EXPECT_FALSE(t.printed("box Error|Write Command fail! Please Check COM port"));
}

// The receiver goes away and comes back on a new pseudo-terminal behind the
// same name: the tool connects again by itself, says so once, and the raw
// log that was running goes on in a file of its own.
TEST(ToolConsole, APortThatComesBackIsConnectedAgainAndItsLogGoesOn) {
  Tool t;
  t.startSim({"--no-pacing"});
  t.start();
  ASSERT_TRUE(t.connect());
  ASSERT_TRUE(t.steps({{"cmd 40011", "text text:1039 Logging"}}));
  // The second line shown after the start is surely in the log.
  t.untilPrefix("log $GP");
  t.untilPrefix("log $GP");
  t.sim.writeLine("hangup 1500");
  ASSERT_TRUE(t.until("log COM port lost: the receiver is disconnected..")) << t.lastLines();
  ASSERT_TRUE(t.until("log COM port back: connected again..")) << t.lastLines();
  // The Info page shows sentences again and the log starts again, in
  // either order.
  bool info = false, logging = false;
  std::string found;
  EXPECT_TRUE(t.readUntil(
      [&](const std::string& l) {
        info = info || l.starts_with("text info:");
        logging = logging || l == "text text:1039 Logging";
        return info && logging;
      },
      found, 30000))
      << t.lastLines();
  t.untilPrefix("log $GP");
  t.untilPrefix("log $GP");
  ASSERT_TRUE(t.steps({{"quit", "exit 0"}}));
  EXPECT_EQ(std::count(t.out.begin(), t.out.end(), "log COM port back: connected again.."), 1);
  std::vector<std::string> logs;
  for (const auto& e : fs::recursive_directory_iterator(t.root))
    if (e.path().filename().string().starts_with("Vexil_Log_")) {
      logs.push_back(e.path().filename().string());
      std::ifstream in(e.path());
      std::string first;
      EXPECT_TRUE(std::getline(in, first) && first.starts_with("$GP")) << e.path() << ": " << first;
    }
  EXPECT_EQ(logs.size(), 2u) << ::testing::PrintToString(logs);
}

// Quit and the input's end (with a dialog open, or closed from the start)
// exit 0; a signal during a connected session ends with 128 plus its
// number. Either way the exit line comes last.
TEST(ToolConsole, EveryWayOutEndsWhatIsOpenAndPrintsTheExitLineLast) {
  enum How { Quit, EndInput, InputClosed, Signal };
  const struct {
    const char* name;
    How how;
    int signal, code;
  } rows[] = {{"quit with a dialog open", Quit, 0, 0},        {"input ended with a dialog open", EndInput, 0, 0},
              {"input closed from the start", InputClosed, 0, 0}, {"SIGTERM", Signal, SIGTERM, 143},
              {"SIGINT", Signal, SIGINT, 130}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Tool t;
    const std::string exitLine = "exit " + std::to_string(row.code);
    if (row.how == Signal) {
      t.startSim({"--no-pacing"});
      t.start();
      ASSERT_TRUE(t.connect());
      ASSERT_EQ(::kill(t.program.pid(), row.signal), 0);
    } else if (row.how == InputClosed) {
      t.start(true);
    } else {
      t.start();
      t.send("page sky");
      t.send("cmd 40032");
      ASSERT_TRUE(t.until("open dlg128"));
      if (row.how == EndInput)
        t.program.closeStdin();
      else
        t.send("quit");
    }
    EXPECT_TRUE(t.until(exitLine)) << t.lastLines();
    if (row.how == Quit || row.how == EndInput) {
      EXPECT_TRUE(t.printed("close dlg128") && t.printed("close sky") && t.printed("close text"));
    }
    EXPECT_TRUE(t.program.wait(10000));
    EXPECT_EQ(t.program.exitCode(), row.code);
    std::string more;
    EXPECT_FALSE(t.program.readLine(more, 200)) << more;
    EXPECT_EQ(t.out.back(), exitLine);
  }
}

// A capture replayed by the simulator: what the Info page ends up showing is
// what gpsd decodes from the same capture (its .expected file).
TEST(ToolConsole, InfoPageShowsWhatGpsdDecodesFromEveryReplayedCapture) {
  int captures = 0, fixes = 0;
  for (const auto& e : fs::directory_iterator(FERROLAN_TESTDATA_DIR "/nmea")) {
    if (e.path().extension() != ".expected") continue;
    ++captures;
    const std::string base = (e.path().parent_path() / e.path().stem()).string();
    SCOPED_TRACE(base);
    Tool t;
    t.startSim({"--replay", base + ".nmea", "--fast"});
    t.start();
    ASSERT_TRUE(t.connect());
    // A while of the capture, then the receiver goes: what the page shows
    // stays as the last complete sentences left it.
    t.send("wait 1500");
    ASSERT_TRUE(t.steps({{"sync", "sync"}}));
    t.sim.stop();
    ASSERT_TRUE(t.until("log COM port lost: the receiver is disconnected.."));
    ASSERT_TRUE(t.steps({{"sync", "sync"}}));
    std::map<int, std::string> shown = infoPage(t.out);
    std::string sky = "sky";
    for (int c = 0; c < 16 && !shown[ids::kInfoChannelLabels[c]].empty(); ++c)
      sky += format(" %d:%d", decimalValue(shown[ids::kInfoChannelLabels[c]]),
                    decimalValue(shown[ids::kInfoChannelBars[c]]));
    std::ifstream expected(base + ".expected");
    bool fixSeen = false, skySeen = false;
    for (std::string line; std::getline(expected, line);) {
      skySeen = skySeen || line == sky;
      char time[16] = {};
      double lat, lon;
      if (std::sscanf(line.c_str(), "fix %15s %lf %lf", time, &lat, &lon) != 3 || shown[ids::kInfoUtc] != time) continue;
      fixSeen = true;
      EXPECT_NEAR(degrees(shown[ids::kInfoLatitude]), lat, 2e-6) << line;
      EXPECT_NEAR(degrees(shown[ids::kInfoLongitude]), lon, 2e-6) << line;
    }
    EXPECT_TRUE(skySeen) << sky << " is none of gpsd's" << t.lastLines(60);
    // The page shows the time of a void RMC too, where gpsd reports no fix;
    // where gpsd has one at the time shown, the position above matched it.
    fixes += fixSeen;
    if (base.ends_with("mt3339")) {
      EXPECT_TRUE(fixSeen) << "no gpsd fix at " << shown[ids::kInfoUtc];
      EXPECT_EQ(shown[ids::kInfoFix], "3D fix");
    }
    EXPECT_TRUE(t.steps({{"quit", "exit 0"}}));
  }
  EXPECT_EQ(captures, 12);
  EXPECT_GE(fixes, captures - 2);
}

// A VBI log as the tool writes it, of the simulated receiver's frames: five
// epochs with a 3D fix, a second apart.
std::string simulatedVbiLog(std::vector<sim::Epoch>& epochs) {
  std::string bytes;
  const int64_t start = sim::unixFromCivil(CalendarTime{2026, 5, 4, 12, 0, 0});
  for (uint32_t n = 0; n < 5; ++n) {
    sim::Epoch e;
    e.utc = sim::civilFromUnix(start + n);
    e.fix = sim::FixKind::Fix3D;
    e.position = {-33.8688 + n * 1e-4, 151.2093 - n * 2e-4, 58.25};
    for (int prn = 1; prn <= 6; ++prn) e.sky.push_back({prn * 5, 40, 90, 40, prn <= 4});
    for (const auto& f : sim::vbiEpoch(e, sim::gpsSecondsFromUnix(start + n), n)) bytes.append(f.begin(), f.end());
    epochs.push_back(e);
  }
  return bytes;
}

// Whether a process still runs with `text` in its command line.
bool processWith(const std::string& text) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    std::ifstream f(e.path() / "cmdline", std::ios::binary);
    const std::string cmdline((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) return true;
  }
  return false;
}

// A log played as fast as it goes: once the end line is printed, the Info
// page shows the last fix of the log (gpsd's last one for a capture), with
// the last sentence or frame too, which nothing after it closes; quit
// leaves no simulator behind.
TEST(Playback, InfoPageEndsAtTheLogsLastFix) {
  std::vector<sim::Epoch> epochs;
  const std::string vbi = simulatedVbiLog(epochs);
  // The PVT display reads the solution copy the selector names: of the
  // three in rotation, the one the next overwrites, two before the last.
  const sim::Epoch& shownPvt = epochs[epochs.size() - 3];
  const struct {
    const char* name;
    std::string bytes, time;
    double lat, lon;
  } rows[] = {
      {"skytraq-fix.nmea", {}, {}, 0, 0}, {"mtk-3329.nmea", {}, {}, 0, 0},
      {"simulated.vbi", vbi, format("%d:%d:%d", shownPvt.utc.hour, shownPvt.utc.minute, shownPvt.utc.second),
       shownPvt.position.latitudeDeg, shownPvt.position.longitudeDeg},
  };
  for (auto row : rows) {
    SCOPED_TRACE(row.name);
    Tool t;
    const fs::path log = t.root / row.name;
    if (row.bytes.empty()) {
      const std::string base = FERROLAN_TESTDATA_DIR "/nmea/" + fs::path(row.name).stem().string();
      fs::copy_file(base + ".nmea", log);
      std::ifstream expected(base + ".expected");
      for (std::string line; std::getline(expected, line);) {
        char time[16] = {};
        if (std::sscanf(line.c_str(), "fix %15s %lf %lf", time, &row.lat, &row.lon) == 3) row.time = time;
      }
    } else {
      std::ofstream(log, std::ios::binary) << row.bytes;
    }
    t.start(false, {"--replay", log.string(), "--speed", "0"});
    ASSERT_TRUE(t.steps({{"page info", "open info"}}));
    ASSERT_TRUE(t.until("log Playback ended.")) << t.lastLines();
    ASSERT_TRUE(t.steps({{"sync", "sync"}}));
    const auto shown = infoPage(t.out);
    EXPECT_EQ(shown.at(ids::kInfoUtc), row.time);
    EXPECT_NEAR(degrees(shown.at(ids::kInfoLatitude)), row.lat, 2e-6);
    EXPECT_NEAR(degrees(shown.at(ids::kInfoLongitude)), row.lon, 2e-6);
    EXPECT_FALSE(t.printed("log COM port lost: the receiver is disconnected.."));
    EXPECT_TRUE(t.steps({{"quit", "exit 0"}}));
    EXPECT_TRUE(t.program.wait(10000));
    EXPECT_FALSE(processWith(log.string())) << "a simulator still plays " << log;
  }
}

// Paced, every epoch of the log is shown, in the log's order; what would go
// to a receiver writes one line and nothing else: no dialog, no box, no
// reply (the simulator would answer the version query).
TEST(Playback, PacedByTheLogAndNothingGoesToTheReceiver) {
  Tool t;
  const std::string capture = FERROLAN_TESTDATA_DIR "/nmea/eXplorist110.nmea";
  t.start(false, {"--replay", capture, "--speed", "4"});
  t.send("page info");
  const int receiverCommands[] = {ids::kInfoColdStart, ids::kCmdHotStart,       ids::kCmdToVbi,
                                  ids::kCmdFwVersion,  kLineSpeeds[5].commandId, ids::kCmdSingleChannel,
                                  ids::kCmdFwUpdate,   ids::kCmdFkUpdate,       ids::kCmdVgan,
                                  ids::kCmdDualPort,   ids::kCmdFsaModify,      ids::kCmdCommSetting};
  for (int id : receiverCommands) {
    SCOPED_TRACE(id);
    const size_t before = t.out.size();
    ASSERT_TRUE(t.steps({{format("cmd %d", id), "log Playback: no receiver to send to."}, {"sync", "sync"}}));
    for (size_t i = before; i < t.out.size(); ++i)
      EXPECT_TRUE(t.out[i].rfind("open dlg", 0) != 0 && t.out[i].rfind("box ", 0) != 0) << t.out[i];
  }
  ASSERT_TRUE(t.until("log Playback ended.")) << t.lastLines();
  std::vector<std::string> times, want;
  for (const std::string& l : t.out)
    if (l.rfind(format("text info:%d ", ids::kInfoUtc), 0) == 0) times.push_back(l.substr(l.find(' ', 5) + 1));
  std::ifstream f(capture);
  for (std::string line; std::getline(f, line);)
    if (line.rfind("$GPRMC,", 0) == 0 && line.size() > 13)
      want.push_back(line.substr(7, 2) + ":" + line.substr(9, 2) + ":" + line.substr(11, 2));
  EXPECT_EQ(times, want);
  for (const std::string& l : t.out) {
    EXPECT_EQ(l.find("Current FW"), std::string::npos) << l;
    EXPECT_NE(l, "log COM port lost: the receiver is disconnected..");
  }
  EXPECT_TRUE(t.steps({{"quit", "exit 0"}}));
}

}  // namespace
}  // namespace ferrolan
