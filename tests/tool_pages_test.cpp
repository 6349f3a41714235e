// The Info and Sky pages' menu rules and the command dispatcher, row by row
// on the UI model: the event each command sets, the dialogs it opens, the
// flags it writes and the menu items it greys or enables.
#include <map>

#include "shell/front_end.h"
#include "shell/tool_pages.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

constexpr int kMenuItems[] = {ids::kCmdToNmea, ids::kCmdToVbi, ids::kCmdStartLog, ids::kCmdStopLog};
using MenuState = std::array<int, 4>;  // 1 enabled, 0 greyed, for kMenuItems

struct DialogRecorder final : SheetHost {
  int runDialog(WindowId w, DialogProcedures) override {
    opened.push_back(w);
    return 0;
  }
  void endDialog(WindowId, int) override {}
  void endSheet(int) override {}
  std::vector<WindowId> opened;
};

struct PageRig {
  test::ScriptedRig rig;
  DialogRecorder host;
  std::map<std::string, EventHandle> events;
  std::vector<int> quits;

  PageRig() {
    rig.ui.openWindow(WindowId::InfoPage, initialControls(106));
    for (std::string_view name : kCommandEventNames) events[std::string(name)] = rig.ctx.events.create(std::string(name));
    rig.ctx.app.postQuit = [this](int code) { quits.push_back(code); };
  }
  std::vector<std::string> signalled() {
    std::vector<std::string> out;
    for (auto& [name, e] : events)
      if (e->tryConsume()) out.push_back(name);
    return out;
  }
  MenuState menu() const {
    MenuState m{};
    for (size_t i = 0; i < m.size(); ++i) m[i] = rig.ui.menuEnabled(WindowId::InfoPage, kMenuItems[i]);
    return m;
  }
  void run(int command) { dispatchCommand(rig.ctx, &host, WindowId::InfoPage, command); }
};

TEST(ToolMenu, ActivationAppliesTheFirstRuleThatHolds) {
  struct Row {
    bool log;
    bool connected, dual;
    ProtocolMode mode;
    MenuState fromEnabled, fromGreyed;
  };
  constexpr ProtocolMode V = ProtocolMode::Vbi, N = ProtocolMode::Nmea;
  const Row rows[] = {
      {true, 1, 0, N, {0, 0, 0, 1}, {0, 0, 0, 1}},
      {true, 0, 1, V, {1, 1, 1, 1}, {0, 0, 0, 0}},  // logging, no port: unchanged
      {false, 1, 1, V, {0, 0, 1, 1}, {0, 0, 0, 0}},
      {false, 0, 1, N, {0, 0, 1, 1}, {0, 0, 0, 0}},
      {false, 1, 0, V, {1, 0, 1, 0}, {1, 0, 1, 0}},
      {false, 0, 0, V, {0, 1, 1, 0}, {0, 1, 1, 0}},
      {false, 1, 0, N, {0, 1, 1, 0}, {0, 1, 1, 0}},
  };
  for (const Row& row : rows) {
    for (bool greyedFirst : {false, true}) {
      SCOPED_TRACE(testing::Message() << row.log << row.connected << row.dual << static_cast<int>(row.mode) << greyedFirst);
      PageRig p;
      for (int item : kMenuItems) p.rig.ui.setMenuEnabled(WindowId::InfoPage, item, !greyedFirst);
      p.rig.ctx.log.logFileOpen = row.log;
      p.rig.ctx.session.connected = row.connected;
      p.rig.ctx.session.dualPortActive = row.dual;
      p.rig.ctx.session.protocolMode = row.mode;
      activateToolPage(p.rig.ctx, WindowId::InfoPage, true);
      EXPECT_EQ(p.menu(), greyedFirst ? row.fromGreyed : row.fromEnabled);
      EXPECT_EQ(p.rig.ctx.display.infoPageActive, 1);
      activateToolPage(p.rig.ctx, WindowId::InfoPage, false);
      EXPECT_EQ(p.rig.ctx.display.infoPageActive, 0);
    }
  }
}

