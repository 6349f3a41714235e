// "AutoUpdate.ini" and the storage folders it is found in.

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "control/storage_folders.h"
#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "tests/support/fifo_feeder.h"
#include "tests/support/test_support.h"
#include "update/auto_update_config.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

const std::string kGood =
    "[AUTOUPDATE] FW_P1.bin\r\n[AUTOUPDATEP2] FW_P2.bin\r\n[COM] COM3\r\n[BAUDRATE] 115200\r\n";

TEST(ConfigParser, ReadsTheFourKeysInAnyOrder) {
  auto v = parseAutoUpdateConfig(kGood);
  ASSERT_TRUE(v.complete);
  EXPECT_EQ(*v.values[0], "FW_P1.bin");
  EXPECT_EQ(*v.values[1], "FW_P2.bin");
  EXPECT_EQ(*v.values[2], "COM3:");
  EXPECT_EQ(*v.values[3], "115200");

  // "[AUTOUPDATE]" does not match inside "[AUTOUPDATEP2]"; order is free.
  v = parseAutoUpdateConfig("junk\r\n[BAUDRATE]=4800\r\n[AUTOUPDATEP2] two.bin\r\n[COM] COM1\r\n[AUTOUPDATE] one.bin\r\n");
  ASSERT_TRUE(v.complete);
  EXPECT_EQ(*v.values[0], "one.bin");
  EXPECT_EQ(*v.values[1], "two.bin");
  EXPECT_EQ(*v.values[3], "4800");  // the separator byte may be anything
}

TEST(ConfigParser, FirstOccurrenceAndCaseSensitiveKeys) {
  auto v = parseAutoUpdateConfig("[com] COM9\r\n[AUTOUPDATE] a\r\n[AUTOUPDATE] b\r\n[AUTOUPDATEP2] c\r\n[COM] COM2\r\n"
                                 "[BAUDRATE] 9600\r\n");
  ASSERT_TRUE(v.complete);
  EXPECT_EQ(*v.values[0], "a");
  EXPECT_EQ(*v.values[2], "COM2:");
}

TEST(ConfigParser, ValueWindowIsThirtyTwoBytes) {
  const std::string v31(31, 'x'), v32(32, 'y');
  auto ok = parseAutoUpdateConfig("[AUTOUPDATE] " + v31 + "\r\n");
  EXPECT_FALSE(ok.complete);  // later keys are absent
  ASSERT_TRUE(ok.values[0]);
  EXPECT_EQ(*ok.values[0], v31);

  // 32 bytes or more: that key fails and the later keys stay unread.
  auto bad = parseAutoUpdateConfig("[AUTOUPDATE] a\r\n[AUTOUPDATEP2] " + v32 + "\r\n[COM] COM3\r\n[BAUDRATE] 1\r\n");
  EXPECT_FALSE(bad.complete);
  EXPECT_EQ(*bad.values[0], "a");
  EXPECT_FALSE(bad.values[1] || bad.values[2] || bad.values[3]);
}

TEST(ConfigParser, ValueOnTheNextLineBeginsWithALineFeed) {
  auto v = parseAutoUpdateConfig("[AUTOUPDATE] a\r\n[AUTOUPDATEP2] b\r\n[COM]\r\nCOM3\r\n[BAUDRATE] 9600\r\n");
  ASSERT_TRUE(v.values[2]);
  EXPECT_EQ(*v.values[2], "\nCOM3:");
}

TEST(ConfigParser, TruncatedAndBinaryInput) {
  EXPECT_FALSE(parseAutoUpdateConfig("").values[0]);
  EXPECT_FALSE(parseAutoUpdateConfig("[AUTOUPDATE]").values[0]);
  EXPECT_FALSE(parseAutoUpdateConfig("[AUTOUPDATE] name").values[0]);
  // NUL bytes do not hide what follows them.
  using namespace std::string_literals;
  const std::string withNul = "\0\0[AUTOUPDATE] a\0b\r\n"s;
  auto v = parseAutoUpdateConfig(withNul);
  ASSERT_TRUE(v.values[0]);
  EXPECT_EQ(v.values[0]->size(), 3u);
  // High bytes come through as Latin-1.
  auto h = parseAutoUpdateConfig("[AUTOUPDATE] caf\xE9.bin\r\n");
  EXPECT_EQ(*h.values[0], "caf\xC3\xA9.bin");
}

