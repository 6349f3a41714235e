// A session of the three-page tool against the simulated receiver, through
// the scripted console: restart with the time to first fix, the stream
// switches, the version, the long-term ephemeris upload, and a firmware
// update through the dialog and one from the menu, each stored by the
// receiver exactly as sent.
#include <ctime>
#include <fstream>

#include "tests/support/lte_writer.h"
#include "tests/support/tool_console.h"
#include "tests/support/files.h"

namespace ferrolan {
namespace {

std::string writeFile(const fs::path& path, size_t size, uint32_t seed) {
  const auto b = test::pattern(size, seed);
  std::string bytes(b.begin(), b.end());
  if (size >= 32) bytes.replace(28, 3, "FRK");
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

TEST(ToolCommands, ASessionRunsEachCommandToItsEnd) {
  using namespace test;
  Tool t;
  const fs::path store = t.root / "store";
  fs::create_directory(store);
  // The receiver's clock and the device's both fall in the middle record.
  const int64_t now = std::time(nullptr);
  const auto fileNow = static_cast<uint32_t>(now + 11);
  const LteBytes lte = lteFile({lteRecord(fileNow - 20000, lteFrames(10, 92)), lteRecord(fileNow - 600, lteFrames(7, 50)),
                                lteRecord(fileNow + 14000, lteFrames(3, 50))});
  ASSERT_TRUE(DeviceRootBuilder(t.root.string()).writeCardFile("LTE.bin", std::string(lte.begin(), lte.end())));
  t.startSim({"--no-pacing", "--ttff-hot", "3", "--store", store.string(), "--utc", std::to_string(now)});
  t.start();
  ASSERT_TRUE(t.connect());
  ASSERT_TRUE(t.steps({{"cmd 40005", "text info:1049 Wait..."}}));
  EXPECT_NE(t.untilPrefix("text info:1049 3D "), "");
  EXPECT_TRUE(t.simState("restarts=1"));

  // To VBI and back: the receiver's mode follows, and NMEA lines come again.
  ASSERT_TRUE(t.steps({{"cmd 40003", "menu 40002 1"}}));
  EXPECT_TRUE(t.simState("mode=firmware-vbi"));
  ASSERT_TRUE(t.steps({{"cmd 40002", "menu 40003 1"}}));
  EXPECT_TRUE(t.simState("mode=firmware-nmea", 300));  // after the kernel's 12 s
  EXPECT_NE(t.untilPrefix("log $GPRMC,"), "");
  ASSERT_TRUE(t.steps({{"cmd 40010", "text info:1114 Current FW:3.17"}}));
  ASSERT_TRUE(t.steps({{"cmd 40031", "log 7 Ephemeris Sent, Upload  Ephemeris Completed!!!"}}));
  EXPECT_TRUE(t.simState("ephemeris=7 ephemeris-open=no"));

  // FSA through the dialog: the file, the checks, the update thread.
  const std::string fsa = writeFile(t.root / "FSA.bin", 8192, 7);
  ASSERT_TRUE(t.steps({
      {"cmd 40009", "text dlg117:1071 Ready"},
      {"check 1081 1", "check dlg117:1081 1"},
      {"click 1066", "file Specify a file"},
      {"file " + fsa, "enable dlg117:1012 1"},
      {"click 1012", "text dlg117:1071 Connecting..."},
  }));
  EXPECT_TRUE(t.until("text dlg117:1071 Update FSA     !"));
  EXPECT_TRUE(t.until("text dlg117:1071 Update FSA success...!", 60000));
  EXPECT_TRUE(t.printed("enable dlg117:1066 0"));
  EXPECT_TRUE(t.simState("image1=fsa:8192:" + (store / "1-fsa.bin").string()));
  std::ifstream stored(store / "1-fsa.bin", std::ios::binary);
  std::ifstream sent(fsa, std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(stored), {}, std::istreambuf_iterator<char>(sent), {}));

  // Leaving the dialog ends the application.
  t.send("click 2");
  EXPECT_TRUE(t.until("exit 0"));
  EXPECT_TRUE(t.program.wait(10000));
  EXPECT_EQ(t.program.exitCode(), 0);
}

TEST(ToolCommands, AFlashKernelUpdateFromTheMenuAsksForItsFile) {
  Tool t;
  const fs::path store = t.root / "store";
  fs::create_directory(store);
  t.startSim({"--no-pacing", "--store", store.string()});
  t.start();
  ASSERT_TRUE(t.connect());
  const std::string kernel = writeFile(t.root / "FK.bin", 16384, 3);
  const std::string tooShort = writeFile(t.root / "short.bin", 100, 3);
  // A wrong file is refused before the receiver hears of it; the next works.
  ASSERT_TRUE(t.steps({{"cmd 40023", "file Specify a file"}, {"file " + tooShort, "box Error|Incorrect File Size!"}}));
  ASSERT_TRUE(t.steps({{"cmd 40023", "file Specify a file"}, {"file " + kernel, "log Command ACK Recived"}}));
  EXPECT_TRUE(t.until("log Update Completed.", 90000));
  EXPECT_TRUE(t.simState("image1=flash-kernel:16384:"));
  // The update took the link over for good; once the receiver is restarted
  // the tool connects again and its commands work.
  t.sim.writeLine("power-cycle");
  EXPECT_TRUE(t.simState("mode=firmware-nmea", 300));  // after the kernel's 12 s
  ASSERT_TRUE(t.steps({{"cmd 40001", "open dlg104"}, {"click 1000", "close dlg104"}}));
  EXPECT_TRUE(t.steps({{"cmd 40010", "text info:1114 Current FW:3.17"}}));
  t.send("quit");
  EXPECT_TRUE(t.until("exit 0"));
}

}  // namespace
}  // namespace ferrolan
