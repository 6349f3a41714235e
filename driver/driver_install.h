#pragma once
// Installing the shared-port driver: the two registry keys that describe
// it, the device manager that activates them, the look-up of the running
// devices under "Drivers\Active", and the Dual Port dialog that ties them
// together.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/dialog_host.h"

namespace ferrolan {

struct LinkContext;
struct StorageContext;
class Registry;
class UiModel;

inline constexpr const char* kNmeaDriverKey = "Drivers\\BuiltIn\\NMEA";
inline constexpr const char* kDebugDriverKey = "Drivers\\BuiltIn\\GPSDBG";
inline constexpr const char* kActiveDriversKey = "Drivers\\Active";
inline constexpr const char* kDriverLibrary = "nmea.dll";
inline constexpr const char* kDriverIClass = "{A32942B7-920C-486b-B0E6-92A702A99B35}";
inline constexpr uint32_t kInvalidDevice = 0xFFFFFFFFu;
inline constexpr size_t kDriverPortChars = 7, kDriverBaudChars = 31;

// What loads driver libraries and runs devices, as the platform offers it.
class DeviceManager {
 public:
  virtual ~DeviceManager() = default;
  // A library handle, 0 when it cannot be loaded.
  virtual uint32_t loadLibrary(const std::string& name) = 0;
  virtual void freeLibrary(uint32_t library) = 0;
  // Starts the device a driver key describes: its handle, or 0 / invalid.
  virtual uint32_t activateDevice(const std::string& key) = 0;
  virtual bool deactivateDevice(uint32_t device) = 0;
  virtual int lastError() const = 0;
  // Lets go of what claims to be active but no longer runs.
  virtual void forgetDeadDevices() {}
};

// The devices this run activated: 0 at start, invalid once let go.
struct DriverDevices {
  std::atomic<uint32_t> nmeaDevice{0};
  std::atomic<uint32_t> vbiDevice{0};
};

struct DriverContext {
  LinkContext& link;
  StorageContext& storage;
  Registry& registry;
  const std::string& root;
  DeviceManager& devices;
  DriverDevices& handles;
};

// Writes both driver keys; a text is used when given (the port cut to 7
// characters, the rate to 31), else "COM1:" and "115200".
bool RegisterDualPortDriver(Registry& registry, std::optional<std::string_view> port,
                            std::optional<std::string_view> baud);

// 1 when both drivers are active, with their device names; 0 otherwise.
// Failures to read "Drivers\Active" are shown in a message box.
int findActiveDrivers(Registry& registry, UiModel& ui, std::string& nmeaName, std::string& vbiName);

DialogProcedures driverInstallProcedures(DriverContext& ctx, DialogHost& host);

// The shutdown's end of the devices: the handles are let go, the driver
// keeps serving the other programs.
void closeDriverHandles(DriverDevices& handles);

}  // namespace ferrolan
