// The real program, `ferrolan --console`, against ferrolan-sim on a real
// pseudo-terminal: what a user runs for an unattended update.

#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "shell/demo.h"
#include "tests/support/files.h"

namespace ferrolan {
using test::slurp;
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int exitCode = -1;
  std::vector<std::string> lines;
  bool has(const std::string& l) const { return std::find(lines.begin(), lines.end(), l) != lines.end(); }
};

struct ProgramTest : ::testing::Test {
  fs::path root;
  ChildProcess sim;

  void SetUp() override {
    root = makeTempDir("ferrolan-prog-");
    ASSERT_TRUE(card().makeFolders());
    fs::create_directories(root / "store");
  }
  void TearDown() override {
    sim.stop();
    removeTree(root.string());
  }
  std::string firmware(const std::string& name, size_t size) {
    std::string bytes = demoFirmware(size);
    bytes[0] = name[3];  // tell the files apart
    EXPECT_TRUE(card().writeCardFile(name, bytes));
    return bytes;
  }
  DeviceRootBuilder card() { return DeviceRootBuilder(root.string()); }
  void config(const std::string& com = "COM1") {
    EXPECT_TRUE(card().writeAutoUpdateIni({"FW_P1.bin", "FW_P2.bin", com, "9600"}));
  }
  void startSim(std::vector<std::string> extra) {
    std::vector<std::string> argv = {FERROLAN_SIM_PATH, "--link",      card().portPath("COM1"),
                                     "--store",         (root / "store").string(), "--no-pacing"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_TRUE(sim.start(argv));
    std::string line;
    ASSERT_TRUE(sim.readLine(line, 10000));
    ASSERT_EQ(line.rfind("/dev/", 0), 0u) << line;
  }
  ProgramRun runProgram(std::vector<std::string> extra = {}) {
    ChildProcess program;
    std::vector<std::string> argv = {FERROLAN_PROGRAM_PATH, "--console", "--root", root.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ProgramRun r;
    if (!program.start(argv)) return r;
    std::string line;
    // Bounded by the update's own limits: a few minutes at the very most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (std::chrono::steady_clock::now() < deadline) {
      if (program.readLine(line, 1000)) {
        r.lines.push_back(line);
        continue;
      }
      if (!program.running()) break;
    }
    while (program.readLine(line, 100)) r.lines.push_back(line);
    program.stop();
    r.exitCode = program.exitCode();
    return r;
  }
  std::string stored(const std::string& name) { return slurp(root / "store" / name); }
  static std::string withZeroFill(std::string file) {
    file.resize((file.size() + 1023) / 1024 * 1024, '\0');
    return file;
  }
};

TEST_F(ProgramTest, KnownVersionsUpdateByCommandFromTheirFile) {
  for (int version : {2, 3, 5}) {
    SCOPED_TRACE(version);
    const std::string p1 = firmware("FW_P1.bin", 481280);
    const std::string p2 = firmware("FW_P2.bin", 491520);
    config();
    for (auto& f : fs::directory_iterator(root / "store")) fs::remove(f);
    startSim({"--version-major", std::to_string(version), "--no-z"});
    const ProgramRun r = runProgram();
    sim.stop();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.has("Current FW:" + std::to_string(version) + ".17"));
    EXPECT_TRUE(r.has(version == 5 ? "Updating \\FW_P2.bin Please Wait..." : "Updating \\FW_P1.bin Please Wait..."));
    EXPECT_TRUE(r.has("OK"));
    EXPECT_TRUE(r.has("Update Successfully!  "));
    EXPECT_EQ(stored("1-firmware.bin"), withZeroFill(version == 5 ? p2 : p1));
  }
}

TEST_F(ProgramTest, UnknownVersionRecoversThroughTheKernelAfterAPowerCycle) {
  const std::string p1 = firmware("FW_P1.bin", 481280);
  firmware("FW_P2.bin", 481280);
  config();
  startSim({"--version-major", "4", "--power-cycle-on-reopen"});
  const ProgramRun r = runProgram();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.has("Recovering... "));
  EXPECT_TRUE(r.has("Message Received. "));
  EXPECT_TRUE(r.has("OK"));
  EXPECT_EQ(stored("1-firmware.bin"), withZeroFill(p1));
}

TEST_F(ProgramTest, RefusedUpdateCommand) {
  firmware("FW_P1.bin", 481280);
  config();
  startSim({"--version-major", "3", "--refuse-update"});
  const ProgramRun r = runProgram();
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "Fail in Update Command");
  EXPECT_FALSE(fs::exists(root / "store" / "1-firmware.bin"));
}

TEST_F(ProgramTest, FileOneByteOutsideTheWindowIsNotSent) {
  firmware("FW_P1.bin", 491521);
  config();
  startSim({"--version-major", "2"});
  const ProgramRun r = runProgram();
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "File size incorrect. ");
}

TEST_F(ProgramTest, SilentReceiverAndMissingPort) {
  firmware("FW_P1.bin", 481280);
  // A line where nothing answers.
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  config(name);
  ProgramRun r = runProgram();
  ::close(master);
  ::close(slave);
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_GE(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[r.lines.size() - 2], "NO Message Received. ");
  EXPECT_EQ(r.lines.back(), "Power Off Device And Try Again!");

  config("COM7");  // no such device under the root, and no /dev/ttyS6 that opens
  r = runProgram();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.has("COM port open Failed!  "));
}

TEST_F(ProgramTest, StartUpLinesComeFirst) {
  // No configuration on the card: start-up says so before the page exists.
  firmware("FW_P1.bin", 481280);
  const ProgramRun r = runProgram();
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.front(), "Can't Open Ferrolan.ini !");
  EXPECT_EQ(std::count(r.lines.begin(), r.lines.end(), "Can't Open Ferrolan.ini !"), 1);
}

TEST_F(ProgramTest, AReaderThatLeavesEarlyDoesNotStopTheUpdate) {
  // `ferrolan --console | head -n 1`: the pipe closes after the first line,
  // long before the transfer; the update goes on and the exit code follows it.
  const std::string p1 = firmware("FW_P1.bin", 481280);
  config();
  startSim({"--version-major", "3", "--no-z"});
  ChildProcess program;
  ChildOptions o;
  o.stderrToStdout = true;
  ASSERT_TRUE(program.start({FERROLAN_PROGRAM_PATH, "--console", "--root", root.string()}, o));
  std::string first;
  ASSERT_TRUE(program.readLine(first, 30000));
  program.closeStdout();
  ASSERT_TRUE(program.wait(240000));
  EXPECT_EQ(program.termSignal(), 0);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_EQ(stored("1-firmware.bin"), withZeroFill(p1));
}

TEST(ProgramOptions, HelpVersionAndUnknownOptions) {
  auto run = [](std::vector<std::string> args) {
    ChildProcess p;
    args.insert(args.begin(), FERROLAN_PROGRAM_PATH);
    ProgramRun r;
    if (!p.start(args)) return r;
    std::string line;
    while (p.readLine(line, 5000)) r.lines.push_back(line);
    while (p.running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    r.exitCode = p.exitCode();
    return r;
  };
  ProgramRun help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0].rfind("usage: ferrolan", 0), 0u);
  ProgramRun version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.lines.at(0).rfind("ferrolan ", 0), 0u);
  EXPECT_EQ(run({"--frobnicate"}).exitCode, 2);
  EXPECT_EQ(run({"--root"}).exitCode, 2);
}

}  // namespace
}  // namespace ferrolan