// The rig's context has a fresh temporary folder as its device root.
struct ConfigFileTest : ::testing::Test, test::ScriptedRig {
  ConfigFileTest() : ScriptedRig(makeTempDir("ferrolan-cfg-")) {}
  const fs::path dir = ScriptedRig::root;
  Context& c = ctx;
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  void TearDown() override { removeTree(dir.string()); }
  void write(const std::string& folder, const std::string& bytes) {
    fs::create_directories(dir / folder);
    std::ofstream(dir / folder / "AutoUpdate.ini", std::ios::binary) << bytes;
  }
  // The four values a read stores, in the file's order.
  static std::vector<std::string> stored(Context& c) {
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
    EXPECT_EQ(stored(c), (std::vector<std::string>{v.firmware, v.firmwareP2, v.com + ":", v.baud}));
  }
  DeviceRootBuilder other(dir.string(), "Storage Card");
  ASSERT_TRUE(other.linkPort("COM2", "/dev/null"));
  EXPECT_EQ(fs::canonical(other.portPath("COM2")), "/dev/null");
  EXPECT_FALSE(DeviceRootBuilder("/proc/no-such-root").writeCardFile("x.bin", "x"));
}

TEST_F(ConfigFileTest, StoresValuesFromTheCardFolder) {
  write("SDMMC", kGood);
  EXPECT_TRUE(readAutoUpdateConfig(c));
  EXPECT_EQ(stored(c), (std::vector<std::string>{"FW_P1.bin", "FW_P2.bin", "COM3:", "115200"}));
}

TEST_F(ConfigFileTest, SizeLimitIsExactlyOneKilobyte) {
  std::string exact = kGood + std::string(1024 - kGood.size(), ' ');
  write("SDMMC", exact);
  EXPECT_TRUE(readAutoUpdateConfig(c));
  write("SDMMC", exact + " ");
  c.session.portName.set("COM1:");
  EXPECT_FALSE(readAutoUpdateConfig(c));
  EXPECT_EQ(c.textLog.lines().front(), "File incorrect !");
  EXPECT_EQ(c.session.portName.get(), "COM1:");
}

TEST_F(ConfigFileTest, MissingFileKeepsDefaults) {
  c.textLog.append("earlier");
  EXPECT_FALSE(readAutoUpdateConfig(c));
  EXPECT_EQ(c.textLog.lines().front(), "Can't Open Ferrolan.ini !");
  EXPECT_EQ(c.session.portName.get(), "COM1:");
  EXPECT_EQ(c.session.baudText.get(), "9600");
  EXPECT_EQ(c.autoUpdate.autoUpdateFileName.get(), "");
}

