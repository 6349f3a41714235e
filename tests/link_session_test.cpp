// The serial session on a scripted receiver: open, connect, detect, and the
// byte routines the update procedures use.

#include <atomic>

#include "link/serial_session.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::ScriptedRig;

struct SessionTest : ::testing::Test, ScriptedRig {
  void SetUp() override { ui.openWindow(WindowId::ComPortSetup); }
  void choose(const std::string& portBox, const std::string& baudBox) {
    ui.setText(WindowId::ComPortSetup, ids::kComPortBox, portBox);
    ui.setText(WindowId::ComPortSetup, ids::kComBaudBox, baudBox);
  }
  std::string status() const { return ui.text(WindowId::ComPortSetup, ids::kComStatus); }
  using Labels = std::pair<std::string, std::string>;  // the Text page's port and baud labels
  Labels labels() const { return {ui.text(WindowId::TextPage, ids::kTextPortLabel), ui.text(WindowId::TextPage, ids::kTextBaudLabel)}; }
};

TEST_F(SessionTest, OpenPortAppliesLineSettingsAndTimeouts) {
  opener.add("COM2:", port);
  ASSERT_TRUE(openPort(ctx, "COM2:", 115200));
  EXPECT_EQ(ctx.session.portHandle.get(), port);
  EXPECT_EQ(port->timeouts(), kReceiverTimeouts);
  const LineSettings s = port->lineSettings();
  EXPECT_EQ(s.baud, 115200u);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.stopBits, 1);
  EXPECT_FALSE(s.parityCheck);
  EXPECT_FALSE(s.ctsOutFlow);
  EXPECT_EQ(s.dtr, DtrControl::Enable);
  EXPECT_EQ(s.rts, RtsControl::Handshake);
  EXPECT_FALSE(s.xonXoffIn || s.xonXoffOut);
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(ctx.session.connected, 0);
}

TEST_F(SessionTest, OpenPortReportsEachFailureOnce) {
  EXPECT_FALSE(openPort(ctx, "COM9:", 9600));
  EXPECT_EQ(log(), std::vector<std::string>{"Create COM Port failed..\r\n"});
  EXPECT_FALSE(ctx.session.portHandle.valid());

  struct Case {
    void (ScriptedPort::*fault)(bool);
    const char* text;
  } cases[] = {{&ScriptedPort::failSetTimeouts, "Set CommTimeouts failed..\r\n"},
               {&ScriptedPort::failGetLine, "Get CommState failed..\r\n"},
               {&ScriptedPort::failSetLine, "Set CommState failed..\r\n"}};
  for (const auto& c : cases) {
    ctx.textLog.reset();
    auto p = std::make_shared<ScriptedPort>(clock);
    ((*p).*c.fault)(true);
    opener.add("COM1:", p);
    EXPECT_FALSE(openPort(ctx, "COM1:", 9600));
    EXPECT_EQ(log(), std::vector<std::string>{c.text});
    // The handle stays open after the later failures; the caller closes it.
    EXPECT_EQ(ctx.session.portHandle.get(), p);
  }
}

TEST_F(SessionTest, ConnectDetectsNmeaAndStartsBothWorkers) {
  std::atomic<int> started{0};
  ctx.session.receiveEntry = [&](WorkerControl& ctl) {
    ++started;
    // Parks until stopped, as a worker blocked on the port would.
    ctx.events.waitForAny({}, EventRegistry::kInfinite, &ctl.cancelToken());
  };
  ctx.session.displayEntry = ctx.session.receiveEntry;
  choose("COM3:", "4800");
  port->receive("xx$GPRMC,...");
  opener.add("COM3:", port);
  ctx.textLog.append("old line");
  ui.setProgress(WindowId::TextPage, ids::kTextProgress, 40);

  ASSERT_TRUE(connectReceiver(ctx));
  EXPECT_EQ(status(), "Receive NMEA");
  EXPECT_EQ(ctx.session.portName.get(), "COM3:");
  EXPECT_EQ(ctx.session.baudText.get(), "4800");
  EXPECT_EQ(port->lineSettings().baud, 4800u);
  EXPECT_EQ(labels(), Labels("COM3:", "4800"));
  EXPECT_EQ(ctx.session.connected, 1);
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(ui.progress(WindowId::TextPage, ids::kTextProgress), 0);
  auto rx = ctx.session.receiveThread.get();
  auto disp = ctx.session.displayThread.get();
  ASSERT_TRUE(rx && disp);
  EXPECT_NE(rx, disp);

  ASSERT_TRUE(disconnectReceiver(ctx));
  EXPECT_FALSE(rx->running());
  EXPECT_FALSE(disp->running());
  EXPECT_EQ(started, 2);
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_EQ(labels(), Labels("N/A", "N/A"));
}

