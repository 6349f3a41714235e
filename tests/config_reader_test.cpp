// "AutoUpdate.ini" and the storage folders it is found in.

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "control/storage_folders.h"
#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "tests/support/fifo_feeder.h"
#include "tests/support/test_support.h"
#include "update/auto_update_config.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

using Values = std::vector<std::optional<std::string>>;
using Stored = std::vector<std::string>;
const std::string kProfiles = "System\\StorageManager\\Profiles\\";
const std::string kCantOpen = "Can't Open Ferrolan.ini !";
const std::string kGood =
    "[AUTOUPDATE] FW_P1.bin\r\n[AUTOUPDATEP2] FW_P2.bin\r\n[COM] COM3\r\n[BAUDRATE] 115200\r\n";

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(ConfigParser, ReadsEachKeyUpToTheFirstThatFails) {
  using namespace std::string_literals;
  const auto none = std::nullopt;
  const std::string v31(31, 'x'), v32(32, 'y');
  const struct {
    const char* what;
    std::string text;
    bool complete;
    Values values;
  } cases[] = {
      {"the four keys", kGood, true, {"FW_P1.bin", "FW_P2.bin", "COM3:", "115200"}},
      // "[AUTOUPDATE]" does not match inside "[AUTOUPDATEP2]"; the separator byte may be anything.
      {"any order", "junk\r\n[BAUDRATE]=4800\r\n[AUTOUPDATEP2] two.bin\r\n[COM] COM1\r\n[AUTOUPDATE] one.bin\r\n",
       true, {"one.bin", "two.bin", "COM1:", "4800"}},
      {"the first occurrence of a case-sensitive key",
       "[com] COM9\r\n[AUTOUPDATE] a\r\n[AUTOUPDATE] b\r\n[AUTOUPDATEP2] c\r\n[COM] COM2\r\n[BAUDRATE] 9600\r\n", true,
       {"a", "c", "COM2:", "9600"}},
      {"a value window of 32 bytes holds 31", "[AUTOUPDATE] " + v31 + "\r\n", false, {v31, none, none, none}},
      {"32 bytes fail that key and the later keys stay unread",
       "[AUTOUPDATE] a\r\n[AUTOUPDATEP2] " + v32 + "\r\n[COM] COM3\r\n[BAUDRATE] 1\r\n", false,
       {"a", none, none, none}},
      {"a value on the next line begins with a line feed",
       "[AUTOUPDATE] a\r\n[AUTOUPDATEP2] b\r\n[COM]\r\nCOM3\r\n[BAUDRATE] 9600\r\n", true,
       {"a", "b", "\nCOM3:", "9600"}},
      {"empty", "", false, Values(4)},
      {"a key alone", "[AUTOUPDATE]", false, Values(4)},
      {"a value without its end", "[AUTOUPDATE] name", false, Values(4)},
      {"NUL bytes do not hide what follows them", "\0\0[AUTOUPDATE] a\0b\r\n"s, false, {"a\0b"s, none, none, none}},
      {"high bytes come through as Latin-1", "[AUTOUPDATE] caf\xE9.bin\r\n", false,
       {"caf\xC3\xA9.bin", none, none, none}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const auto v = parseAutoUpdateConfig(k.text);
    EXPECT_EQ(v.complete, k.complete);
    EXPECT_EQ(Values(std::begin(v.values), std::end(v.values)), k.values);
  }
}

// The rig's context has a fresh temporary folder as its device root.
struct ConfigFileTest : ::testing::Test, test::ScriptedRig {
  ConfigFileTest() : ScriptedRig(makeTempDir("ferrolan-cfg-")) {}
  const fs::path dir = ScriptedRig::root;
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  void TearDown() override { removeTree(dir.string()); }
  void write(const std::string& folder, const std::string& bytes) {
    fs::create_directories(dir / folder);
    std::ofstream(dir / folder / "AutoUpdate.ini", std::ios::binary) << bytes;
  }
  // The four values a read stores, in the file's order.
  static Stored stored(Context& c) {
    return {c.autoUpdate.autoUpdateFileName.get(), c.autoUpdate.autoUpdateFileNameP2.get(), c.session.portName.get(),
            c.session.baudText.get()};
  }
};

TEST_F(ConfigFileTest, ADeviceRootBuilderWritesWhatTheReaderReads) {
  // The demo and the program tests make their roots with the builder.
  const AutoUpdateIniValues rows[] = {
      {"FW_DEMO.bin", "FW_DEMO.bin", "COM1", "9600"},
      {"a.bin", "b b.bin", "/dev/ttyUSB0", "115200"},
  };
  for (const auto& v : rows) {
    SCOPED_TRACE(v.com);
    Context c(clock, opener, ui, dir.string(), "");
    ASSERT_TRUE(DeviceRootBuilder(dir.string()).writeAutoUpdateIni(v));
    EXPECT_TRUE(readAutoUpdateConfig(c));
    EXPECT_EQ(stored(c), (Stored{v.firmware, v.firmwareP2, v.com + ":", v.baud}));
  }
  DeviceRootBuilder other(dir.string(), "Storage Card");
  ASSERT_TRUE(other.linkPort("COM2", "/dev/null"));
  EXPECT_EQ(fs::canonical(other.portPath("COM2")), "/dev/null");
  EXPECT_FALSE(DeviceRootBuilder("/proc/no-such-root").writeCardFile("x.bin", "x"));
}

TEST_F(ConfigFileTest, StoresWhatTheCardFoldersFileHolds) {
  const Stored good = {"FW_P1.bin", "FW_P2.bin", "COM3:", "115200"};
  const struct {
    const char* what;
    const char* profileFolder;  // the registry's card folder, if set
    std::string folder, bytes;
    bool complete;
    Stored stored;
  } cases[] = {
      {"the default card folder", nullptr, "SDMMC", kGood, true, good},
      {"exactly one kilobyte", nullptr, "SDMMC", kGood + std::string(1024 - kGood.size(), ' '), true, good},
      {"the card folder of the registry profile", "Storage Card", "Storage Card", kGood, true, good},
      {"thirty-one high bytes make a whole file name", nullptr, "SDMMC", "[AUTOUPDATE] " + repeat("\xE9", 31) + "\r\n",
       false, {repeat("\xC3\xA9", 31), "", "COM1:", "9600"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Context ctx(clock, opener, ui, dir.string(), "");
    if (k.profileFolder) ctx.registry.setString(kProfiles + "SDMemory", "Folder", k.profileFolder);
    write(k.folder, k.bytes);
    EXPECT_EQ(readAutoUpdateConfig(ctx), k.complete);
    EXPECT_EQ(stored(ctx), k.stored);
    EXPECT_EQ(ctx.storage.cardFolder.get(), k.folder);
    fs::remove_all(dir / k.folder);  // so no row reads another's file
  }
}

TEST_F(ConfigFileTest, OnlyARegularFileOfAtMostAKilobyteInsideTheRootIsAConfiguration) {
  const fs::path file = dir / "SDMMC" / "AutoUpdate.ini";
  const auto none = [] { return std::unique_ptr<test::FifoFeeder>(); };
  const struct {
    const char* what;
    std::string message;
    std::function<std::unique_ptr<test::FifoFeeder>()> make;
    const char* below = "";  // the device root, below the folder
    const char* profileFolder = nullptr;
  } cases[] = {
      {"no file", kCantOpen, none},
      {"one byte over a kilobyte", "File incorrect !",
       [&] { write("SDMMC", kGood + std::string(1025 - kGood.size(), ' ')); return none(); }},
      {"FIFO", kCantOpen, [&] { return std::make_unique<test::FifoFeeder>(file.string(), kGood); }},
      {"link to /dev/zero", kCantOpen, [&] { fs::create_symlink("/dev/zero", file); return none(); }},
      {"folder", kCantOpen, [&] { fs::create_directory(file); return none(); }},
      // <root>/a/b/../../outside/AutoUpdate.ini exists, but a card folder outside the root is missing.
      {"outside the root", kCantOpen, [&] { write("outside", kGood); return none(); }, "a/b", "../../outside"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    fs::create_directories(dir / "SDMMC");
    const fs::path root = *k.below ? dir / k.below : dir;
    fs::create_directories(root);
    auto feeder = k.make();
    Context ctx(clock, opener, ui, root.string(), "");
    if (k.profileFolder) ctx.registry.setString(kProfiles + "SDMemory", "Folder", k.profileFolder);
    ctx.textLog.reset();  // the log lives in the shared window
    ctx.textLog.append("earlier");
    EXPECT_FALSE(readAutoUpdateConfig(ctx));
    // A failure goes to the top of the log, and the defaults stay.
    EXPECT_EQ(ctx.textLog.lines(), (Stored{k.message, "earlier"}));
    EXPECT_EQ(stored(ctx), (Stored{"", "", "COM1:", "9600"}));
    feeder.reset();
    fs::remove_all(file);
  }
}

TEST(StorageFolders, ProfilesPerPlatform) {
  test::ScriptedRig rig;
  Context& c = rig.ctx;
  using Folders = std::pair<std::string, std::string>;
  // Card and flash folder, looked up afresh.
  auto folders = [&c] {
    findCardFolder(c);
    findFlashFolder(c);
    return std::pair(c.storage.cardFolder.get(), c.storage.flashFolder.get());
  };
  EXPECT_EQ(folders(), Folders("SDMMC", "SDMMC"));

  c.registry.setString(kProfiles + "SDMemory", "Folder", "SD Card");
  c.registry.setString(kProfiles + "NandFls", "Folder", "NAND");
  c.registry.setString(kProfiles + "MMC", "Folder", "MMC Card");
  EXPECT_EQ(folders(), Folders("SD Card", "NAND"));

  // The first profile wins when both exist; a key without "Folder" keeps the old value.
  c.registry.setString(kProfiles + "SDMMC", "Folder", "First");
  c.registry.createKey(kProfiles + "SMFLASH");
  EXPECT_EQ(folders(), Folders("First", "NAND"));

  // A Pocket PC reads only its own profiles.
  c.app.isPocketPC = true;
  EXPECT_EQ(folders(), Folders("MMC Card", "NAND"));
  c.registry.setString(kProfiles + "MMC", "Folder", std::string(40, 'm'));
  findCardFolder(c);
  EXPECT_EQ(c.storage.cardFolder.get(), "MMC Card");  // too long: the lookup fails
}

TEST(StorageFolders, AFolderNameMustFitThirtyTwoWideCharactersWithItsEnd) {
  const std::string e = "\xC3\xA9", smile = "\xF0\x9F\x98\x80";  // one and two wide characters
  const struct {
    std::string value;
    bool fits;
  } cases[] = {{std::string(30, 'f'), true}, {std::string(31, 'f'), true},  {std::string(32, 'f'), false},
               {std::string(40, 'f'), false}, {repeat(e, 31), true},         {repeat(e, 32), false},
               {repeat(smile, 15), true},      {repeat(smile, 15) + "ab", false}};
  for (const auto& c : cases) {
    test::ScriptedRig rig;
    rig.ctx.storage.cardFolder.set("Before");
    rig.ctx.registry.setString(kProfiles + "SDMemory", "Folder", c.value);
    findCardFolder(rig.ctx);
    EXPECT_EQ(rig.ctx.storage.cardFolder.get(), c.fits ? c.value : "Before") << c.value;
  }
}

}  // namespace
}  // namespace ferrolan
