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
  void workers(const WorkerEntry& both) { ctx.session.receiveEntry = ctx.session.displayEntry = both; }
  // The next open of `name` gets `p` (a new port if none), with `bytes` waiting.
  std::shared_ptr<ScriptedPort> portOn(const std::string& name, std::string_view bytes = "",
                                       std::shared_ptr<ScriptedPort> p = nullptr) {
    if (!p) p = std::make_shared<ScriptedPort>(clock);
    p->receive(bytes);
    opener.add(name, p);
    return p;
  }
  using Labels = std::pair<std::string, std::string>;  // the Text page's port and baud labels
  Labels labels() const {
    return {ui.text(WindowId::TextPage, ids::kTextPortLabel), ui.text(WindowId::TextPage, ids::kTextBaudLabel)};
  }
};

TEST_F(SessionTest, OpenPortAppliesLineSettingsAndTimeouts) {
  opener.add("COM2:", port);
  ASSERT_TRUE(openPort(ctx, "COM2:", 115200));
  EXPECT_EQ(ctx.session.portHandle.get(), port);
  EXPECT_EQ(port->timeouts(), kReceiverTimeouts);
  EXPECT_EQ(port->lineSettings(), (LineSettings{.baud = 115200, .dataBits = 8, .stopBits = 1, .parityCheck = false,
                                                 .parity = 0, .ctsOutFlow = false, .dtr = DtrControl::Enable,
                                                 .rts = RtsControl::Handshake, .xonXoffOut = false, .xonXoffIn = false}));
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(ctx.session.connected, 0);
}

// openPort logs each failure once; Connect shows it once, in a box the dialog owns.
TEST_F(SessionTest, OpenAndConnectReportEachFailureOnce) {
  const struct {
    void (ScriptedPort::*fault)(bool);  // none: there is no such port
    const char* logText;
    const char* boxText;
  } cases[] = {{nullptr, "Create COM Port failed..\r\n", "Fail To Create COM Port"},
               {&ScriptedPort::failSetTimeouts, "Set CommTimeouts failed..\r\n", "Fail To SetCommTimeouts"},
               {&ScriptedPort::failGetLine, "Get CommState failed..\r\n", "Fail To GetCommState"},
               {&ScriptedPort::failSetLine, "Set CommState failed..\r\n", "Fail To SetCommState"}};
  for (const auto& c : cases) {
    for (const bool connect : {false, true}) {
      SCOPED_TRACE(std::string(c.boxText) + (connect ? ", connecting" : ", opening"));
      ctx.textLog.reset();
      ctx.session.portHandle.reset();
      const auto p = c.fault ? portOn("COM7:") : nullptr;
      if (p) ((*p).*c.fault)(true);
      const size_t boxes = host.boxes().size();
      if (connect) {
        choose("COM7:", "9600");
        EXPECT_FALSE(connectReceiver(ctx));
        ASSERT_EQ(host.boxes().size(), boxes + 1);
        const auto box = host.boxes().back();
        EXPECT_EQ(box.text, c.boxText);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.owner, WindowId::ComPortSetup);
        EXPECT_EQ(ctx.session.connected, 0);
      } else {
        EXPECT_FALSE(openPort(ctx, "COM7:", 9600));
        EXPECT_EQ(log(), std::vector<std::string>{c.logText});
      }
      // The handle stays open after the later failures; the caller closes it.
      EXPECT_EQ(ctx.session.portHandle.get(), p);
    }
  }
  // Not a number: the line is asked for 0 baud, which it refuses.
  ctx.session.portHandle.reset();
  const auto p = portOn("COM7:");
  choose("COM7:", "fast");
  EXPECT_FALSE(connectReceiver(ctx));
  EXPECT_EQ(host.boxes().back().text, "Fail To SetCommState");
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_EQ(ctx.session.portHandle.get(), p);
}

