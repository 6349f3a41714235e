// The simulator as a program on a real pseudo-terminal, seen through the
// program's own port code: NMEA first, then VBI after the switch command.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/context.h"
#include "tests/support/test_support.h"
#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "platform/clock.h"
#include "platform/tty_port.h"
#include "ui/ui_model.h"

using namespace ferrolan;

namespace {

// Runs ferrolan-sim as a child and kills it when the test ends, pass or fail.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2], in[2];
    if (::pipe(out) != 0 || ::pipe(in) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(in[0], 0);
      ::close(out[0]);
      ::close(in[1]);
      std::vector<char*> argv{const_cast<char*>(FERROLAN_SIM_PATH)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(FERROLAN_SIM_PATH, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    stdout_ = ::fdopen(out[0], "r");
    stdin_ = in[1];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_) std::fclose(stdout_);
    if (stdin_ >= 0) ::close(stdin_);
  }
  std::string readLine() {
    char buf[4096];
    if (!stdout_ || !std::fgets(buf, sizeof buf, stdout_)) return {};
    std::string s(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
  }
  void command(const std::string& c) {
    const std::string line = c + "\n";
    if (::write(stdin_, line.data(), line.size()) < 0) ADD_FAILURE() << "control write failed";
  }

 private:
  pid_t pid_ = -1;
  FILE* stdout_ = nullptr;
  int stdin_ = -1;
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
