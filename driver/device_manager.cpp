#include "driver/device_manager.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "core/text.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "ui/dialog_lists.h"

namespace ferrolan {

namespace {

namespace fs = std::filesystem;

// The platform's error codes the dialog shows.
constexpr int kErrorFileNotFound = 2, kErrorGenFailure = 31, kErrorNoMoreItems = 259;
constexpr uint32_t kMaxEntries = 99;
constexpr uint32_t kReadyWaitMs = 5000, kStopWaitMs = 3000, kPollMs = 20;

bool pathPresent(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

struct Entry {
  std::string path, key, name, pair, port;
  uint32_t pid = 0;
};

std::vector<Entry> entries(const Registry& r) {
  std::vector<Entry> out;
  for (const std::string& sub : r.subKeys(kActiveDriversKey)) {
    Entry e;
    e.path = std::string(kActiveDriversKey) + "\\" + sub;
    r.getString(e.path, "Key", e.key);
    r.getString(e.path, "Name", e.name);
    r.getString(e.path, "Pair", e.pair);
    r.getString(e.path, "Port", e.port);
    r.getDword(e.path, "Pid", e.pid);
    out.push_back(std::move(e));
  }
  return out;
}

std::string deviceName(const std::string& com) { return com + ":"; }

}  // namespace

ProcessDeviceManager::ProcessDeviceManager(std::string root, Registry& registry, std::string portdPath,
                                           Clock& clock)
    : root_(std::move(root)), registry_(registry), portd_(std::move(portdPath)), clock_(clock) {}

template <typename Done>
bool ProcessDeviceManager::waitFor(Done done, uint32_t limitMs) {
  const uint32_t start = clock_.tickCount();
  while (!done()) {
    if (clock_.tickCount() - start >= limitMs) return false;
    clock_.sleepMs(kPollMs);
  }
  return true;
}

// An entry's id counts only while it runs our driver: after a reboot it may
// belong to any program, which is neither "active" nor ours to stop.
bool ProcessDeviceManager::driverRuns(uint32_t pid) const {
  return processAlive(static_cast<int>(pid)) && processRuns(static_cast<int>(pid), portd_);
}

std::string ProcessDeviceManager::libraryPath() const {
  return (fs::path(root_) / "Windows" / kDriverLibrary).string();
}

std::string ProcessDeviceManager::entryKey(uint32_t index) const {
  return format("%s\\%02u", kActiveDriversKey, index);
}

uint32_t ProcessDeviceManager::freeIndex() const {
  for (uint32_t i = 1; i <= kMaxEntries; ++i)
    if (!registry_.keyExists(entryKey(i))) return i;
  return 0;
}

int ProcessDeviceManager::lastError() const {
  std::lock_guard l(m_);
  return lastError_;
}

uint32_t ProcessDeviceManager::loadLibrary(const std::string& name) {
  std::lock_guard l(m_);
  std::error_code ec;
  if (name != kDriverLibrary || !fs::is_regular_file(libraryPath(), ec)) {
    lastError_ = kErrorFileNotFound;
    return 0;
  }
  return 1;
}

void ProcessDeviceManager::forgetDeadDevices() {
  std::lock_guard l(m_);
  if (!registry_.keyExists(kActiveDriversKey)) registry_.createKey(kActiveDriversKey);
  for (const Entry& e : entries(registry_))
    if (!driverRuns(e.pid)) registry_.deleteKey(e.path);
}

uint32_t ProcessDeviceManager::activateDevice(const std::string& key) {
  forgetDeadDevices();
  std::lock_guard l(m_);
  std::error_code ec;
  if (!fs::is_regular_file(libraryPath(), ec) || !registry_.keyExists(key)) {
    lastError_ = kErrorFileNotFound;
    return 0;
  }
  std::string port = "COM1:", baud = "115200";
  registry_.getString(key, "SerialPortName", port);
  registry_.getString(key, "SerialBaudRate", baud);
  const bool isNmea = key == kNmeaDriverKey;

  // One driver serves both keys of a port: the second activation finds it.
  std::optional<Entry> running;
  for (const Entry& e : entries(registry_)) {
    if (e.port != port) continue;
    if (e.key == key) return static_cast<uint32_t>(decimalValue(e.path.substr(e.path.rfind('\\') + 1)));
    running = e;
  }
  const uint32_t index = freeIndex();
  if (!index) {
    lastError_ = kErrorNoMoreItems;
    return 0;
  }
  std::string name, pair;
  uint32_t pid = 0;
  if (running) {
    name = running->pair;
    pair = running->name;
    pid = running->pid;
  } else {
    std::vector<std::string> taken;
    for (const Entry& e : entries(registry_)) taken.insert(taken.end(), {e.name, e.pair});
    std::vector<std::string> free;
    for (std::string_view com : kPortList) {
      const std::string base(com.substr(0, com.size() - 1));
      if (sameIgnoringCase(com, port) || pathPresent(fs::path(root_) / "dev" / base)) continue;
      if (findEntry(taken, std::string(com)) >= 0) continue;
      free.push_back(base);
      if (free.size() == 2) break;
    }
    if (free.size() < 2) {
      lastError_ = kErrorNoMoreItems;
      return 0;
    }
    fs::create_directories(fs::path(root_) / "dev", ec);
    const fs::path nmeaLink = fs::path(root_) / "dev" / free[0], debugLink = fs::path(root_) / "dev" / free[1];
    const int started = startDetached({portd_, "--port", port, "--root", root_, "--baud", baud, "--nmea-link",
                                       nmeaLink.string(), "--debug-link", debugLink.string()},
                                      (fs::path(root_) / "Windows" / "ferrolan-portd.log").string());
    const bool ready =
        started > 0 && waitFor([&] { return pathPresent(nmeaLink) && pathPresent(debugLink); }, kReadyWaitMs);
    if (!ready) {
      if (started > 0) terminateProcess(started);
      lastError_ = kErrorGenFailure;
      return 0;
    }
    pid = static_cast<uint32_t>(started);
    name = deviceName(isNmea ? free[0] : free[1]);
    pair = deviceName(isNmea ? free[1] : free[0]);
  }
  const std::string entry = entryKey(index);
  registry_.createKey(entry);
  registry_.setString(entry, "Key", key);
  registry_.setString(entry, "Name", name);
  registry_.setString(entry, "Pair", pair);
  registry_.setString(entry, "Port", port);
  registry_.setDword(entry, "Pid", pid);
  return index;
}

bool ProcessDeviceManager::deactivateDevice(uint32_t device) {
  std::lock_guard l(m_);
  const std::string path = entryKey(device);
  uint32_t pid = 0;
  if (device == 0 || device > kMaxEntries || !registry_.getDword(path, "Pid", pid)) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  registry_.deleteKey(path);
  for (const Entry& e : entries(registry_))
    if (e.pid == pid) return true;  // the other port still uses the driver
  if (driverRuns(pid) && terminateProcess(static_cast<int>(pid)))
    waitFor([&] { return !processAlive(static_cast<int>(pid)); }, kStopWaitMs);
  return true;
}

std::string defaultPortdPath() {
  const fs::path here = fs::path(programDir()) / "ferrolan-portd";
  std::error_code ec;
  return fs::is_regular_file(here, ec) ? here.string() : std::string("ferrolan-portd");
}

}  // namespace ferrolan
