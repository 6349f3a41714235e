// The Dual Port dialog on the UI model with a device manager of the test's
// own: the registry it writes, the two looks, every failure box, and the
// look-up of the active drivers.
#include <filesystem>
#include <fstream>

#include "driver/device_manager.h"
#include "driver/driver_install.h"
#include "platform/process.h"
#include "tests/support/dialog_rig.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;
constexpr WindowId kDialog = WindowId::DriverInstall;

// Activates by publishing entries as a device manager does; each step can
// be made to fail.
struct TestDevices final : DeviceManager {
  Registry& registry;
  bool libraryLoads = true, nmeaStarts = true, vbiStarts = true;
  std::vector<uint32_t> deactivated;
  explicit TestDevices(Registry& r) : registry(r) {}
  uint32_t loadLibrary(const std::string&) override { return libraryLoads ? 0x4000 : 0; }
  void freeLibrary(uint32_t) override {}
  uint32_t activateDevice(const std::string& key) override {
    const bool nmea = key == kNmeaDriverKey;
    if (!(nmea ? nmeaStarts : vbiStarts)) return 0;
    const std::string entry = std::string(kActiveDriversKey) + (nmea ? "\\05" : "\\06");
    registry.setString(entry, "Key", key);
    registry.setString(entry, "Name", nmea ? "COM5:" : "COM6:");
    return nmea ? 5 : 6;
  }
  bool deactivateDevice(uint32_t d) override {
    deactivated.push_back(d);
    return true;
  }
  int lastError() const override { return 2; }
};

std::vector<std::string> boxesOf(const test::RecordingHost& host) {
  std::vector<std::string> out;
  for (const auto& b : host.boxes()) out.push_back(b.caption + "|" + b.text);
  return out;
}

struct DriverRig {
  std::string root = makeTempDir("ferrolan-drv-");
  test::ScriptedRig base;
  Registry& registry = base.ctx.registry;
  TestDevices devices{registry};
  DriverDevices handles;
  DriverContext dctx{base.ctx, base.ctx, registry, root, devices, handles};
  EndRecorder host;
  DialogProcedures procedures;

  DriverRig() {
    registry.createKey(kActiveDriversKey);
    base.ctx.session.portName.set("COM3:");
    base.ctx.session.baudText.set("38400");
  }
  ~DriverRig() { removeTree(root); }
  void open() {
    procedures = driverInstallProcedures(dctx, host);
    base.ui.openWindow(kDialog, initialControls(static_cast<int>(kDialog)));
    procedures.initialized(kDialog);
  }
  void click(int id) { procedures.command(kDialog, id); }
  UiModel& ui() { return base.ui; }
  // The look: the status, then 1 for each of port list, baud list, Install, Uninstall enabled.
  std::string look() {
    std::string out = ui().text(kDialog, ids::kDrvStatus) + " ";
    for (int id : {ids::kDrvPortBox, ids::kDrvBaudBox, ids::kDrvInstall, ids::kDrvUninstall})
      out += ui().enabled(kDialog, id) ? '1' : '0';
    return out;
  }
};

TEST(DriverRegistry, BothKeysHoldTheirValues) {
  struct Row {
    std::optional<std::string_view> port, baud;
    const char* wantPort;
    const char* wantBaud;
  };
  const Row rows[] = {
      {"COM2:", "9600", "COM2:", "9600"},
      {std::nullopt, std::nullopt, "COM1:", "115200"},
      {"/dev/ttyUSB0", std::string_view("1152000000000000000000000000000000000"), "/dev/tt",
       "1152000000000000000000000000000"},
  };
  for (const Row& row : rows) {
    Registry r;
    EXPECT_TRUE(RegisterDualPortDriver(r, row.port, row.baud));
    const std::string values = std::string("\"PortIndex\"=dword:0000000%d\r\n\"Prefix\"=\"COM\"\r\n") +
                               "\"SerialBaudRate\"=\"" + row.wantBaud + "\"\r\n\"SerialPortName\"=\"" +
                               row.wantPort + "\"\r\n";
    EXPECT_EQ(r.serialize(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\GPSDBG]\r\n\"Dll\"=\"nmea.dll\"\r\n" +
                  format(values.c_str(), 2) +
                  "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\NMEA]\r\n\"Dll\"=\"nmea.dll\"\r\n"
                  "\"IClass\"=\"{A32942B7-920C-486b-B0E6-92A702A99B35}\"\r\n" +
                  format(values.c_str(), 1));
  }
}

