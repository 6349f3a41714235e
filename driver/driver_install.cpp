#include "driver/driver_install.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "control/storage_folders.h"
#include "core/text.h"
#include "link/link_context.h"
#include "link/serial_session.h"
#include "platform/device_root.h"
#include "platform/registry.h"
#include "ui/dialog_lists.h"
#include "ui/ui_model.h"

namespace ferrolan {

namespace {

using W = WindowId;

constexpr const char* kDefaultPort = "COM1:";
constexpr const char* kDefaultBaud = "115200";
constexpr size_t kSubkeyNameChars = 16;
constexpr size_t kKeyValueBytes = 1024;

// What the platform would print to its debug output.
void debugLine(const std::string& text) { std::fputs(text.c_str(), stderr); }

bool writeKey(Registry& r, const char* key, uint32_t portIndex, const std::string& port, const std::string& baud,
              bool failuresCount) {
  bool ok = true;
  if (!r.createKey(key)) {
    debugLine(format(failuresCount ? "Failed to create HKLM\\%s\\%s \r\n" : "Failed to create HKLM\\%s \r\n", key,
                     ""));
    if (failuresCount) ok = false;
  }
  auto text = [&](const char* name, const std::string& value) {
    if (r.setString(key, name, value)) return true;
    debugLine(format("Failed to set value %s for HKLM\\%s\\%s \r\n", value.c_str(), key, name));
    if (failuresCount) ok = false;
    return false;
  };
  text("Prefix", "COM");
  text("Dll", kDriverLibrary);
  if (!failuresCount) text("IClass", kDriverIClass);
  if (!r.setDword(key, "PortIndex", portIndex)) {
    debugLine(format("Failed to set value %d for HKLM\\%s\\%s \r\n", static_cast<int>(portIndex), key, "PortIndex"));
    if (failuresCount) ok = false;
  }
  text("SerialPortName", port);
  text("SerialBaudRate", baud);
  return ok;
}

std::string cut(std::optional<std::string_view> text, size_t chars, const char* fallback) {
  if (!text || text->empty()) return fallback;
  return std::string(text->substr(0, chars));
}

// "\A\B" copied over "\Windows\nmea.dll": false with the error code when
// the source is missing or the copy fails.
bool copyLibrary(const std::string& root, const std::string& from, int& error) {
  std::error_code ec;
  const std::string source = localPath(root, from);
  if (!std::filesystem::is_regular_file(source, ec)) {
    error = ec ? ec.value() : ENOENT;
    return false;
  }
  const std::string target = localPath(root, std::string("\\Windows\\") + kDriverLibrary);
  std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
  if (!std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, ec)) {
    error = ec.value();
    return false;
  }
  return true;
}

// The selected entry of a drop-down list, empty when none is.
std::string chosen(UiModel& ui, W w, int box) {
  const auto items = ui.items(w, box);
  const int i = ui.selection(w, box);
  return i >= 0 && static_cast<size_t>(i) < items.size() ? items[static_cast<size_t>(i)] : std::string();
}

bool usable(uint32_t device) { return device != 0 && device != kInvalidDevice; }

void showActive(DriverContext& ctx, W w, const std::string& nmea, const std::string& vbi) {
  UiModel& ui = ctx.link.ui;
  ui.setText(w, ids::kDrvStatus, format("Driver Active: NMEA: %s, VBI: %s", nmea.c_str(), vbi.c_str()));
  ui.setEnabled(w, ids::kDrvPortBox, false);
  ui.setEnabled(w, ids::kDrvBaudBox, false);
  ui.setEnabled(w, ids::kDrvInstall, false);
  ui.setEnabled(w, ids::kDrvUninstall, true);
}

std::string stored(Registry& r, const char* name, size_t chars) {
  std::string v;
  r.getString(kNmeaDriverKey, name, v);
  if (v.size() > chars) v.resize(chars);
  return v;
}

void install(DriverContext& ctx, W w) {
  UiModel& ui = ctx.link.ui;
  ui.setText(w, ids::kDrvStatus, "Please wait");
  std::string port = chosen(ui, w, ids::kDrvPortBox), baud = chosen(ui, w, ids::kDrvBaudBox);
  if (port.size() > kDriverPortChars) port.resize(kDriverPortChars);
  if (baud.size() > kDriverBaudChars) baud.resize(kDriverBaudChars);
  auto warn = [&](const std::string& text) { ui.messageBox(w, text, "WARN", kMbOk); };

  findCardFolder(ctx.storage);
  int error = 0;
  bool copied = copyLibrary(ctx.root, "\\" + ctx.storage.storage.cardFolder.get() + "\\" + kDriverLibrary, error);
  if (!copied) {
    findFlashFolder(ctx.storage);
    copied = copyLibrary(ctx.root, "\\" + ctx.storage.storage.flashFolder.get() + "\\" + kDriverLibrary, error);
  }
  if (!copied) copied = copyLibrary(ctx.root, std::string("\\") + kDriverLibrary, error);
  if (!copied) warn(format("CopyFile Fail: %d", error));

  if (!RegisterDualPortDriver(ctx.registry, port, baud)) warn("RegisterDualPortDriver Fail!");
  const uint32_t library = ctx.devices.loadLibrary(kDriverLibrary);
  if (!library) warn(format("Load NMEA DLL Fail: %x %d", library, ctx.devices.lastError()));
  const uint32_t nmea = ctx.devices.activateDevice(kNmeaDriverKey);
  if (!usable(nmea)) warn(format("Activate NMEA Fail: %x %d", nmea, ctx.devices.lastError()));
  ctx.handles.nmeaDevice = nmea;
  const uint32_t vbi = ctx.devices.activateDevice(kDebugDriverKey);
  if (!usable(vbi)) warn(format("Activate VBI Fail: %x %d", vbi, ctx.devices.lastError()));
  ctx.handles.vbiDevice = vbi;
  if (library) ctx.devices.freeLibrary(library);

  std::string nmeaName, vbiName;
  if (findActiveDrivers(ctx.registry, ui, nmeaName, vbiName) == 1) {
    showActive(ctx, w, nmeaName, vbiName);
    auto select = [&](int box, const std::string& text) {
      const int i = findEntry(ui.items(w, box), text);
      if (i >= 0) ui.setSelection(w, box, i);
    };
    select(ids::kDrvPortBox, stored(ctx.registry, "SerialPortName", kDriverPortChars));
    select(ids::kDrvBaudBox, stored(ctx.registry, "SerialBaudRate", kDriverBaudChars));
    ctx.link.session.dualPortActive = true;
    ctx.link.session.protocolMode = ProtocolMode::Vbi;
  } else {
    ui.setText(w, ids::kDrvStatus, "Installation Failed!");
  }
  ui.repaint(w);
}

void uninstall(DriverContext& ctx, W w) {
  for (std::atomic<uint32_t>* h : {&ctx.handles.nmeaDevice, &ctx.handles.vbiDevice}) {
    if (!usable(*h)) continue;
    ctx.devices.deactivateDevice(*h);
    *h = kInvalidDevice;
  }
  UiModel& ui = ctx.link.ui;
  ui.setText(w, ids::kDrvStatus, "Not installed");
  ui.setEnabled(w, ids::kDrvPortBox, true);
  ui.setEnabled(w, ids::kDrvBaudBox, true);
  ui.setEnabled(w, ids::kDrvInstall, true);
  ui.setEnabled(w, ids::kDrvUninstall, false);
}

}  // namespace

