// The command thread on a scripted port: which command each event runs, in
// which order several are served, and the restart guard.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/wiring.h"
#include "link/command_sentences.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

struct CommandRig {
  test::ScriptedRig rig;
  std::shared_ptr<Worker> thread = std::make_shared<Worker>();

  CommandRig() {
    rig.ui.openWindow(WindowId::InfoPage, initialControls(106));
    rig.attach();
  }
  ~CommandRig() { thread->stop(); }
  void signal(std::initializer_list<const char*> names) {
    for (const char* n : names) rig.ctx.openEvents.open(n)->set();
  }
  void start() {
    registerCommandThread(rig.ctx);
    thread->start(rig.ctx.hooks.commandThread);
  }
  // Until the condition holds; a broken build gives up after a while, and
  // the test's expectations then tell what is missing.
  bool until(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  }
  bool logged(const std::string& line) {
    const auto l = rig.log();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
};

TEST(CommandThread, EachEventRunsItsCommand) {
  struct Row {
    const char* event;
    std::string wire;      // what reaches the receiver first
    const char* logLine;   // a line the command leaves, or ""
  };
  const Row rows[] = {
      {"gpsEvtHotStart", "$PKRV02,0*01\r\n", "Send hot-start command.\r\n"},
      {"gpsEvtWarmStart", "$PKRV02,48*3D\r\n", "Send warm-start command.\r\n"},
      {"gpsEvtColdStart", "$PKRV02,58*3C\r\n", "Send cold-start command.\r\n"},
      {"gpsEvtFWVersion", "$PKRV14,8*0E\r\n", "Failed To Get Version \r\n"},
      {"gpsEvtToNMEA", "$PKRV11,1,1,2,2,0*03\r\n", ""},
      {"gpsEvtToVBI", "$PKRV11,1,1,7,0*18\r\n", ""},
      {"gpsEvtReset", "$PKRV11,1,0,1,2,0*01\r\n", "Not in this build: the long-term ephemeris upload"},
      // The updates from the menu ask for their file first; without one
      // nothing reaches the receiver.
      {"gpsEvtFWUpdate", "", "No file chosen: nothing was sent."},
      {"gpsEvtFKUpdate", "", "No file chosen: nothing was sent."},
      {"gpsEvtSPUpdate", "", "No file chosen: nothing was sent."},
      {"gpsEvtAllUpdate", "", "No file chosen: nothing was sent."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    CommandRig c;
    c.rig.ctx.session.protocolMode = std::string(row.event) == "gpsEvtToNMEA" ? ProtocolMode::Vbi : ProtocolMode::Nmea;
    c.start();
    c.signal({row.event});
    if (*row.logLine) {
      EXPECT_TRUE(c.until([&] { return c.logged(row.logLine); }));
    }
    EXPECT_TRUE(c.until([&] { return c.rig.port->writtenText().size() >= row.wire.size(); }));
    EXPECT_EQ(c.rig.port->writtenText().substr(0, row.wire.size()), row.wire);
  }
}

TEST(CommandThread, ResetRunsTheUploadBetweenPrologueAndEpilogueAndKeepsItsLine) {
  CommandRig c;
  c.rig.ctx.textLog.append("before");
  std::atomic<size_t> writesBefore{0};
  c.rig.ctx.commandProcedures.ephemerisUpload = [&] {
    writesBefore = c.rig.port->writeCalls().size();
    c.rig.ctx.textLog.append("upload line");
  };
  c.start();
  c.signal({"gpsEvtReset"});
  // The epilogue: row 6, ten bytes twice, one write each.
  ASSERT_TRUE(c.until([&] { return writesBefore > 0 && c.rig.port->writeCalls().size() == writesBefore + 20; }));
  EXPECT_EQ(c.rig.port->writtenText().substr(0, 22), "$PKRV11,1,0,1,2,0*01\r\n");
  EXPECT_EQ(c.rig.port->writeCalls()[writesBefore + 8], ScriptedPort::Bytes{0x21});
  EXPECT_EQ(c.rig.log(), (std::vector<std::string>{"upload line", "Send Cmd.. Wait 10 seconds..."}));
}

TEST(CommandThread, OrderGuardAndModeSwitches) {
  // Signalled together: the version query (index 5) before the switch (9).
  CommandRig c;
  c.signal({"gpsEvtToVBI", "gpsEvtFWVersion"});
  c.start();
  ASSERT_TRUE(c.until([&] { return c.rig.ctx.session.protocolMode == ProtocolMode::Vbi; }));
  const std::string wire = c.rig.port->writtenText();
  EXPECT_LT(wire.find("$PKRV14,8*0E"), wire.find("$PKRV11,1,1,7,0*18"));

  // Switched although unacknowledged; the line starts again at the next "$".
  c.rig.ctx.dataPath.lineSync.sentenceSynced = true;
  c.signal({"gpsEvtToNMEA"});
  ASSERT_TRUE(c.until([&] { return c.rig.ctx.session.protocolMode == ProtocolMode::Nmea; }));
  EXPECT_EQ(c.rig.ctx.dataPath.lineSync.sentenceSynced, 0);

  // A restart with no port: "N/A 0s" after "Wait...", and the next one is
  // dropped until Stop clears the guard.
  CommandRig closed;
  closed.rig.ctx.session.portHandle.reset();
  closed.start();
  closed.signal({"gpsEvtHotStart"});
  ASSERT_TRUE(closed.until([&] { return closed.logged("gpsHotStart - COM Port didn't open\r\n"); }));
  EXPECT_EQ(closed.rig.ui.text(WindowId::InfoPage, ids::kInfoTtff), "N/A 0s");
  EXPECT_EQ(closed.rig.ctx.session.restartKind.load(), RestartKind::Hot);
  closed.rig.ctx.textLog.reset();
  closed.signal({"gpsEvtColdStart"});
  closed.signal({"gpsEvtStopLog"});  // served after the restart event
  ASSERT_TRUE(closed.until([&] { return closed.rig.ui.text(WindowId::TextPage, ids::kTextStatus) == "    "; }));
  EXPECT_TRUE(closed.rig.log().empty()) << "the second restart was dropped";
  EXPECT_EQ(closed.rig.ctx.session.restartKind.load(), RestartKind::Hot);
}

}  // namespace
}  // namespace ferrolan
