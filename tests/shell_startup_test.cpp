// Start-up's platform detection and layout table, the Text page's
// procedures, the shutdown sequence and the console's rendering.

#include <atomic>
#include <thread>

#include "shell/console_front_end.h"
#include "shell/shutdown.h"
#include "shell/startup.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

struct DetectCase {
  const char* name;
  PlatformIdentity identity;
  std::optional<uint32_t> angle;  // nothing: no rotation key
  bool keyWithoutAngle;
  Layout expected;
};

void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name; }

class PlatformTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(PlatformTest, LayoutFollowsPlatformAndRotation) {
  const DetectCase& c = GetParam();
  test::ScriptedRig rig;
  if (c.angle) rig.ctx.registry.setDword("System\\GDI\\Rotation", "Angle", *c.angle);
  if (c.keyWithoutAngle) rig.ctx.registry.createKey("System\\GDI\\Rotation");
  const SheetDescription sheet = startUp(rig.ctx, {3, c.identity});
  EXPECT_EQ(sheet.layout, c.expected);
  const int expected[3][3] = {{110, 106, 108}, {119, 118, 115}, {122, 120, 121}};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sheet.templates[i], expected[static_cast<int>(c.expected)][i]);
  EXPECT_EQ(sheet.caption, "Auto Update FW");
  EXPECT_EQ(sheet.pageCount, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, PlatformTest,
    ::testing::Values(
        DetectCase{"linux_desktop", {false, std::nullopt}, std::nullopt, false, Layout::Generic},
        DetectCase{"linux_ignores_rotation", {false, "PocketPC"}, 90, false, Layout::Generic},
        DetectCase{"generic_ce", {true, "CEPC"}, std::nullopt, false, Layout::Generic},
        DetectCase{"ce_query_fails", {true, std::nullopt}, std::nullopt, false, Layout::Generic},
        DetectCase{"pocket_pc_no_key", {true, "PocketPC"}, std::nullopt, false, Layout::PocketPortrait},
        DetectCase{"palm_pc2_no_key", {true, "Palm PC2"}, std::nullopt, false, Layout::PocketPortrait},
        DetectCase{"pocket_pc_case_matters", {true, "pocketpc"}, std::nullopt, false, Layout::Generic},
        DetectCase{"pocket_pc_key_without_angle", {true, "PocketPC"}, std::nullopt, true, Layout::PocketLandscape},
        DetectCase{"angle_0", {true, "PocketPC"}, 0, false, Layout::PocketPortrait},
        DetectCase{"angle_180", {true, "PocketPC"}, 180, false, Layout::PocketPortrait},
        DetectCase{"angle_90", {true, "PocketPC"}, 90, false, Layout::PocketLandscape},
        DetectCase{"angle_270", {true, "PocketPC"}, 270, false, Layout::PocketLandscape},
        // Only the low byte counts: 256 reads as 0.
        DetectCase{"angle_256", {true, "PocketPC"}, 256, false, Layout::PocketPortrait}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, OnePageByDefaultAndTheConfigurationIsRead) {
  test::ScriptedRig rig;
  const SheetDescription sheet = startUp(rig.ctx, {});
  EXPECT_EQ(sheet.pageCount, 1);
  EXPECT_EQ(rig.ctx.app.appInstance, 1);
  // With no card, the configuration reader's complaint is at the top of the log.
  ASSERT_FALSE(rig.log().empty());
  EXPECT_EQ(rig.log().front(), "Can't Open Ferrolan.ini !");
}

TEST(TextPage, CreationSetsTheExtentAndStartsItsWorkerCloseShutsDown) {
  test::ScriptedRig rig;
  int quitWith = -1;
  rig.ctx.app.postQuit = [&](int code) { quitWith = code; };
  PageProcedures p = makePageProcedures(rig.ctx);
  p.created(WindowId::TextPage);
  ASSERT_TRUE(rig.ctx.app.autoUpdateThread.valid());
  rig.ctx.app.autoUpdateThread.get()->wait();
  // The worker is the unattended update: here it finds no port.
  EXPECT_EQ(rig.lastLog(), "COM port open Failed!  ");
  EXPECT_EQ(rig.ui.control(WindowId::TextPage, ids::kTextLog)->horizontalExtent, 500);
  rig.attach();
  p.command(WindowId::TextPage, 7);  // not OK or Cancel: nothing
  EXPECT_TRUE(rig.ctx.session.portHandle.valid());
  p.command(WindowId::TextPage, ids::kCancel);
  EXPECT_FALSE(rig.ctx.session.portHandle.valid());
  EXPECT_EQ(quitWith, 0);

  rig.ctx.app.postQuit = nullptr;
  p.closed(WindowId::TextPage);
  EXPECT_EQ(rig.lastLog(), kNoQuitText);
}

TEST(Shutdown, ClosesEverythingInOrderAndIsHarmlessTwice) {
  test::ScriptedRig rig;
  Context& ctx = rig.ctx;
  std::vector<std::string> order;
  ctx.hooks.closeLogAtExit = [&] { order.push_back("log"); };
  ctx.hooks.closeDriverHandles = [&] { order.push_back("drivers"); };
  auto parked = [](Context&, WorkerControl& ctl) {
    while (ctl.checkpoint()) ctl.cancelToken().cancelled();
  };
  for (auto* h : {&ctx.session.receiveThread, &ctx.session.displayThread, &ctx.session.commandThread,
                  &ctx.app.updateThread}) {
    auto w = std::make_shared<Worker>();
    w->start([&ctx, parked](WorkerControl& ctl) { parked(ctx, ctl); });
    h->set(w);
  }
  auto rx = ctx.session.receiveThread.get();
  rig.attach();
  ctx.session.connected = true;
  ctx.update.updateFile.set(std::make_shared<UpdateFile>(std::make_unique<std::istringstream>("x"), 1));
  for (std::string_view name : kShutdownEventOrder) ctx.openEvents.open(std::string(name));
  ASSERT_EQ(std::size(kShutdownEventOrder), 26u);

  runShutdown(ctx);
  EXPECT_EQ(order, (std::vector<std::string>{"log", "drivers"}));
  EXPECT_FALSE(rx->running());
  EXPECT_FALSE(ctx.session.receiveThread.valid() || ctx.session.displayThread.valid() ||
               ctx.session.commandThread.valid() || ctx.app.updateThread.valid());
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_TRUE(rig.port->closed());  // not merely dropped: other copies see it closed
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_FALSE(ctx.update.updateFile.valid());
  for (std::string_view name : kShutdownEventOrder) EXPECT_FALSE(ctx.openEvents.get(std::string(name))) << name;

  ctx.session.connected = true;  // nothing open any more: the second run leaves this alone
  runShutdown(ctx);
  EXPECT_EQ(ctx.session.connected, 1);
}

TEST(Console, OneLinePerTextLogLine) {
  EXPECT_EQ(consoleLine("Create COM Port failed..\r\n"), "Create COM Port failed..");
  EXPECT_EQ(consoleLine("Update Failed!  "), "Update Failed!  ");
  EXPECT_EQ(consoleLine("menu\r\n1. firmware\r\n\r\n"), "menu  1. firmware  ");
  EXPECT_EQ(consoleLine(std::string("a\x01\x1b" "b", 4)), "a..b");
}

TEST(Console, ProgressBarFitsAndEstimates) {
  const std::string half = renderProgressBar(50, 31, 60);
  EXPECT_EQ(half.size(), 59u);
  EXPECT_NE(half.find("  50%  0:31 left"), std::string::npos);
  const std::string full = renderProgressBar(102, -1, 40);  // a position above 100 shows full
  EXPECT_EQ(full.find('-'), std::string::npos);
  EXPECT_NE(full.find("100%"), std::string::npos);
  EXPECT_EQ(renderProgressBar(-5, -1, 5).find('#'), std::string::npos);  // never narrower than 10
}

TEST(Console, PrintsLogAndStatusAndDrawsProgressOnlyWhenAsked) {
  test::ScriptedRig rig;
  char* outBuf = nullptr;
  size_t outLen = 0;
  char* errBuf = nullptr;
  size_t errLen = 0;
  std::FILE* out = open_memstream(&outBuf, &outLen);
  std::FILE* err = open_memstream(&errBuf, &errLen);
  {
    ConsoleFrontEnd console(rig.ui, rig.clock, out, err, true, 60);
    rig.ctx.textLog.append("Wait Xmodem NAK..");
    rig.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
    rig.clock.advance(10000);
    rig.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 50);
    rig.ui.setText(WindowId::TextPage, ids::kTextStatus, "OK");
    rig.ui.setText(WindowId::TextPage, ids::kTextPortLabel, "COM1:");  // not printed
    EXPECT_EQ(console.status(), "OK");
  }
  std::fclose(out);
  std::fclose(err);
  EXPECT_EQ(std::string(outBuf, outLen), "Wait Xmodem NAK..\nOK\n");
  const std::string bar(errBuf, errLen);
  EXPECT_NE(bar.find(" 50%  0:10 left"), std::string::npos);
  std::free(outBuf);
  std::free(errBuf);
}


