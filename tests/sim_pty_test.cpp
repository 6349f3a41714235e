// The simulator as a program on a real pseudo-terminal, seen through the
// program's own port code: NMEA first, then VBI after the switch command.
#include <gtest/gtest.h>

#include <string>

#include "app/context.h"
#include "tests/support/test_support.h"
#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/tty_port.h"
#include "ui/ui_model.h"

using namespace ferrolan;

namespace {

// ferrolan-sim as a child, stopped when the test ends, pass or fail.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), FERROLAN_SIM_PATH);
    ChildOptions o;
    o.stdinPipe = true;
    started_ = child_.start(args, o);
  }
  std::string readLine() {
    std::string line;
    if (!started_ || !child_.readLine(line, 10000)) return {};
    return line;
  }
  void command(const std::string& c) {
    if (!child_.writeLine(c)) ADD_FAILURE() << "control write failed";
  }

 private:
  ChildProcess child_;
  bool started_ = false;
};

std::string field(const std::string& state, const std::string& key) {
  const size_t p = state.find(" " + key + "=");
  if (p == std::string::npos) return {};
  const size_t start = p + key.size() + 2;
  return state.substr(start, state.find(' ', start) - start);
}

}  // namespace

TEST(SimOnPty, ProbeSeesNmeaThenVbiAfterTheSwitchCommand) {
  SimProcess sim({"--exit-after", "60", "--version-major", "3", "--version-minor", "17"});
  const std::string path = sim.readLine();
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;

  test::LiveRig rig;
  Context& ctx = rig.ctx;
  ctx.session.portName.set(path);
  ASSERT_TRUE(openPort(ctx, path, 9600));
  EXPECT_TRUE(probeStream(ctx));
  ASSERT_FALSE(ctx.textLog.lines().empty());
  EXPECT_EQ(ctx.textLog.lines().back(), "NMEA Received");

  // The switch sentence is acknowledged in NMEA, then frames follow.
  EXPECT_TRUE(gpsSendNMEACommand(ctx, rows::kToVbi));
  EXPECT_TRUE(probeStream(ctx));
  EXPECT_EQ(ctx.textLog.lines().back(), "VBI Received");

  sim.command("state");
  const std::string state = sim.readLine();
  EXPECT_EQ(field(state, "mode"), "firmware-vbi") << state;
  EXPECT_EQ(field(state, "line-baud"), "9600") << state;
  EXPECT_EQ(field(state, "connected"), "yes") << state;
  EXPECT_EQ(field(state, "commands"), "1") << state;
  EXPECT_EQ(field(state, "duplicates"), "1") << state;
}

TEST(SimOnPty, AMismatchedRateShowsNoStreamAndAReopenPowerCyclesIntoTheKernel) {
  SimProcess sim({"--exit-after", "60", "--power-cycle-on-reopen", "--kernel-wait", "20"});
  const std::string path = sim.readLine();
  ASSERT_FALSE(path.empty());
  test::LiveRig rig;
  Context& ctx = rig.ctx;
  ctx.session.portName.set(path);

  // The receiver talks at 9600; a port at 115200 reads only noise.
  ASSERT_TRUE(openPort(ctx, path, 115200));
  EXPECT_FALSE(probeStream(ctx));
  EXPECT_EQ(ctx.textLog.lines().back(), "NMEA and VBI not Received...");

  // Away for more than a second, then back at 115200: the "user" has
  // power-cycled the device and its flash kernel announces itself.
  ctx.session.portHandle.reset();
  rig.clock.sleepMs(1500);
  ASSERT_TRUE(openPort(ctx, path, 115200));
  EXPECT_TRUE(waitForLoaderReady(ctx));
  sim.command("state");
  EXPECT_EQ(field(sim.readLine(), "mode"), "flash-kernel");
}