TEST(DriverDialog, InstallsThroughEveryFailureAndUninstalls) {
  struct Row {
    const char* name;
    const char* libraryIn;  // a device folder holding nmea.dll, or null
    bool loads, nmea, vbi;
    std::vector<std::string> boxes;
    const char* status;
  };
  const Row rows[] = {
      {"from the card", "SDMMC", true, true, true, {}, "Driver Active: NMEA: COM5:, VBI: COM6:"},
      {"from the root only", "", true, true, true, {}, "Driver Active: NMEA: COM5:, VBI: COM6:"},
      {"no library anywhere", nullptr, false, true, true,
       {"WARN|CopyFile Fail: 2", "WARN|Load NMEA DLL Fail: 0 2"}, "Driver Active: NMEA: COM5:, VBI: COM6:"},
      {"NMEA fails", "SDMMC", true, false, true, {"WARN|Activate NMEA Fail: 0 2"}, "Installation Failed!"},
      {"VBI fails", "SDMMC", true, true, false, {"WARN|Activate VBI Fail: 0 2"}, "Installation Failed!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DriverRig r;
    if (row.libraryIn) {
      fs::create_directories(fs::path(r.root) / row.libraryIn);
      std::ofstream(fs::path(r.root) / row.libraryIn / "nmea.dll") << "library";
    }
    r.devices.libraryLoads = row.loads;
    r.devices.nmeaStarts = row.nmea;
    r.devices.vbiStarts = row.vbi;
    r.open();
    EXPECT_EQ(r.look(), "Not installed 1110");
    EXPECT_EQ(r.ui().selection(kDialog, ids::kDrvPortBox), 2);  // COM3:
    EXPECT_EQ(r.ui().selection(kDialog, ids::kDrvBaudBox), 3);  // 38400

    r.click(ids::kDrvInstall);
    EXPECT_EQ(boxesOf(r.base.host), row.boxes);
    const bool active = row.nmea && row.vbi;
    EXPECT_EQ(r.look(), std::string(row.status) + (active ? " 0001" : " 1110"));
    EXPECT_EQ(r.base.ctx.session.dualPortActive, active ? 1 : 0);
    EXPECT_EQ(r.base.ctx.session.protocolMode, active ? ProtocolMode::Vbi : ProtocolMode::Nmea);
    EXPECT_EQ(fs::exists(fs::path(r.root) / "Windows" / "nmea.dll"), row.libraryIn != nullptr);
    std::string port;
    EXPECT_TRUE(r.registry.getString(kNmeaDriverKey, "SerialPortName", port));
    EXPECT_EQ(port, "COM3:");

    r.click(ids::kDrvUninstall);
    EXPECT_EQ(r.look(), "Not installed 1110");
    std::vector<uint32_t> stopped;
    if (row.nmea) stopped.push_back(5);
    if (row.vbi) stopped.push_back(6);
    EXPECT_EQ(r.devices.deactivated, stopped);
  }
}

TEST(DriverDialog, OpensActiveForAnEarlierRunsDriversAndLetsThemRun) {
  DriverRig r;
  RegisterDualPortDriver(r.registry, "COM4:", "57600");
  r.devices.activateDevice(kNmeaDriverKey);
  r.devices.activateDevice(kDebugDriverKey);
  r.open();
  EXPECT_EQ(r.look(), "Driver Active: NMEA: COM5:, VBI: COM6: 0001");
  EXPECT_EQ(r.ui().items(kDialog, ids::kDrvPortBox), std::vector<std::string>{"COM4:"});
  EXPECT_EQ(r.ui().items(kDialog, ids::kDrvBaudBox), std::vector<std::string>{"57600"});
  r.click(ids::kDrvUninstall);  // this run activated nothing to let go
  EXPECT_TRUE(r.devices.deactivated.empty());
  EXPECT_EQ(r.look(), "Not installed 1110");
  r.click(ids::kCancel);
  EXPECT_EQ(r.host.ended, std::vector<int>{ids::kCancel});
}

TEST(DriverLookup, NeedsBothDriversAndTellsWhatItCannotRead) {
  struct Row {
    std::vector<std::pair<std::string, std::string>> entries;  // subkey, Key
    bool activeKey;
    int result;
    std::vector<std::string> boxes;
  };
  const std::string nmea = kNmeaDriverKey, vbi = kDebugDriverKey;
  const Row rows[] = {
      {{{"01", nmea}, {"02", vbi}}, true, 1, {}},
      {{{"01", nmea + "\\Extra"}, {"02", vbi}}, true, 1, {}},  // compared over the key's length
      {{{"01", nmea}}, true, 0, {}},
      {{{"01", "Drivers\\BuiltIn\\Serial"}, {"02", vbi}}, true, 0, {}},
      {{}, false, 0, {"|Failed to open HKLM\\Drivers\\Active\r\n"}},
      {{{"0123456789abcdefg", nmea}}, true, 0, {"|Failed to get next Key name of HKLM\\Drivers\\Active\r\n"}},
  };
  for (const Row& row : rows) {
    test::ScriptedRig rig;
    Registry& reg = rig.ctx.registry;
    if (row.activeKey) reg.createKey(kActiveDriversKey);
    for (const auto& [sub, key] : row.entries) {
      reg.setString(std::string(kActiveDriversKey) + "\\" + sub, "Key", key);
      reg.setString(std::string(kActiveDriversKey) + "\\" + sub, "Name", "COM" + sub.substr(1, 1) + ":");
    }
    std::string n, v;
    EXPECT_EQ(findActiveDrivers(reg, rig.ui, n, v), row.result) << reg.serialize();
    EXPECT_EQ(boxesOf(rig.host), row.boxes);
    if (row.result) {
      EXPECT_EQ(n + v, "COM1:COM2:");
    }
  }
}

// The device manager's own entries: one whose id went to another program
// (after a reboot, say) neither counts as active nor gets that program
// stopped.
TEST(ProcessDevices, OnlyItsOwnRunningDriverIsActiveOrStopped) {
  ChildProcess other, gone;
  ASSERT_TRUE(other.start({"/bin/sleep", "30"}));
  ASSERT_TRUE(gone.start({"/bin/true"}));
  ASSERT_TRUE(gone.wait(5000));
  const std::string root = makeTempDir("ferrolan-devices-");
  Registry reg;
  VirtualClock clock;
  ProcessDeviceManager devices(root, reg, root + "/ferrolan-portd", clock);
  const auto publish = [&](const char* sub, int pid) {
    reg.setString(std::string(kActiveDriversKey) + "\\" + sub, "Key", kNmeaDriverKey);
    reg.setDword(std::string(kActiveDriversKey) + "\\" + sub, "Pid", static_cast<uint32_t>(pid));
  };
  for (auto [sub, pid] : {std::pair{"01", other.pid()}, {"02", gone.pid()}, {"03", 0}}) publish(sub, pid);
  devices.forgetDeadDevices();
  EXPECT_TRUE(reg.keyExists(kActiveDriversKey));
  EXPECT_TRUE(reg.subKeys(kActiveDriversKey).empty()) << reg.serialize();

  publish("01", other.pid());
  EXPECT_TRUE(devices.deactivateDevice(1));
  EXPECT_FALSE(reg.keyExists(std::string(kActiveDriversKey) + "\\01"));
  EXPECT_TRUE(processAlive(other.pid()));
  EXPECT_FALSE(devices.deactivateDevice(1));
  EXPECT_EQ(devices.lastError(), 2);
  EXPECT_EQ(devices.activateDevice(kNmeaDriverKey), 0u);  // no library in Windows/
  EXPECT_EQ(devices.lastError(), 2);
  other.stop();
  removeTree(root);
}

}  // namespace
}  // namespace ferrolan
