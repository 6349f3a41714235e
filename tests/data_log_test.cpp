// The raw log on a real device root: its file names, the three places it
// is tried, the VBI buffer with its rotation, and the end of a log.
#include <filesystem>
#include <fstream>

#include "control/data_log.h"
#include "platform/process.h"
#include "tests/support/files.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

struct TempRoot {
  std::string dir = makeTempDir("ferrolan-log-");
  ~TempRoot() { removeTree(dir); }
};

// The device root is the temporary folder, or rootBelow inside it.
struct LogRig : TempRoot, test::ScriptedRig {
  LogContext& log = ctx;

  explicit LogRig(bool card = true, const std::string& rootBelow = "")
      : ScriptedRig(rootBelow.empty() ? dir : dir + "/" + rootBelow) {
    if (card) fs::create_directories(fs::path(dir) / "SDMMC");
    clock.setCalendar({2026, 12, 9, 9, 5, 0, 0});
  }
  std::string file(const std::string& rel) const { return test::slurp(fs::path(dir) / rel); }
  std::string status() const { return ui.text(WindowId::TextPage, ids::kTextStatus); }
};

TEST(DataLog, FileNamesPadHourAndMinuteExceptARootBinaryLogsHour) {
  const struct {
    LogPlace place;
    const char* folder;
    uint32_t sequence;
    int hour, minute;
    bool binary;
    const char* name;
  } rows[] = {
      {LogPlace::Card, "SDMMC", 1, 9, 5, false, "\\SDMMC\\Vexil_Log_1_ 9_ 5.txt"},
      {LogPlace::Card, "SDMMC", 2, 9, 5, true, "\\SDMMC\\Vexil_Log_2_ 9_ 5.vbi"},
      {LogPlace::Flash, "Flash Disk", 12, 23, 59, true, "\\Flash Disk\\Vexil_Log_12_23_59.vbi"},
      {LogPlace::Root, "", 1, 9, 5, true, "\\Vexil_Log_1_9_ 5.vbi"},
      {LogPlace::Root, "", 1, 9, 5, false, "\\Vexil_Log_1_ 9_ 5.txt"},
  };
  for (const auto& r : rows) EXPECT_EQ(logFileName(r.place, r.folder, r.sequence, r.hour, r.minute, r.binary), r.name);
}

TEST(DataLog, TextLinesGoToTheCardFileAndAStartInTheSameMinuteTruncatesIt) {
  LogRig rig;
  startLogging(rig.log);
  EXPECT_TRUE(rig.ctx.log.logFileOpen);
  EXPECT_EQ(rig.status(), "Logging");
  EXPECT_TRUE(rig.ctx.dataLog.writeLine("$GPGGA,1*00\n"));
  EXPECT_FALSE(rig.ctx.dataLog.feedByte(0x81)) << "bytes are for a VBI log";
  stopLogging(rig.log);
  EXPECT_EQ(rig.status(), "    ");
  EXPECT_FALSE(rig.ctx.dataLog.writeLine("after the stop\n"));
  EXPECT_EQ(rig.file("SDMMC/Vexil_Log_1_ 9_ 5.txt"), "$GPGGA,1*00\n");
  startLogging(rig.log);
  rig.ctx.dataLog.writeLine("$GPRMC,2*00\n");
  closeLogAtExit(rig.log);
  EXPECT_EQ(rig.file("SDMMC/Vexil_Log_1_ 9_ 5.txt"), "$GPRMC,2*00\n");
  EXPECT_FALSE(rig.ctx.log.logFileOpen);
}

TEST(DataLog, VbiBytesRotateWhenTheBufferIsFullAndNothingIsLost) {
  LogRig rig;
  rig.ctx.session.protocolMode = ProtocolMode::Vbi;
  rig.ctx.log.logCapacity = 200;
  startLogging(rig.log);
  std::string sent;
  for (int i = 0; i < 450; ++i) {
    const auto b = static_cast<uint8_t>(i * 7);
    sent += static_cast<char>(b);
    ASSERT_TRUE(rig.ctx.dataLog.feedByte(b)) << i;
    if (i == 99) {
      EXPECT_EQ(rig.ctx.dataLog.fillPercent(), 50);
    }
  }
  stopLogging(rig.log);
  stopLogging(rig.log);  // the second does nothing
  // Rotations within one minute: each new file took the next number.
  EXPECT_EQ(rig.ui.progress(WindowId::TextPage, ids::kTextProgress), 0);
  const std::string files = rig.file("SDMMC/Vexil_Log_1_ 9_ 5.vbi") + rig.file("SDMMC/Vexil_Log_2_ 9_ 5.vbi") +
                            rig.file("SDMMC/Vexil_Log_3_ 9_ 5.vbi");
  EXPECT_EQ(files, sent);
  EXPECT_EQ(rig.file("SDMMC/Vexil_Log_3_ 9_ 5.vbi").size(), 50u);
  EXPECT_EQ(rig.ctx.log.logSequence, 3u);
}

