#include "shell/demo.h"

#include "platform/device_root_builder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace ferrolan {

namespace fs = std::filesystem;

std::string demoFirmware(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 0x2545F491u;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x & 0xFF);
  }
  return bytes;
}

bool DemoSetup::start(const std::string& simPath, std::string& error) {
  root_ = makeTempDir("ferrolan-demo-");
  if (root_.empty()) {
    error = "cannot make a temporary folder";
    return false;
  }
  DeviceRootBuilder builder(root_);
  std::error_code ec;
  fs::create_directories(fs::path(root_) / "received", ec);
  if (!builder.makeFolders() || !builder.writeCardFile(kDemoFirmwareName, demoFirmware(kDemoFirmwareSize)) ||
      !builder.writeAutoUpdateIni({kDemoFirmwareName, kDemoFirmwareName, "COM1", "9600"})) {
    error = "demo files: " + builder.error();
    return false;
  }
  // A receiver with firmware version 3 whose flash kernel takes the upload
  // as soon as the update command has been accepted.
  const std::string link = builder.portPath("COM1");
  std::vector<std::string> argv = {simPath, "--link",  link,    "--version-major", "3", "--version-minor",
                                   "17",    "--no-z", "--store", root_ + "/received"};
  // For tests that run many demos at once: the same update with the line
  // unpaced, so it takes seconds instead of most of a minute.
  if (const char* fast = std::getenv("FERROLAN_DEMO_UNPACED"); fast && *fast) argv.push_back("--no-pacing");
  if (!startSimulator(sim_, argv, line_, error)) return false;
  if (!waitForLink(link, 10000)) {
    error = "COM1 in " + root_ + " does not lead to the simulated receiver's line " + line_;
    return false;
  }
  return true;
}

bool startSimulator(ChildProcess& sim, const std::vector<std::string>& argv, std::string& line, std::string& error) {
  ChildOptions options;
  options.stdinPipe = true;
  if (argv.empty() || !fs::exists(argv[0]) || !sim.start(argv, options)) {
    error = "cannot start the simulated receiver " + (argv.empty() ? std::string() : argv[0]);
    return false;
  }
  if (!sim.readLine(line, 10000) || line.empty()) {
    error = "the simulated receiver did not report its line";
    sim.stop();
    return false;
  }
  return true;
}

bool DemoSetup::waitForLink(const std::string& link, int timeoutMs) {
  // "COM1:" opens the link when it exists and a serial port otherwise, so
  // the update may only start once the link leads to the reported line.
  std::error_code ec;
  const fs::path target = fs::canonical(line_, ec);
  if (ec) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const fs::path resolved = fs::canonical(link, ec);
    if (!ec && resolved == target) return true;
    if (!sim_.running() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void DemoSetup::stop() {
  sim_.stop();
  removeTree(root_);
  root_.clear();
}

}  // namespace ferrolan
