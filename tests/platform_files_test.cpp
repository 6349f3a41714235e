// The registry file, the device root's name mapping and text conversion.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/text.h"
#include "platform/device_root.h"
#include "platform/device_root_builder.h"
#include "platform/registry.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/ferrolan-test-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
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

}  // namespace
}  // namespace ferrolan