TEST(ToolPages, CreatingInfoOrSkyNamesEachEntryNoSubsystemRegistered) {
  for (WindowId page : {WindowId::InfoPage, WindowId::SkyPage}) {
    test::ScriptedRig rig;
    PageProcedures p = makePageProcedures(rig.ctx);
    p.created(page);
    EXPECT_EQ(rig.log(), (std::vector<std::string>{
                             "Not in this build: command thread", "Not in this build: receive thread",
                             "Not in this build: display thread", "Not in this build: reconnect",
                             "Not in this build: satellite display clearing", "Not in this build: log closing at exit",
                             "Not in this build: driver handles closing", "Not in this build: fix display (GSA)",
                             "Not in this build: satellite display (GSV)",
                             "Not in this build: time and position display (RMC)",
                             "Not in this build: SV measurements display", "Not in this build: PVT solution display",
                             "Not in this build: stream logging"}));
    // Once per run: the other page says nothing more.
    rig.ctx.textLog.reset();
    p.created(page == WindowId::InfoPage ? WindowId::SkyPage : WindowId::InfoPage);
    EXPECT_TRUE(rig.log().empty());
    test::ScriptedRig full;
    full.ctx.session.receiveEntry = full.ctx.session.displayEntry = full.ctx.session.reconnectEntry =
        full.ctx.hooks.commandThread = [](WorkerControl&) {};
    full.ctx.session.clearSatelliteDisplay = full.ctx.hooks.closeLogAtExit = full.ctx.hooks.closeDriverHandles = [] {};
    for (const RefreshedEvent& r : kRefreshedEvents) full.ctx.dataPath.refresh[static_cast<size_t>(r.event)] = [] {};
    struct NoLog final : StreamLog {
      bool writeLine(std::string_view) override { return false; }
      bool feedByte(uint8_t) override { return false; }
      int fillPercent() override { return 0; }
      void lineLost() override {}
    } noLog;
    full.ctx.dataPath.streamLog = &noLog;
    makePageProcedures(full.ctx).created(page);
    EXPECT_TRUE(full.log().empty());
  }
}

TEST(Console, PrintsTheLogFromItsFirstLineEachLineOnce) {
  // A console that starts while a writer is busy: what the list held, then
  // the changes, with nothing twice and nothing missing.
  for (int run = 0; run < 20; ++run) {
    test::ScriptedRig rig;
    for (int i = 0; i < 50; ++i) rig.ctx.textLog.append(std::to_string(i));
    char* outBuf = nullptr;
    size_t outLen = 0;
    std::FILE* out = open_memstream(&outBuf, &outLen);
    std::thread writer([&] {
      for (int i = 50; i < 400; ++i) rig.ctx.textLog.append(std::to_string(i));
    });
    {
      ConsoleFrontEnd console(rig.ui, rig.clock, out, out, false, 80);
      writer.join();
    }
    std::fclose(out);
    std::string expected;
    for (int i = 0; i < 400; ++i) expected += std::to_string(i) + "\n";
    ASSERT_EQ(std::string(outBuf, outLen), expected) << "run " << run;
    std::free(outBuf);
  }
}

}  // namespace
}  // namespace ferrolan
