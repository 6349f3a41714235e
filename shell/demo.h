#pragma once
// The demo: a throw-away device root with "AutoUpdate.ini" and a firmware
// image, and the simulated receiver on a pseudo-terminal behind "COM1:".

#include <string>
#include <vector>

#include "platform/process.h"

namespace ferrolan {

inline constexpr const char* kDemoFirmwareName = "FW_DEMO.bin";
inline constexpr size_t kDemoFirmwareSize = 491520;

class DemoSetup {
 public:
  DemoSetup() = default;
  ~DemoSetup() { stop(); }
  DemoSetup(const DemoSetup&) = delete;
  DemoSetup& operator=(const DemoSetup&) = delete;

  // Makes the root, starts simPath; false with a reason in error.
  bool start(const std::string& simPath, std::string& error);
  // Stops the simulator and removes the root. Safe to call twice.
  void stop();
  const std::string& root() const { return root_; }
  const std::string& line() const { return line_; }

 private:
  bool waitForLink(const std::string& link, int timeoutMs);

  std::string root_;
  std::string line_;
  ChildProcess sim_;
};

// The firmware image's bytes: deterministic, so a transfer can be checked.
std::string demoFirmware(size_t size);

// Starts ferrolan-sim with `argv` (its path first), its control input a
// pipe of ours so that keys typed at the terminal are no commands for it,
// and reads the line it reports into `line`; false with `error`.
bool startSimulator(ChildProcess& sim, const std::vector<std::string>& argv, std::string& line, std::string& error);

}  // namespace ferrolan