TEST_F(SessionTest, ReconnectStopsWorkersClosesAndPausesBeforeReopening) {
  // The first two workers record whether they ran after the port changed hands.
  std::atomic<bool> touchedAfterStop{false};
  std::atomic<int> starts{0};
  ctx.session.receiveEntry = [&](WorkerControl& ctl) {
    const bool firstPair = starts++ < 2;
    while (ctl.checkpoint()) {
      if (firstPair && ctx.session.portHandle.get() != port) touchedAfterStop = true;
      ctx.events.waitForAny({}, 2, &ctl.cancelToken());
    }
  };
  ctx.session.displayEntry = ctx.session.receiveEntry;
  choose("COM1:", "9600");
  port->receive("\x81\xFF");
  opener.add("COM1:", port);
  ASSERT_TRUE(connectReceiver(ctx));
  EXPECT_EQ(status(), "Receive VBI");
  auto firstRx = ctx.session.receiveThread.get();

  auto second = std::make_shared<ScriptedPort>(clock);
  second->receive("$GP");
  choose("COM4:", "38400");
  opener.add("COM4:", second);
  const uint32_t before = clock.tickCount();
  ASSERT_TRUE(connectReceiver(ctx));
  EXPECT_FALSE(firstRx->running());
  EXPECT_GE(clock.tickCount() - before, 3000u);
  EXPECT_EQ(ctx.session.portHandle.get(), second);
  EXPECT_EQ(opener.opened(), (std::vector<std::string>{"COM1:", "COM4:"}));
  disconnectReceiver(ctx);
  EXPECT_EQ(starts, 4);
  EXPECT_FALSE(touchedAfterStop);
}

TEST_F(SessionTest, ConnectFailuresShowMessageBoxesOwnedByTheDialog) {
  choose("COM7:", "9600");
  EXPECT_FALSE(connectReceiver(ctx));
  auto boxes = host.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Fail To Create COM Port");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].owner, WindowId::ComPortSetup);

  struct Case {
    void (ScriptedPort::*fault)(bool);
    const char* baud;
    const char* text;
  } cases[] = {{&ScriptedPort::failSetTimeouts, "9600", "Fail To SetCommTimeouts"},
               {&ScriptedPort::failGetLine, "9600", "Fail To GetCommState"},
               {&ScriptedPort::failSetLine, "9600", "Fail To SetCommState"},
               // Not a number: the line is asked for 0 baud, which it refuses.
               {nullptr, "fast", "Fail To SetCommState"}};
  for (const auto& c : cases) {
    auto p = std::make_shared<ScriptedPort>(clock);
    if (c.fault) ((*p).*c.fault)(true);
    ctx.session.portHandle.reset();
    opener.add("COM7:", p);
    choose("COM7:", c.baud);
    EXPECT_FALSE(connectReceiver(ctx)) << c.text;
    EXPECT_EQ(host.boxes().back().text, c.text);
    EXPECT_EQ(ctx.session.connected, 0);
    EXPECT_EQ(ctx.session.portHandle.get(), p);  // stays open
  }
}

TEST_F(SessionTest, SilentReceiverLeavesConnectedWithoutWorkers) {
  bool ran = false;
  ctx.session.receiveEntry = [&](WorkerControl&) { ran = true; };
  ctx.session.displayEntry = ctx.session.receiveEntry;
  choose("COM2:", "9600");
  opener.add("COM2:", port);
  const uint32_t before = clock.tickCount();
  EXPECT_FALSE(connectReceiver(ctx));
  EXPECT_GE(clock.tickCount() - before, 4000u);
  EXPECT_LT(clock.tickCount() - before, 6000u);
  EXPECT_EQ(status(), "Don't Receive NMEA and VBI!!!");
  EXPECT_EQ(lastLog(), "gpsIsNMEAVBIReceived fail...");
  EXPECT_EQ(ctx.session.connected, 1);
  EXPECT_EQ(labels(), Labels("COM2:", "9600"));
  EXPECT_FALSE(ctx.session.receiveThread.valid());
  EXPECT_FALSE(ran);
}

