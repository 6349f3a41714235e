#pragma once
// Command-line options of ferrolan-sim and the text of --help.

#include <optional>
#include <string>
#include <vector>

#include "sim/line.h"
#include "sim/receiver.h"
#include "sim/xmodem_receiver.h"

namespace ferrolan::sim {

struct SimOptions {
  ReceiverConfig receiver;
  XmodemFaults xmodem;
  LineFaults line;
  bool powerCycleOnReopen = false;
  std::string replayFile;
  bool replayFast = false;
  double exitAfterSeconds = 0;  // 0 = run until killed
  std::string link, device, control;
  bool help = false;
};

// Parses argv[1..]; answers an error text, empty on success.
std::string parseOptions(const std::vector<std::string>& args, SimOptions& out);
const char* helpText();

}  // namespace ferrolan::sim
