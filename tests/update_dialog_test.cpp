// The Update Firmware dialog on the UI model: its first state, the file
// checks of each section at their edges, files that are not files, and
// what a started update leaves enabled.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "tests/support/dialog_rig.h"
#include "update/update_dialog.h"

namespace ferrolan {
namespace {

constexpr WindowId kDialog = WindowId::UpdateFirmware;
constexpr int kRadios[] = {ids::kUpdFlashKernel, ids::kUpdFsa, ids::kUpdFirmware, ids::kUpdAllImage};

struct UpdateDialogRig {
  std::string root = makeTempDir("ferrolan-updlg-");
  int starts = 0;
  bool startFails = false;
  int quits = 0;
  DialogRig d{kDialog, [this](Context& ctx, DialogHost& host) {
                UpdateDialogActions a;
                a.startThread = [this](std::function<void()>) { return !startFails && ++starts > 0; };
                a.quit = [this] { ++quits; };
                return updateFirmwareProcedures(ctx, host, std::move(a));
              }};
  UiModel& ui() { return d.rig.ui; }
  void choose(int radio) {
    for (int r : kRadios) ui().setChecked(kDialog, r, r == radio);
  }
  std::string file(size_t size, const char* signature = "FRK") {
    std::vector<char> bytes(size, 'x');
    if (size > 30) std::copy_n(signature, 3, bytes.begin() + 28);
    const std::string path = root + "/f" + std::to_string(size) + signature + ".bin";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& b : d.rig.host.boxes()) out.push_back(b.caption + "|" + b.text);
    return out;
  }
};

TEST(UpdateDialog, OpensReadyForFsaOrFirmware) {
  UpdateDialogRig r;
  EXPECT_EQ(r.ui().text(kDialog, ids::kUpdStatus), "Ready");
  EXPECT_TRUE(r.ui().checked(kDialog, ids::kUpdFirmware));
  const std::pair<int, bool> enabled[] = {{ids::kUpdFlashKernel, false}, {ids::kUpdFsa, true},
                                          {ids::kUpdFirmware, true},     {ids::kUpdAllImage, false},
                                          {ids::kUpdLoadFile, true},     {ids::kUpdUpdate, false}};
  for (auto [id, on] : enabled) EXPECT_EQ(r.ui().enabled(kDialog, id), on) << id;

  // A cancelled file dialog still enables Update and leaves the box alone.
  r.ui().setText(kDialog, ids::kUpdFileName, "kept");
  r.d.click(ids::kUpdLoadFile);
  EXPECT_TRUE(r.ui().enabled(kDialog, ids::kUpdUpdate));
  EXPECT_EQ(r.ui().text(kDialog, ids::kUpdFileName), "kept");
  ASSERT_EQ(r.d.rig.host.fileDialogs().size(), 1u);
  EXPECT_EQ(r.d.rig.host.fileDialogs()[0].first, "Specify a file");
  EXPECT_EQ(r.d.rig.host.fileDialogs()[0].second, "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||");
  r.d.rig.host.setNextFile("/chosen/FW.bin");
  r.d.click(ids::kUpdLoadFile);
  EXPECT_EQ(r.ui().text(kDialog, ids::kUpdFileName), "/chosen/FW.bin");

  // Leaving the dialog ends it with 0 and the application with it.
  r.d.click(ids::kCancel);
  EXPECT_EQ(r.d.host.ended, std::vector<int>{0});
  EXPECT_EQ(r.quits, 1);
}

TEST(UpdateDialog, ChecksEachSectionsFileBeforeStarting) {
  struct Row {
    int radio;
    size_t size;
    const char* signature;
    const char* box;  // "" when the update starts
  };
  const char* size = "Error|Incorrect File Size!";
  const Row rows[] = {
      {ids::kUpdFirmware, 409600, "FRK", ""},       {ids::kUpdFirmware, 491520, "FRK", ""},
      {ids::kUpdFirmware, 409599, "FRK", size},     {ids::kUpdFirmware, 491521, "FRK", size},
      {ids::kUpdAllImage, 524288, "FRK", ""},       {ids::kUpdAllImage, 524287, "FRK", size},
      {ids::kUpdFsa, 8192, "FRK", ""},              {ids::kUpdFsa, 8193, "FRK", size},
      {ids::kUpdFlashKernel, 16384, "FRK", ""},     {ids::kUpdFlashKernel, 32768, "FRK", ""},
      {ids::kUpdFlashKernel, 16384, "FRX", "Error|Incorrect Signature !"},
      {ids::kUpdFlashKernel, 32769, "FRX", size},  // the size is tested first
      {ids::kUpdFsa, 0, "", "Error|Open File Failed!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.radio << " " << row.size << " " << row.signature);
    UpdateDialogRig r;
    r.choose(row.radio);
    r.d.rig.host.setNextFile(row.size ? r.file(row.size, row.signature) : r.root + "/missing.bin");
    r.d.click(ids::kUpdLoadFile);
    r.d.click(ids::kUpdUpdate);
    const bool started = !*row.box;
    EXPECT_EQ(r.boxes(), started ? std::vector<std::string>{} : std::vector<std::string>{row.box});
    EXPECT_EQ(r.starts, started ? 1 : 0);
    // Started: nothing but Cancel is left; refused: pick another file.
    EXPECT_EQ(r.ui().enabled(kDialog, ids::kUpdUpdate), !started);
    EXPECT_EQ(r.ui().enabled(kDialog, ids::kUpdLoadFile), !started);
    EXPECT_FALSE(r.d.rig.ctx.update.updateFile.valid());  // checked and closed
  }
}

TEST(UpdateDialog, RefusesWhatIsNotAFileAndAThreadThatWillNotStart) {
  UpdateDialogRig r;
  const std::string fifo = r.root + "/fifo.bin";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(r.root + "/dir.bin");
  // A FIFO must not block the dialog waiting for a writer.
  for (const std::string& name : {fifo, r.root + "/dir.bin", std::string()}) {
    r.ui().setText(kDialog, ids::kUpdFileName, name);
    r.d.click(ids::kUpdUpdate);
  }
  EXPECT_EQ(r.boxes(), std::vector<std::string>(3, "Error|Open File Failed!"));

  r.startFails = true;
  r.ui().setText(kDialog, ids::kUpdFileName, r.file(409600));
  r.d.click(ids::kUpdUpdate);
  EXPECT_EQ(r.boxes().back(), "Update|Create thread failed!");
  EXPECT_EQ(r.d.rig.ctx.update.procedureRunning, 0);
  EXPECT_TRUE(r.ui().enabled(kDialog, ids::kUpdLoadFile));
}

}  // namespace
}  // namespace ferrolan
