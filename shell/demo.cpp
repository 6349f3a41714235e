#include "shell/demo.h"

#include <filesystem>
#include <fstream>

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
  std::error_code ec;
  fs::create_directories(fs::path(root_) / "SDMMC", ec);
  fs::create_directories(fs::path(root_) / "dev", ec);
  fs::create_directories(fs::path(root_) / "received", ec);
  {
    std::ofstream fw(fs::path(root_) / "SDMMC" / kDemoFirmwareName, std::ios::binary);
    fw << demoFirmware(kDemoFirmwareSize);
    std::ofstream ini(fs::path(root_) / "SDMMC" / "AutoUpdate.ini", std::ios::binary);
    ini << "[AUTOUPDATE] " << kDemoFirmwareName << "\r\n"
        << "[AUTOUPDATEP2] " << kDemoFirmwareName << "\r\n"
        << "[COM] COM1\r\n"
        << "[BAUDRATE] 9600\r\n";
    if (!fw || !ini) {
      error = "cannot write the demo files in " + root_;
      return false;
    }
  }
  // A receiver with firmware version 3 whose flash kernel takes the upload
  // as soon as the update command has been accepted.
  const std::vector<std::string> argv = {simPath,         "--link",          root_ + "/dev/COM1", "--version-major",
                                         "3",             "--version-minor", "17",                "--no-z",
                                         "--store",       root_ + "/received"};
  // Its control input is ours, not the terminal's: keys typed at the demo
  // are no commands for the receiver.
  ChildOptions options;
  options.stdinPipe = true;
  if (!fs::exists(simPath) || !sim_.start(argv, options)) {
    error = "cannot start the simulated receiver " + simPath;
    return false;
  }
  if (!sim_.readLine(line_, 10000) || line_.empty()) {
    error = "the simulated receiver did not report its line";
    return false;
  }
  return true;
}

void DemoSetup::stop() {
  sim_.stop();
  removeTree(root_);
  root_.clear();
}

}  // namespace ferrolan
