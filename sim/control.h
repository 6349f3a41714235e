#pragma once
// The control channel: one command per line, for tests and users who play
// the person at the device (power-cycle it, drop the fix, pull the cable).

#include <optional>
#include <string>
#include <string_view>

#include "sim/line.h"
#include "sim/receiver.h"

namespace ferrolan::sim {

struct ControlEffects {
  bool quit = false;
  bool dumpState = false;
  std::optional<uint32_t> hangUpMs;
};

// Runs one command line; answers the reply to print ("ok", or "error: ...").
std::string runControl(std::string_view line, Receiver& rx, LineFaults& line_, XmodemFaults& xmodem, uint32_t now,
                       ControlEffects& effects);

}  // namespace ferrolan::sim
