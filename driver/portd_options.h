#pragma once
// The command line of ferrolan-portd, the shared-port driver's program.

#include <cstdint>
#include <string>
#include <vector>

#include "core/command_line.h"

namespace ferrolan {

struct PortdOptions {
  std::string port;  // "COMn:" or a device path
  std::string root = ".";
  uint32_t baud = 115200;
  std::string nmeaLink, debugLink;
};

// How the program ends; the numbers are documented in --help.
enum PortdExit : int {
  kPortdStopped = 0,
  kPortdSystemRefused = 1,  // no pty, or a link could not be made
  kPortdBadLine = kBadCommandLine,
  kPortdNoSuchPort = 3,
  kPortdPortBusy = 4,  // exists but cannot be opened or set: in use, no permission, not a tty
  kPortdReceiverGone = 5,
};

CommandLine<PortdOptions> parsePortdOptions(const std::vector<std::string>& args);

}  // namespace ferrolan
