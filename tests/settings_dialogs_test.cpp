// The settings and small dialogs on the UI model: what each shows when it
// opens, and the bytes each button puts on the wire, with their timing on
// the virtual clock.
#include <functional>

#include "control/log_buffer.h"
#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "link/settings_dialogs.h"
#include "shell/small_dialogs.h"
#include "tests/support/dialog_rig.h"

namespace ferrolan {
namespace {

using Lines = std::vector<std::string>;

TEST(FsaModify, SendsWhatIsCheckedInOrderWithItsPauses) {
  const Lines defaults = {"$PKRV09,8,4*1A\r\n",  "$PKRV09,9,4*1B\r\n",  "$PKRV09,10,0*27\r\n",
                          "$PKRV09,11,4*22\r\n", "$PKRV09,12,4*21\r\n", "$PKRV09,13,0*24\r\n",
                          "$PKRV09,14,0*23\r\n", "$PKRV09,15,0*22\r\n", "$PKRV09,,*16\r\n"};
  struct Row {
    const char* name;
    std::function<void(DialogRig&)> use;
    Lines expected;
    std::vector<uint32_t> gapsMs;  // between consecutive writes
  };
  const auto storeBaud = [](int index) {
    return [index](DialogRig& d) {
      d.check(ids::kFsaChangeBaud);
      d.rig.ui.setSelection(d.window, ids::kFsaBaudBox, index);
    };
  };
  const Row rows[] = {
      {"nothing checked sends nothing", [](DialogRig&) {}, {}, {}},
      {"defaults of Change Output", [](DialogRig& d) { d.check(ids::kFsaChangeOutput); }, defaults,
       {100, 100, 100, 100, 100, 100, 100, 100}},
      {"stored baud 115200", storeBaud(5), {"$PKRV09,2,8*1C\r\n", "$PKRV09,,*16\r\n"}, {500}},
      {"stored baud 4800", storeBaud(0), {"$PKRV09,2,1*15\r\n", "$PKRV09,,*16\r\n"}, {500}},
      {"a typed rate that is no rate sends the closing sentence only",
       [](DialogRig& d) {
         d.check(ids::kFsaChangeBaud);
         d.rig.ui.typeText(d.window, ids::kFsaBaudBox, "1234");
       },
       {"$PKRV09,,*16\r\n"}, {}},
      {"a typed rate box is left out, the others go",
       [](DialogRig& d) {
         d.check(ids::kFsaChangeOutput);
         d.rig.ui.typeText(d.window, ids::kFsaGga, "1   Hz");
         d.rig.ui.setSelection(d.window, ids::kFsaZda, 5);
       },
       {"$PKRV09,8,4*1A\r\n", "$PKRV09,10,0*27\r\n", "$PKRV09,11,4*22\r\n", "$PKRV09,12,4*21\r\n",
        "$PKRV09,13,0*24\r\n", "$PKRV09,14,0*23\r\n", "$PKRV09,15,8*2A\r\n", "$PKRV09,,*16\r\n"},
       {100, 100, 100, 100, 100, 100, 100}},
      {"checked then unchecked sends nothing",
       [](DialogRig& d) {
         d.check(ids::kFsaChangeOutput);
         d.check(ids::kFsaChangeOutput);
       },
       {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DialogRig d(WindowId::FsaModify, fsaModifyProcedures);
    row.use(d);
    d.click(ids::kOk);
    EXPECT_EQ(d.texts(), row.expected);
    std::vector<uint32_t> gaps;
    for (size_t i = 1; i < d.sent.size(); ++i) gaps.push_back(d.sent[i].first - d.sent[i - 1].first);
    EXPECT_EQ(gaps, row.gapsMs);
    EXPECT_EQ(d.host.ended, std::vector<int>{ids::kOk});
  }
}

TEST(FsaModify, OpensWithItsDefaultsDisabledAndTheChecksEnableThem) {
  DialogRig d(WindowId::FsaModify, fsaModifyProcedures);
  UiModel& ui = d.rig.ui;
  const WindowId w = d.window;
  EXPECT_EQ(ui.text(w, ids::kFsaBaudBox), "9600");
  for (const RateBox& r : kRateBoxes) {
    EXPECT_EQ(ui.selection(w, r.box), r.initial) << r.box;
    EXPECT_FALSE(ui.enabled(w, r.box)) << r.box;
  }
  d.check(ids::kFsaChangeBaud);
  EXPECT_TRUE(ui.enabled(w, ids::kFsaBaudBox));
  EXPECT_FALSE(ui.enabled(w, ids::kFsaRmc));
  d.check(ids::kFsaChangeOutput);
  for (const RateBox& r : kRateBoxes) EXPECT_TRUE(ui.enabled(w, r.box)) << r.box;
  d.click(ids::kCancel);
  EXPECT_TRUE(d.sent.empty());
}

TEST(SingleChannel, AlwaysLeavesFirstAndComposesTheChosenId) {
  struct Row {
    std::function<void(DialogRig&)> use;
    int button;
    Lines expected;
  };
  const Row rows[] = {
      {[](DialogRig&) {}, ids::kScEnter, {"$PKRV08,0*0B\r\n", "$PKRV08,32*3A\r\n"}},
      {[](DialogRig& d) { d.rig.ui.setSelection(d.window, ids::kScIdBox, 4); }, ids::kScEnter,
       {"$PKRV08,0*0B\r\n", "$PKRV08,5*0E\r\n"}},
      // A typed id goes out as typed, cut to 31 characters.
      {[](DialogRig& d) { d.rig.ui.typeText(d.window, ids::kScIdBox, std::string(40, '7')); }, ids::kScEnter,
       {"$PKRV08,0*0B\r\n", composeSentence("$PKRV08," + std::string(31, '7'))}},
      {[](DialogRig&) {}, ids::kScExit, {"$PKRV08,0*0B\r\n"}},
      {[](DialogRig&) {}, ids::kCancel, {}},
  };
  for (const Row& row : rows) {
    DialogRig d(WindowId::SingleChannel, singleChannelProcedures);
    EXPECT_EQ(d.rig.ui.items(d.window, ids::kScIdBox).size(), 32u);
    row.use(d);
    d.click(row.button);
    EXPECT_EQ(d.texts(), row.expected);
    EXPECT_EQ(d.host.ended.size(), 1u);
  }
}

TEST(SettingsDialogs, AFailedWriteShowsItsBoxAndTheDialogGoesOn) {
  DialogRig d(WindowId::SingleChannel, singleChannelProcedures);
  d.rig.port->failWritesAfter(0);
  d.click(ids::kScEnter);
  const auto boxes = d.rig.host.boxes();
  ASSERT_EQ(boxes.size(), 2u);  // each of the two sentences
  EXPECT_EQ(boxes[0].text, "Write Command fail! Please Check COM port");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(d.host.ended.size(), 1u);
}

TEST(ComPortSetup, SelectsTheSessionsPortAndRateIgnoringCase) {
  struct Row {
    const char* port;
    const char* baud;
    int portIndex, baudIndex;
  };
  const Row rows[] = {
      {"COM1:", "9600", 0, 1}, {"COM3:", "115200", 2, 5}, {"com0:", "4800", 9, 0}, {"/dev/ttyUSB0", "1200", -1, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.port);
    test::ScriptedRig rig;
    rig.ctx.session.portName.set(row.port);
    rig.ctx.session.baudText.set(row.baud);
    EndRecorder host;
    DialogProcedures p = comPortSetupProcedures(rig.ctx, host);
    rig.ui.openWindow(WindowId::ComPortSetup, initialControls(104));
    p.initialized(WindowId::ComPortSetup);
    EXPECT_EQ(rig.ui.selection(WindowId::ComPortSetup, ids::kComPortBox), row.portIndex);
    EXPECT_EQ(rig.ui.selection(WindowId::ComPortSetup, ids::kComBaudBox), row.baudIndex);
    EXPECT_EQ(rig.ui.items(WindowId::ComPortSetup, ids::kComPortBox).back(), "COM0:");
    EXPECT_EQ(rig.ui.text(WindowId::ComPortSetup, ids::kComStatus), "Not connected");
  }
}

TEST(ComPortSetup, AConnectThatFailsKeepsTheDialogOpenAndDisconnectSaysSo) {
  test::ScriptedRig rig;
  EndRecorder host;
  DialogProcedures p = comPortSetupProcedures(rig.ctx, host);
  const WindowId w = WindowId::ComPortSetup;
  rig.ui.openWindow(w, initialControls(104));
  p.initialized(w);
  rig.ui.typeText(w, ids::kComPortBox, "COM7:");  // no such port in the opener
  // While the start-up update owns the port, nothing is opened.
  rig.ctx.session.autoUpdateRunning = 1;
  p.command(w, ids::kComConnect);
  rig.ctx.session.autoUpdateRunning = 0;
  EXPECT_TRUE(rig.opener.opened().empty());
  p.command(w, ids::kComConnect);
  EXPECT_TRUE(host.ended.empty());
  ASSERT_EQ(rig.host.boxes().size(), 2u);
  EXPECT_EQ(rig.host.boxes()[0].text, kPortBusyText);
  EXPECT_EQ(rig.host.boxes()[1].text, "Fail To Create COM Port");
  p.command(w, ids::kComDisconnect);
  EXPECT_EQ(rig.ui.text(w, ids::kComStatus), "Not connect");
  EXPECT_EQ(rig.ui.text(WindowId::TextPage, ids::kTextPortLabel), "N/A");
  p.command(w, ids::kCancel);
  EXPECT_EQ(host.ended, std::vector<int>{ids::kCancel});
}

TEST(ComPortSetup, ConnectClosesOnSuccessAndWithTheDriverSwitchesItToBinaryFirst) {
  for (int dual : {0, 1}) {
    SCOPED_TRACE(dual);
    test::ScriptedRig rig;
    rig.ctx.session.receiveEntry = rig.ctx.session.displayEntry = [&rig](WorkerControl& c) {
      while (c.checkpoint()) rig.ctx.events.waitForAny({}, 2, &c.cancelToken());
    };
    rig.ctx.session.dualPortActive = dual;
    auto first = std::make_shared<ScriptedPort>(rig.clock);
    first->receive("$GPGGA");
    auto second = std::make_shared<ScriptedPort>(rig.clock);
    second->receive("\x81\xFF");
    rig.opener.add("COM2:", first);
    rig.opener.add("COM2:", second);
    EndRecorder host;
    DialogProcedures p = comPortSetupProcedures(rig.ctx, host);
    const WindowId w = WindowId::ComPortSetup;
    rig.ui.openWindow(w, initialControls(104));
    p.initialized(w);
    rig.ui.setSelection(w, ids::kComPortBox, 1);
    const uint32_t before = rig.clock.tickCount();
    p.command(w, ids::kComConnect);
    EXPECT_EQ(host.ended, std::vector<int>{ids::kOk});
    EXPECT_EQ(rig.ctx.session.connected, 1);
    if (dual) {
      // Opened twice, 3 s apart, with the switch to binary on the first line.
      EXPECT_EQ(rig.opener.opened(), (std::vector<std::string>{"COM2:", "COM2:"}));
      EXPECT_GE(rig.clock.tickCount() - before, 3000u);
      EXPECT_NE(first->writtenText().find("$PKRV11,1,1,7,0*18\r\n"), std::string::npos);
      EXPECT_EQ(rig.ctx.session.protocolMode, ProtocolMode::Vbi);
      EXPECT_EQ(rig.ui.text(w, ids::kComStatus), "Receive VBI");
    } else {
      EXPECT_EQ(rig.opener.opened(), std::vector<std::string>{"COM2:"});
      EXPECT_EQ(rig.ui.text(w, ids::kComStatus), "Receive NMEA");
    }
    disconnectReceiver(rig.ctx);
  }
}

TEST(VbiLogSetting, OffersWhatTheFreeMemoryAllowsAndKeepsTheLastClick) {
  struct Row {
    uint64_t freeBytes;
    std::vector<bool> enabled;  // 10 min, 30 min, 1 h, 2 h
  };
  const Row rows[] = {{0, {false, false, false, false}},
                      {655359, {false, false, false, false}},
                      {655360, {true, false, false, false}},
                      {1u << 20, {true, false, false, false}},
                      {4194304, {true, true, true, false}},
                      {8388608, {true, true, true, true}}};
  for (const Row& row : rows) {
    test::ScriptedRig rig;
    EndRecorder host;
    LogBuffer log;
    DialogProcedures p = vbiLogSettingProcedures(rig.ui, log, [&] { return row.freeBytes; }, host);
    rig.ui.openWindow(WindowId::VbiLogSetting, initialControls(123));
    p.initialized(WindowId::VbiLogSetting);
    for (size_t i = 0; i < kLogSizeChoices.size(); ++i)
      EXPECT_EQ(rig.ui.enabled(WindowId::VbiLogSetting, kLogSizeChoices[i].radio), row.enabled[i]) << row.freeBytes;
  }
  test::ScriptedRig rig;
  EndRecorder host;
  LogBuffer log;
  DialogProcedures p = vbiLogSettingProcedures(rig.ui, log, [] { return uint64_t{1} << 30; }, host);
  p.command(WindowId::VbiLogSetting, ids::kLog30Minutes);
  p.command(WindowId::VbiLogSetting, ids::kLog10Minutes);
  p.command(WindowId::VbiLogSetting, ids::kOk);  // not handled
  EXPECT_TRUE(host.ended.empty());
  p.command(WindowId::VbiLogSetting, ids::kCancel);
  EXPECT_EQ(log.logCapacity, 655360u);
  EXPECT_EQ(host.ended, std::vector<int>{0});
}

}  // namespace
}  // namespace ferrolan