bool RegisterDualPortDriver(Registry& registry, std::optional<std::string_view> port,
                            std::optional<std::string_view> baud) {
  const std::string p = cut(port, kDriverPortChars, kDefaultPort), b = cut(baud, kDriverBaudChars, kDefaultBaud);
  // The NMEA key's failures are only reported; the debug key's count.
  writeKey(registry, kNmeaDriverKey, 1, p, b, false);
  return writeKey(registry, kDebugDriverKey, 2, p, b, true);
}

int findActiveDrivers(Registry& registry, UiModel& ui, std::string& nmeaName, std::string& vbiName) {
  auto fail = [&](const std::string& text) {
    debugLine(text);
    ui.messageBox(std::nullopt, text, "", kMbOk);
    return 0;
  };
  if (!registry.keyExists(kActiveDriversKey)) return fail("Failed to open HKLM\\Drivers\\Active\r\n");
  const std::vector<std::string> subkeys = registry.subKeys(kActiveDriversKey);
  bool nmea = false, vbi = false;
  const std::string_view nmeaKey = kNmeaDriverKey, vbiKey = kDebugDriverKey;
  for (const std::string& name : subkeys) {
    if (name.size() > kSubkeyNameChars) return fail("Failed to get next Key name of HKLM\\Drivers\\Active\r\n");
    const std::string path = std::string(kActiveDriversKey) + "\\" + name;
    if (!registry.keyExists(path)) {
      debugLine(format("Failed to open HKLM\\Drivers\\Active\\%s \r\n", name.c_str()));
      ui.messageBox(std::nullopt, name, "", kMbOk);
      return 0;
    }
    std::string key;
    registry.getString(path, "Key", key);
    if (key.size() > kKeyValueBytes) key.resize(kKeyValueBytes);
    if (!nmea && key.compare(0, nmeaKey.size(), nmeaKey) == 0) {
      nmea = registry.getString(path, "Name", nmeaName);
    } else if (!vbi && key.compare(0, vbiKey.size(), vbiKey) == 0) {
      vbi = registry.getString(path, "Name", vbiName);
    }
    if (nmea && vbi) break;
  }
  return nmea && vbi ? 1 : 0;
}

DialogProcedures driverInstallProcedures(DriverContext& ctx, DialogHost& host) {
  DialogProcedures p;
  p.initialized = [&ctx](W w) {
    UiModel& ui = ctx.link.ui;
    ctx.devices.forgetDeadDevices();
    std::string nmea, vbi;
    if (findActiveDrivers(ctx.registry, ui, nmea, vbi) == 1) {
      showActive(ctx, w, nmea, vbi);
      fillList(ui, w, ids::kDrvPortBox, {stored(ctx.registry, "SerialPortName", kDriverPortChars)}, 0);
      fillList(ui, w, ids::kDrvBaudBox, {stored(ctx.registry, "SerialBaudRate", kDriverBaudChars)}, 0);
      return;
    }
    const auto ports = listOf(kPortList), bauds = listOf(kBaudList);
    fillList(ui, w, ids::kDrvPortBox, ports, findEntry(ports, ctx.link.session.portName.get()));
    fillList(ui, w, ids::kDrvBaudBox, bauds, findEntry(bauds, ctx.link.session.baudText.get()));
    ui.setEnabled(w, ids::kDrvUninstall, false);
  };
  p.command = [&ctx, &host](W w, int command) {
    switch (command) {
      case ids::kDrvInstall: return install(ctx, w);
      case ids::kDrvUninstall: return uninstall(ctx, w);
      case ids::kOk:
      case ids::kCancel: return host.endDialog(w, command);
      default: return;
    }
  };
  return p;
}

void closeDriverHandles(DriverDevices& handles) {
  for (std::atomic<uint32_t>* h : {&handles.nmeaDevice, &handles.vbiDevice})
    if (usable(*h)) *h = kInvalidDevice;
}

}  // namespace ferrolan