TEST(DataLog, WithoutCardOrFlashTheRootTakesItAndWithNoPlaceTheUserIsTold) {
  {
    LogRig rig(false);
    rig.ctx.session.protocolMode = ProtocolMode::Vbi;
    startLogging(rig.log);
    rig.ctx.dataLog.feedByte(0x81);
    closeLogAtExit(rig.log);
    EXPECT_EQ(rig.file("Vexil_Log_1_9_ 5.vbi"), "\x81");
    EXPECT_TRUE(rig.host.boxes().empty());
  }
  // A device root that is a plain file: no folder under it can be written.
  LogRig rig(false, "plain-file");
  std::ofstream(fs::path(rig.dir) / "plain-file") << "x";
  startLogging(rig.log);
  ASSERT_EQ(rig.host.boxes().size(), 1u);
  EXPECT_EQ(rig.host.boxes()[0].text, "We can't create the log file.");
  EXPECT_FALSE(rig.ctx.log.logFileOpen);
  EXPECT_FALSE(rig.ctx.dataLog.writeLine("x\n"));
}

// A lost line stops the log; when the line is back a log that was running
// goes on in a new file, never over the one before, whatever its kind. A
// Start or Stop by hand in between takes the place of that.
TEST(DataLog, ALogRunningWhenTheLineWasLostGoesOnInANewFileWhenItIsBack) {
  enum Between { Nothing, StopByHand, StartByHand, NotRunning };
  const struct {
    const char* name;
    ProtocolMode mode;
    Between between;
    const char* before;   // the first file, kept as the loss left it
    const char* after;    // where the lines after the return go; "" for none
  } rows[] = {
      {"text", ProtocolMode::Nmea, Nothing, "SDMMC/Vexil_Log_1_ 9_ 5.txt", "SDMMC/Vexil_Log_2_ 9_ 5.txt"},
      {"vbi", ProtocolMode::Vbi, Nothing, "SDMMC/Vexil_Log_1_ 9_ 5.vbi", "SDMMC/Vexil_Log_2_ 9_ 5.vbi"},
      {"stopped by hand", ProtocolMode::Nmea, StopByHand, "SDMMC/Vexil_Log_1_ 9_ 5.txt", ""},
      {"started by hand", ProtocolMode::Nmea, StartByHand, "SDMMC/Vexil_Log_1_ 9_ 5.txt", ""},
      {"none running", ProtocolMode::Nmea, NotRunning, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LogRig rig;
    rig.ctx.session.protocolMode = row.mode;
    const bool binary = row.mode == ProtocolMode::Vbi;
    auto feed = [&](const std::string& s) {
      if (binary)
        for (char c : s) rig.ctx.dataLog.feedByte(static_cast<uint8_t>(c));
      else
        rig.ctx.dataLog.writeLine(s);
    };
    if (row.between != NotRunning) startLogging(rig.log);
    feed("one\n");
    rig.ctx.dataLog.lineLost();
    EXPECT_EQ(rig.status(), "    ");
    if (row.between == StopByHand) stopLogging(rig.log);
    if (row.between == StartByHand) {
      startLogging(rig.log);
      stopLogging(rig.log);
    }
    rig.ctx.dataLog.lineBack();
    EXPECT_EQ(rig.status(), *row.after ? "Logging" : "    ");
    feed("two\n");
    closeLogAtExit(rig.log);
    if (*row.before && row.between != StartByHand) {
      EXPECT_EQ(rig.file(row.before), "one\n");
    }
    if (*row.after) {
      EXPECT_EQ(rig.file(row.after), "two\n");
    }
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(rig.dir)) files += e.is_regular_file();
    EXPECT_EQ(files, (*row.before ? 1 : 0) + (*row.after ? 1 : 0));
  }
}

}  // namespace
}  // namespace ferrolan
