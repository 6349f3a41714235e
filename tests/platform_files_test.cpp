// The registry file, the device root's name mapping and text conversion.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "core/text.h"
#include "tests/support/fifo_feeder.h"
#include "platform/device_root.h"
#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/tty_port.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path = makeTempDir("ferrolan-test-");
  ~TempDir() { removeTree(path.string()); }
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Registry, MissingFileIsEmptyAndWritesPersistAtomically) {
  TempDir dir;
  const auto file = dir.path / "registry.reg";
  {
    Registry reg(file.string());
    EXPECT_FALSE(reg.keyExists("System\\GDI\\Rotation"));
    ASSERT_TRUE(reg.setDword("System\\GDI\\Rotation", "Angle", 90));
    ASSERT_TRUE(reg.setString("System\\StorageManager\\Profiles\\SDMemory", "Folder", "Storage Card"));
    ASSERT_TRUE(reg.setString("Drivers\\BuiltIn\\NMEA", "Dll", "nmea.dll"));
  }
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
  const std::string text = slurp(file);
  EXPECT_EQ(text.substr(0, 8), "REGEDIT4");
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\System\\GDI\\Rotation]\r\n\"Angle\"=dword:0000005a"), std::string::npos);

  Registry again(file.string());
  uint32_t angle = 0;
  ASSERT_TRUE(again.getDword("system\\gdi\\ROTATION", "angle", angle));  // case ignored
  EXPECT_EQ(angle, 90u);
  std::string folder;
  ASSERT_TRUE(again.getString("System\\StorageManager\\Profiles\\SDMemory", "Folder", folder));
  EXPECT_EQ(folder, "Storage Card");
  EXPECT_FALSE(again.getString("System\\GDI\\Rotation", "Angle", folder));  // wrong type
  EXPECT_EQ(again.subKeys("Drivers\\BuiltIn"), std::vector<std::string>{"NMEA"});
  EXPECT_EQ(again.subKeys("System\\StorageManager"), std::vector<std::string>{"Profiles"});
  ASSERT_TRUE(again.deleteKey("Drivers"));
  EXPECT_FALSE(again.keyExists("Drivers\\BuiltIn\\NMEA"));
  EXPECT_TRUE(Registry(file.string()).subKeys("Drivers").empty());
}

TEST(Registry, HandWrittenFilesWithQuotesAndJunk) {
  Registry reg;
  EXPECT_FALSE(reg.parse("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Name\"=\"say \\\"hi\\\" \\\\ there\"\r\n"
                         "garbage line\r\n\"D\"=dword:zz\r\n\"E\"=dword:00000010\r\n"
                         "[HKEY_CURRENT_USER\\B]\r\n\"X\"=\"not ours\"\r\n"));
  std::string v;
  ASSERT_TRUE(reg.getString("A", "Name", v));
  EXPECT_EQ(v, "say \"hi\" \\ there");
  uint32_t d = 0;
  EXPECT_FALSE(reg.getDword("A", "D", d));
  ASSERT_TRUE(reg.getDword("A", "E", d));
  EXPECT_EQ(d, 16u);
  EXPECT_FALSE(reg.keyExists("B"));
  // What is written reads back the same.
  Registry copy;
  EXPECT_TRUE(copy.parse(reg.serialize()));
  EXPECT_EQ(copy.serialize(), reg.serialize());
}

TEST(Registry, FilesThatAreNotSmallRegularFilesReadAsEmptyAndAreKept) {
  const std::string good = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Probe]\r\n\"V\"=dword:00000001\r\n";
  auto sized = [&](size_t n) {
    return [&, n](const fs::path& f) -> std::unique_ptr<test::FifoFeeder> {
      std::ofstream(f, std::ios::binary) << good << std::string(n - good.size(), '\n');
      return nullptr;
    };
  };
  struct Case {
    const char* what;
    std::function<std::unique_ptr<test::FifoFeeder>(const fs::path&)> make;
    bool read;
  } cases[] = {
      {"at the limit", sized(kRegistryFileLimit), true},
      {"over the limit", sized(kRegistryFileLimit + 1), false},
      {"FIFO", [&](const fs::path& f) { return std::make_unique<test::FifoFeeder>(f.string(), good); }, false},
      {"link to /dev/zero",
       [](const fs::path& f) -> std::unique_ptr<test::FifoFeeder> {
         fs::create_symlink("/dev/zero", f);
         return nullptr;
       },
       false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path file = dir.path / "registry.reg";
    auto feeder = c.make(file);
    const auto type = fs::symlink_status(file).type();
    const auto size = type == fs::file_type::regular ? fs::file_size(file) : 0;
    Registry reg(file.string());
    EXPECT_EQ(reg.keyExists("Probe"), c.read) << c.what;
    if (c.read) continue;
    // Not read, so not replaced by what little the registry holds.
    EXPECT_FALSE(reg.setDword("Probe", "W", 2)) << c.what;
    EXPECT_EQ(fs::symlink_status(file).type(), type) << c.what;
    if (type == fs::file_type::regular) {
      EXPECT_EQ(fs::file_size(file), size) << c.what;
    }
  }
}