struct DetectCase {
  const char* name;
  std::string bytes;
  uint32_t delayMs;
  StreamKind expected;
};

// Names the case in test listings, so they stay the same from run to run.
void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name; }

class DetectTest : public ::testing::TestWithParam<DetectCase>, public ScriptedRig {};

TEST_P(DetectTest, Verdict) {
  const auto& c = GetParam();
  port->receive(c.bytes, c.delayMs);
  EXPECT_EQ(detectStream(*port, clock), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DetectTest,
    ::testing::Values(DetectCase{"gp", "$GPGGA,", 0, StreamKind::Nmea},
                      DetectCase{"noise_then_gp", "\x01\x02$GX$GP", 0, StreamKind::Nmea},
                      // The bytes after "$" are consumed even when they hold a new "$".
                      DetectCase{"dollar_in_compare", "$G$GP", 0, StreamKind::None},
                      DetectCase{"other_talker", "$GNRMC,$PKRV200", 0, StreamKind::None},
                      DetectCase{"gp_late_in_window", "$GP", 3500, StreamKind::Nmea},
                      DetectCase{"gp_after_window", "$GP", 4500, StreamKind::None},
                      DetectCase{"vbi", std::string("\x81\xFF\x78\x00", 4), 0, StreamKind::Vbi},
                      // The second 0x81 is consumed as the mismatch, so 0xFF stands alone.
                      DetectCase{"lone_sync", std::string("\x81\x81\xFF", 3), 0, StreamKind::None},
                      DetectCase{"silence", "", 0, StreamKind::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, DetectionGivesUpOnAPauseBetweenTheBytesAfterDollar) {
  port->receive("$G");
  port->receive("P", 1500);  // read time-out in between: a mismatch
  EXPECT_EQ(detectStream(*port, clock), StreamKind::None);
}

TEST_F(SessionTest, ProbeStreamReportsInTheTextLog) {
  EXPECT_FALSE(probeStream(ctx));
  EXPECT_EQ(lastLog(), "COM Port didn't open...");
  attach();
  port->receive("$GP");
  EXPECT_TRUE(probeStream(ctx));
  EXPECT_EQ(lastLog(), "NMEA Received");
  port->receive("\x81\xFF");
  EXPECT_TRUE(probeStream(ctx));
  EXPECT_EQ(lastLog(), "VBI Received");
  EXPECT_FALSE(probeStream(ctx));
  EXPECT_EQ(lastLog(), "NMEA and VBI not Received...");
}

TEST_F(SessionTest, DisconnectWithNothingOpenStillResetsLabels) {
  ui.setText(WindowId::TextPage, ids::kTextPortLabel, "COM1:");
  EXPECT_TRUE(disconnectReceiver(ctx));
  EXPECT_EQ(labels(), Labels("N/A", "N/A"));
}

TEST_F(SessionTest, ByteWritersReportClosedPortAndWriteFailure) {
  writeByte(ctx, 0x1B);
  writeEot(ctx);
  EXPECT_FALSE(waitForLoaderReady(ctx));
  EXPECT_EQ(log(), (std::vector<std::string>{"COM Port didn't open..", "COM Port didn't open..",
                                             "COM Port didn't open..\r\n"}));
  attach();
  ctx.textLog.reset();
  writeByte(ctx, 0x20);
  writeEot(ctx);
  EXPECT_EQ(port->writeCalls(), (std::vector<ScriptedPort::Bytes>{{0x20}, {0x04}}));
  port->failWritesAfter(0);
  writeEot(ctx);
  EXPECT_EQ(log(), std::vector<std::string>{"Write COM Port failed.."});
}

TEST_F(SessionTest, LoaderReadyCountsScatteredZBytes) {
  attach();
  port->receive("aZ");
  port->receive("xxZ", 2000);
  port->receive("Q", 3000);
  port->receive("Z", 5000);
  const uint32_t before = clock.tickCount();
  EXPECT_TRUE(waitForLoaderReady(ctx));
  EXPECT_GE(clock.tickCount() - before, 10000u);
  EXPECT_TRUE(log().empty());
}

TEST_F(SessionTest, LoaderReadyGivesUpAfterSixteenSeconds) {
  attach();
  port->receive("Z");
  port->receive("Z", 16500);  // too late
  const uint32_t before = clock.tickCount();
  EXPECT_FALSE(waitForLoaderReady(ctx));
  const uint32_t spent = clock.tickCount() - before;
  EXPECT_GE(spent, 16000u);
  EXPECT_LT(spent, 17100u);
}

TEST_F(SessionTest, HungUpLineEndsEveryWaitByItsOwnLimit) {
  attach();
  port->hangUp();
  EXPECT_FALSE(waitForLoaderReady(ctx));
  EXPECT_FALSE(probeStream(ctx));
  writeByte(ctx, 1);
  EXPECT_EQ(lastLog(), "Write COM Port failed..");
}

TEST_F(SessionTest, ConnectWithoutRegisteredWorkersSaysSoAndLetsGo) {
  choose("COM3:", "9600");
  port->receive("$GPRMC,...");
  opener.add("COM3:", port);
  EXPECT_FALSE(connectReceiver(ctx));
  EXPECT_EQ(lastLog(), kNoReceiveThreadText);
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_FALSE(ctx.session.receiveThread.valid());
}

// A lost line starts the reconnect only while the last thing the user did
// was a connect that stood: never after a Disconnect or a failed Connect.
TEST(Reconnect, StartsOnlyAfterAConnectByHandThatStands) {
  enum Step { ConnectCom3, ConnectCom8, Disconnect };
  const struct {
    const char* name;
    std::vector<Step> steps;
    bool starts;
  } rows[] = {
      {"nothing connected yet", {}, false},
      {"connected", {ConnectCom3}, true},
      {"connected, then disconnected", {ConnectCom3, Disconnect}, false},
      {"connected, then a connect that failed", {ConnectCom3, ConnectCom8}, false},
      {"disconnected, then connected again", {ConnectCom3, Disconnect, ConnectCom3}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedRig r;
    std::atomic<int> runs{0};
    r.ctx.session.receiveEntry = r.ctx.session.displayEntry = [](WorkerControl&) {};
    r.ctx.session.reconnectEntry = [&](WorkerControl&) { ++runs; };
    r.ui.openWindow(WindowId::ComPortSetup);
    for (Step step : row.steps) {
      auto port = std::make_shared<ScriptedPort>(r.clock);
      port->receive("$GPRMC,...");
      r.opener.add("COM3:", port);
      r.ui.setText(WindowId::ComPortSetup, ids::kComPortBox, step == ConnectCom8 ? "COM8:" : "COM3:");
      r.ui.setText(WindowId::ComPortSetup, ids::kComBaudBox, "9600");
      if (step == Disconnect)
        disconnectReceiver(r.ctx);
      else
        EXPECT_EQ(connectReceiver(r.ctx), step == ConnectCom3);
    }
    startReconnect(r.ctx.session);
    const auto worker = r.ctx.session.reconnectThread.get();
    EXPECT_EQ(worker != nullptr, row.starts);
    if (worker) worker->wait();
    EXPECT_EQ(runs, row.starts ? 1 : 0);
    stopReconnect(r.ctx.session);
    startReconnect(r.ctx.session);
    EXPECT_FALSE(r.ctx.session.reconnectThread.valid()) << "after the shutdown's stop";
  }
}

// A connect again keeps the TextLog and the setup box, and leaves nothing
// behind when the stream is not there.
TEST_F(SessionTest, ConnectAgainKeepsTheLogAndLetsGoOfASilentPort) {
  ctx.session.receiveEntry = ctx.session.displayEntry = [](WorkerControl&) {};
  ctx.session.portName.set("COM3:");
  ctx.session.baudText.set("4800");
  opener.add("COM3:", port);
  ctx.textLog.append("COM port lost");
  EXPECT_EQ(connectSession(ctx, ConnectKind::Again), ConnectResult::NoStream);
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_EQ(labels(), Labels("N/A", "N/A"));

  auto again = std::make_shared<ScriptedPort>(clock);
  opener.add("COM3:", again);
  again->receive("$GPRMC,...");
  EXPECT_EQ(connectSession(ctx, ConnectKind::Again), ConnectResult::Connected);
  EXPECT_EQ(again->lineSettings().baud, 4800u);
  EXPECT_EQ(ctx.session.connected, 1);
  EXPECT_EQ(labels(), Labels("COM3:", "4800"));
  EXPECT_EQ(log(), std::vector<std::string>{"COM port lost"});
  EXPECT_EQ(status(), "");
  disconnectReceiver(ctx);
}

}  // namespace
}  // namespace ferrolan