TEST_F(ConfigFileTest, OnlyARegularFileIsAConfiguration) {
  const fs::path file = dir / "SDMMC" / "AutoUpdate.ini";
  const struct {
    const char* what;
    std::function<std::unique_ptr<test::FifoFeeder>()> make;
  } cases[] = {
      {"FIFO", [&] { return std::make_unique<test::FifoFeeder>(file.string(), kGood); }},
      {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", file); return std::unique_ptr<test::FifoFeeder>(); }},
      {"folder", [&] { fs::create_directory(file); return std::unique_ptr<test::FifoFeeder>(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(dir / "SDMMC");
    auto feeder = c.make();
    Context ctx(clock, opener, ui, dir.string(), "");
    ctx.textLog.reset();  // the log lives in the shared window
    EXPECT_FALSE(readAutoUpdateConfig(ctx));
    EXPECT_EQ(ctx.textLog.lines(), std::vector<std::string>{"Can't Open Ferrolan.ini !"});
    EXPECT_EQ(ctx.session.portName.get(), "COM1:");
    EXPECT_EQ(ctx.autoUpdate.autoUpdateFileName.get(), "");
    feeder.reset();
    fs::remove_all(file);
  }
}

TEST_F(ConfigFileTest, ACardFolderOutsideTheRootIsMissingEvenWhenItExists) {
  const fs::path deviceRoot = dir / "a" / "b";
  fs::create_directories(deviceRoot);
  write("outside", kGood);  // <root>/a/b/../../outside/AutoUpdate.ini
  Context c(clock, opener, ui, deviceRoot.string(), "");
  c.registry.setString("System\\StorageManager\\Profiles\\SDMemory", "Folder", "../../outside");
  EXPECT_FALSE(readAutoUpdateConfig(c));
  EXPECT_EQ(c.textLog.lines(), std::vector<std::string>{"Can't Open Ferrolan.ini !"});
  EXPECT_EQ(c.session.portName.get(), "COM1:");
}

TEST_F(ConfigFileTest, ThirtyOneHighBytesMakeAWholeFileName) {
  write("SDMMC", "[AUTOUPDATE] " + std::string(31, '\xE9') + "\r\n");
  readAutoUpdateConfig(c);
  std::string e31;
  for (int i = 0; i < 31; ++i) e31 += "\xC3\xA9";
  EXPECT_EQ(c.autoUpdate.autoUpdateFileName.get(), e31);
}

TEST_F(ConfigFileTest, CardFolderComesFromTheRegistryProfile) {
  c.registry.setString("System\\StorageManager\\Profiles\\SDMemory", "Folder", "Storage Card");
  write("Storage Card", kGood);
  EXPECT_TRUE(readAutoUpdateConfig(c));
  EXPECT_EQ(c.storage.cardFolder.get(), "Storage Card");
}

TEST(StorageFolders, ProfilesPerPlatform) {
  test::ScriptedRig rig;
  Context& c = rig.ctx;
  using Folders = std::pair<std::string, std::string>;
  const std::string profiles = "System\\StorageManager\\Profiles\\";
  // Card and flash folder, looked up afresh.
  auto folders = [&c] {
    findCardFolder(c);
    findFlashFolder(c);
    return std::pair(c.storage.cardFolder.get(), c.storage.flashFolder.get());
  };
  EXPECT_EQ(folders(), Folders("SDMMC", "SDMMC"));

  c.registry.setString(profiles + "SDMemory", "Folder", "SD Card");
  c.registry.setString(profiles + "NandFls", "Folder", "NAND");
  c.registry.setString(profiles + "MMC", "Folder", "MMC Card");
  EXPECT_EQ(folders(), Folders("SD Card", "NAND"));

  // The first profile wins when both exist; a key without "Folder" keeps the old value.
  c.registry.setString(profiles + "SDMMC", "Folder", "First");
  c.registry.createKey(profiles + "SMFLASH");
  EXPECT_EQ(folders(), Folders("First", "NAND"));

  // A Pocket PC reads only its own profiles.
  c.app.isPocketPC = true;
  EXPECT_EQ(folders(), Folders("MMC Card", "NAND"));
  c.registry.setString(profiles + "MMC", "Folder", std::string(40, 'm'));
  findCardFolder(c);
  EXPECT_EQ(c.storage.cardFolder.get(), "MMC Card");  // too long: the lookup fails
}

TEST(StorageFolders, AFolderNameMustFitThirtyTwoWideCharactersWithItsEnd) {
  const std::string e = "\xC3\xA9", smile = "\xF0\x9F\x98\x80";  // one and two wide characters
  auto times = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const struct {
    std::string value;
    bool fits;
  } cases[] = {{std::string(30, 'f'), true}, {std::string(31, 'f'), true},  {std::string(32, 'f'), false},
               {std::string(40, 'f'), false}, {times(e, 31), true},         {times(e, 32), false},
               {times(smile, 15), true},      {times(smile, 15) + "ab", false}};
  for (const auto& c : cases) {
    test::ScriptedRig rig;
    rig.ctx.storage.cardFolder.set("Before");
    rig.ctx.registry.setString("System\\StorageManager\\Profiles\\SDMemory", "Folder", c.value);
    findCardFolder(rig.ctx);
    EXPECT_EQ(rig.ctx.storage.cardFolder.get(), c.fits ? c.value : "Before") << c.value;
  }
}

}  // namespace
}  // namespace ferrolan