TEST(ToolMenu, EachCommandDoesWhatItsRowSays) {
  struct Row {
    int command;
    ProtocolMode mode = ProtocolMode::Nmea;
    bool connected = false;
    std::vector<std::string> events = {};
    std::vector<WindowId> dialogs = {};
    MenuState menu = {1, 1, 1, 1};  // from all enabled
    int targetBaud = 0;
    int sortMode = kSortReceiverOrder;
    std::string log = "";
  };
  const Row rows[] = {
      {ids::kInfoColdStart, ProtocolMode::Nmea, 0, {"gpsEvtColdStart"}},
      {ids::kInfoSortBySvid, ProtocolMode::Nmea, 0, {}, {}, {1, 1, 1, 1}, 0, kSortById},
      {ids::kInfoSortByCno, ProtocolMode::Nmea, 0, {}, {}, {1, 1, 1, 1}, 0, kSortBySignal},
      {ids::kInfoSortReceiver},
      {ids::kInfoClean, ProtocolMode::Nmea, 0, {}, {}, {1, 1, 1, 1}, 0, 0, "No satellite display registered to clear.."},
      {ids::kInfoFwVersion, ProtocolMode::Nmea, 0, {"gpsEvtFWVersion"}},
      {ids::kCmdCommSetting, ProtocolMode::Nmea, 0, {}, {WindowId::ComPortSetup}},
      {ids::kCmdCommSetting, ProtocolMode::Nmea, 1, {}, {WindowId::ComPortSetup}, {0, 1, 1, 0}},
      {ids::kCmdToNmea, ProtocolMode::Nmea, 0, {"gpsEvtToNMEA"}, {}, {0, 1, 1, 1}},
      {ids::kCmdToVbi, ProtocolMode::Nmea, 0, {"gpsEvtToVBI"}, {}, {1, 0, 1, 1}},
      {ids::kCmdHotStart, ProtocolMode::Nmea, 0, {"gpsEvtHotStart"}},
      {ids::kCmdWarmStart, ProtocolMode::Nmea, 0, {"gpsEvtWarmStart"}},
      {ids::kCmdColdStart, ProtocolMode::Nmea, 0, {"gpsEvtColdStart"}},
      {ids::kCmdReset, ProtocolMode::Nmea, 0, {"gpsEvtReset"}},
      {ids::kCmdVgan, ProtocolMode::Nmea, 0, {"gpsEvtReset"}},
      {ids::kCmdFwUpdate, ProtocolMode::Nmea, 0, {}, {WindowId::UpdateFirmware}},
      {ids::kCmdDualPort, ProtocolMode::Nmea, 0, {}, {}, {1, 1, 1, 1}, 0, 0, "No device manager registered: the driver cannot be installed.."},
      {ids::kCmdFwVersion, ProtocolMode::Nmea, 0, {"gpsEvtFWVersion"}},
      {ids::kCmdStartLog, ProtocolMode::Nmea, 1, {"gpsEvtStartLog"}, {}, {0, 0, 0, 1}},
      {ids::kCmdStartLog, ProtocolMode::Vbi, 1, {"gpsEvtStartLog"}, {WindowId::VbiLogSetting}, {0, 0, 0, 1}},
      // Stop Log gives back the switch to the other stream (both greyed before).
      {ids::kCmdStopLog, ProtocolMode::Nmea, 1, {"gpsEvtStopLog"}, {}, {0, 1, 1, 0}},
      {ids::kCmdStopLog, ProtocolMode::Vbi, 1, {"gpsEvtStopLog"}, {}, {1, 0, 1, 0}},
      {ids::kCmdAbout, ProtocolMode::Nmea, 0, {}, {WindowId::About}},
      {40015, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 4800},
      {40016, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 9600},
      {40017, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 19200},
      {40018, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 38400},
      {40019, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 57600},
      {40020, ProtocolMode::Nmea, 0, {"gpsEvtBaudRate"}, {}, {1, 1, 1, 1}, 115200},
      {ids::kCmdFkUpdate, ProtocolMode::Nmea, 0, {"gpsEvtFKUpdate"}},
      {ids::kCmdSpUpdate, ProtocolMode::Nmea, 0, {"gpsEvtSPUpdate"}},
      {ids::kCmdAllUpdate, ProtocolMode::Nmea, 0, {"gpsEvtAllUpdate"}},
      {ids::kCmdSingleChannel, ProtocolMode::Nmea, 0, {}, {WindowId::SingleChannel}},
      {ids::kCmdFsaModify, ProtocolMode::Nmea, 0, {}, {WindowId::FsaModify}},
      // Ids no row names, and the high word of the command parameter.
      {0}, {4}, {40014}, {40021}, {40029}, {40033}, {1093},
      {0x10000 + ids::kCmdHotStart, ProtocolMode::Nmea, 0, {"gpsEvtHotStart"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.command << " mode " << static_cast<int>(row.mode) << " connected " << row.connected);
    PageRig p;
    p.rig.ctx.session.protocolMode = row.mode;
    p.rig.ctx.session.connected = row.connected;
    if (row.command == ids::kCmdStopLog)
      for (int item : {ids::kCmdToNmea, ids::kCmdToVbi}) p.rig.ui.setMenuEnabled(WindowId::InfoPage, item, false);
    p.run(row.command);
    EXPECT_EQ(p.signalled(), row.events);
    EXPECT_EQ(p.host.opened, row.dialogs);
    EXPECT_EQ(p.menu(), row.menu);
    EXPECT_EQ(p.rig.ctx.session.targetBaud, row.targetBaud);
    EXPECT_EQ(p.rig.ctx.display.sortMode, row.sortMode);
    EXPECT_EQ(p.rig.lastLog(), row.log);
    EXPECT_TRUE(p.quits.empty());
  }
}

TEST(ToolMenu, FlagsAndTheEndOfTheSheet) {
  PageRig p;
  std::vector<int> sorts;
  for (int i = 0; i < 4; ++i) {
    p.run(ids::kInfoSort);
    sorts.push_back(p.rig.ctx.display.sortMode);
  }
  EXPECT_EQ(sorts, (std::vector<int>{1, 2, 3, 1}));

  p.rig.ctx.session.restartKind = RestartKind::Warm;
  p.run(ids::kInfoStop);
  EXPECT_EQ(p.rig.ctx.session.stopRequested, 1);
  EXPECT_EQ(p.rig.ctx.session.restartKind.load(), RestartKind::None);

  int cleared = 0;
  p.rig.ctx.session.clearSatelliteDisplay = [&] { ++cleared; };
  p.run(ids::kInfoClean);
  EXPECT_EQ(cleared, 1);

  for (int command : {ids::kOk, ids::kCancel, ids::kCmdExit}) {
    PageRig end;
    end.run(command);
    EXPECT_EQ(end.quits, std::vector<int>{0});
    EXPECT_EQ(end.rig.ctx.app.sheetClosing, 1);
    // Once the sheet is closing, nothing more is dispatched.
    end.run(ids::kCmdHotStart);
    end.run(ids::kCmdAbout);
    EXPECT_TRUE(end.signalled().empty());
    EXPECT_TRUE(end.host.opened.empty());
    EXPECT_EQ(end.quits.size(), 1u);
  }
}

}  // namespace
}  // namespace ferrolan
