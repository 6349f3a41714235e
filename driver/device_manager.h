#pragma once
// The device manager of the device root: activating a driver key runs the
// shared-port driver (ferrolan-portd) on the key's serial port, links its
// two ports as free COMn names under <root>/dev, and publishes each as
// "Drivers\Active\NN" with "Key", "Name" and the driver's "Pid". The
// driver outlives the program, so a later run finds it active; an entry
// whose driver has gone is removed whenever the entries are looked at.

#include <mutex>
#include <string>

#include "driver/driver_install.h"

namespace ferrolan {

class Clock;
class Registry;

class ProcessDeviceManager final : public DeviceManager {
 public:
  // portdPath: the driver program; the clock paces the waits for it.
  ProcessDeviceManager(std::string root, Registry& registry, std::string portdPath, Clock& clock);

  uint32_t loadLibrary(const std::string& name) override;
  void freeLibrary(uint32_t) override {}
  uint32_t activateDevice(const std::string& key) override;
  bool deactivateDevice(uint32_t device) override;
  int lastError() const override;
  // Removes the entries whose driver no longer runs; makes sure the
  // "Drivers\Active" key exists, as a device manager always has it.
  void forgetDeadDevices() override;

 private:
  std::string libraryPath() const;
  std::string entryKey(uint32_t index) const;
  uint32_t freeIndex() const;
  bool driverRuns(uint32_t pid) const;
  template <typename Done>
  bool waitFor(Done done, uint32_t limitMs);

  std::string root_;
  Registry& registry_;
  std::string portd_;
  Clock& clock_;
  mutable std::mutex m_;
  int lastError_ = 0;
};

// The driver program next to this one, else on the PATH.
std::string defaultPortdPath();

}  // namespace ferrolan