TEST_F(SessionTest, ConnectDetectsNmeaAndStartsBothWorkers) {
  std::atomic<int> started{0};
  workers([&](WorkerControl& ctl) {
    ++started;
    // Parks until stopped, as a worker blocked on the port would.
    ctx.events.waitForAny({}, EventRegistry::kInfinite, &ctl.cancelToken());
  });
  choose("COM3:", "4800");
  portOn("COM3:", "xx$GPRMC,...", port);
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
  workers([&](WorkerControl& ctl) {
    const bool firstPair = starts++ < 2;
    while (ctl.checkpoint()) {
      if (firstPair && ctx.session.portHandle.get() != port) touchedAfterStop = true;
      ctx.events.waitForAny({}, 2, &ctl.cancelToken());
    }
  });
  choose("COM1:", "9600");
  portOn("COM1:", "\x81\xFF", port);
  ASSERT_TRUE(connectReceiver(ctx));
  EXPECT_EQ(status(), "Receive VBI");
  auto firstRx = ctx.session.receiveThread.get();

  auto second = portOn("COM4:", "$GP");
  choose("COM4:", "38400");
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

TEST_F(SessionTest, SilentReceiverLeavesConnectedWithoutWorkers) {
  bool ran = false;
  workers([&](WorkerControl&) { ran = true; });
  choose("COM2:", "9600");
  portOn("COM2:", "", port);
  const uint32_t before = clock.tickCount();
  EXPECT_FALSE(connectReceiver(ctx));
  const uint32_t spent = clock.tickCount() - before;
  EXPECT_TRUE(spent >= 4000u && spent < 6000u) << spent;
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
  std::string later = "";  // bytes after a further second and a half
};

// Names the case in test listings, so they stay the same from run to run.
void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name; }

class DetectTest : public ::testing::TestWithParam<DetectCase>, public ScriptedRig {};

TEST_P(DetectTest, Verdict) {
  const auto& c = GetParam();
  port->receive(c.bytes, c.delayMs);
  if (!c.later.empty()) port->receive(c.later, 1500);
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
                      DetectCase{"silence", "", 0, StreamKind::None},
                      // A read time-out between the bytes after "$" is a mismatch.
                      DetectCase{"pause_after_dollar", "$G", 0, StreamKind::None, "P"}),
    [](const auto& info) { return std::string(info.param.name); });

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

// Three "Z" bytes, however scattered, within sixteen seconds.
TEST(LoaderReady, CountsScatteredZBytesAndGivesUpAfterSixteenSeconds) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, uint32_t>> script;  // bytes, after a delay
    bool ready;
    uint32_t minMs, maxMs;
  } rows[] = {
      {"scattered", {{"aZ", 0}, {"xxZ", 2000}, {"Q", 3000}, {"Z", 5000}}, true, 10000, UINT32_MAX},
      {"the third too late", {{"Z", 0}, {"Z", 16500}}, false, 16000, 17100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedRig r;
    r.attach();
    for (const auto& [bytes, delay] : row.script) r.port->receive(bytes, delay);
    const uint32_t before = r.clock.tickCount();
    EXPECT_EQ(waitForLoaderReady(r.ctx), row.ready);
    const uint32_t spent = r.clock.tickCount() - before;
    EXPECT_GE(spent, row.minMs);
    EXPECT_LT(spent, row.maxMs);
    if (row.ready) { EXPECT_TRUE(r.log().empty()); }
  }
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
  portOn("COM3:", "$GPRMC,...", port);
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
  workers([](WorkerControl&) {});
  ctx.session.portName.set("COM3:");
  ctx.session.baudText.set("4800");
  portOn("COM3:", "", port);
  ctx.textLog.append("COM port lost");
  EXPECT_EQ(connectSession(ctx, ConnectKind::Again), ConnectResult::NoStream);
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_EQ(labels(), Labels("N/A", "N/A"));

  auto again = portOn("COM3:", "$GPRMC,...");
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
