#pragma once
// Command-line options of ferrolan-sim.

#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"
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
  double replaySpeed = 1;  // log seconds per second; 0 = as fast as possible
  uint32_t hangUpAtBlock = 0;  // the line drops for good at this block of a flash transfer
  double exitAfterSeconds = 0;  // 0 = run until killed
  std::string link, device, control;
};

// Reads args (without the program's name); --help and a bad line end in
// `exit`.
CommandLine<SimOptions> parseOptions(const std::vector<std::string>& args);

}  // namespace ferrolan::sim