TEST(DeviceRoot, DevicePathsThatClimbOutOfTheRootAreMissing) {
  const std::string root = "/r";
  const struct {
    const char* device;
    const char* local;  // "" when nothing may open
  } cases[] = {
      {"\\SDMMC\\AutoUpdate.ini", "/r/SDMMC/AutoUpdate.ini"},
      {"\\SDMMC\\..\\..\\..\\outside\\tiny.bin", ""},
      {"\\../../outside\\AutoUpdate.ini", ""},
      {"/SDMMC/..", ""},
      {"..", ""},
      {"\\SDMMC/..\\x", ""},
      {"\\...\\a..b\\..c", "/r/.../a..b/..c"},
      {"\\.\\SDMMC", "/r/./SDMMC"},
  };
  for (const auto& c : cases) EXPECT_EQ(localPath(root, c.device), c.local) << c.device;
}

TEST(DeviceRoot, PortLinksThatLeadNowhereFailInsteadOfFallingBack) {
  TempDir dir;
  const std::string root = dir.path.string();
  const fs::path dev = dir.path / "dev";
  fs::create_directories(dev);
  fs::create_symlink(dev / "gone", dev / "COM4");
  fs::create_symlink(dev / "COM5", dev / "COM5");
  fs::create_symlink("/dev/null", dev / "COM6");
  const struct {
    const char* name;
    std::string device;
    bool broken;
  } cases[] = {{"COM4:", root + "/dev/COM4", true},
               {"COM5:", root + "/dev/COM5", true},
               {"COM6:", root + "/dev/COM6", false},
               {"COM7:", "/dev/ttyS6", false}};
  TtyPortOpener opener(root);
  for (const auto& c : cases) {
    EXPECT_EQ(resolvePortDevice(root, c.name), c.device) << c.name;
    if (c.broken) {
      EXPECT_FALSE(opener.open(c.name)) << c.name;
    }
  }
}

TEST(DeviceRoot, PathsAndPortNames) {
  TempDir dir;
  const std::string root = dir.path.string();
  EXPECT_EQ(localPath(root, "\\SDMMC\\AutoUpdate.ini"), root + "/SDMMC/AutoUpdate.ini");
  EXPECT_EQ(localPath(root + "/", "\\Windows\\nmea.dll"), root + "/Windows/nmea.dll");
  EXPECT_EQ(resolvePortDevice(root, "COM1:"), "/dev/ttyS0");
  EXPECT_EQ(resolvePortDevice(root, "COM0:"), "/dev/ttyS9");
  ASSERT_TRUE(DeviceRootBuilder(root).linkPort("COM3", "/dev/null"));
  EXPECT_EQ(resolvePortDevice(root, "COM3:"), root + "/dev/COM3");
  EXPECT_EQ(resolvePortDevice(root, "/dev/pts/7:"), "/dev/pts/7");
  EXPECT_EQ(resolvePortDevice(root, "/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(resolvePortDevice(root, "COM10:"), "");
  EXPECT_EQ(resolvePortDevice(root, "\nCOM3:"), "");
  EXPECT_EQ(resolvePortDevice(root, "COM3"), "");
}

TEST(Text, DecimalValueFollowsThePlatformConversion) {
  EXPECT_EQ(decimalValue("9600"), 9600);
  EXPECT_EQ(decimalValue("  115200abc"), 115200);
  EXPECT_EQ(decimalValue("-12"), -12);
  EXPECT_EQ(decimalValue("fast"), 0);
  EXPECT_EQ(decimalValue(""), 0);
  EXPECT_EQ(decimalValue("99999999999999999999"), 2147483647);
  EXPECT_EQ(decimalValue("-99999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(bounded("COM1:", 80), "COM1:");
  EXPECT_EQ(bounded(std::string(100, 'x'), 80).size(), 79u);
  SharedText<4> t{"abcdef"};
  EXPECT_EQ(t.get(), "abc");
}

TEST(Text, CapacitiesCountCharactersAndNeverSplitOne) {
  const struct {
    std::string in;
    size_t capacity;
    std::string out;
  } cases[] = {
      {"abcdef", 4, "abc"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9", 3, "\xC3\xA9\xC3\xA9"},
      {"a\xE2\x82\xAC" "b", 3, "a\xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80x", 2, "\xF0\x9F\x98\x80"},
      {"\xC3" "ab", 2, "\xC3"},       // a lead byte without its continuation
      {"\x80\x80z", 3, "\x80\x80"},  // stray continuation bytes, one each
      {"\xE2\x82", 5, "\xE2\x82"},   // cut short at the end
      {"abc", 1, ""},
      {"abc", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(bounded(c.in, c.capacity), c.out) << c.in << " in " << c.capacity;

  const struct {
    std::string latin1, utf8;
  } conversions[] = {{"caf\xE9", "caf\xC3\xA9"}, {"\x7F\x80\xFF", "\x7F\xC2\x80\xC3\xBF"}, {"", ""}};
  for (const auto& c : conversions) EXPECT_EQ(latin1ToUtf8(c.latin1), c.utf8) << c.latin1;

  // 31 Latin-1 characters fill a 32-character text whole, at two bytes each.
  SharedText<32> name{latin1ToUtf8(std::string(31, '\xE9'))};
  EXPECT_EQ(name.get(), latin1ToUtf8(std::string(31, '\xE9')));
}

}  // namespace
}  // namespace ferrolan
