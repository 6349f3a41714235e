#pragma once
// The command line of ferrolan.

#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"

namespace ferrolan {

struct ProgramOptions {
  std::string root = ".";
  bool console = false;
  bool demo = false;
  bool tool = false;
  bool tui = false;
  std::optional<std::string> platformType;
  std::optional<std::string> replay;  // a recorded log to play as the receiver
  double speed = 1;                   // times the log's own speed; 0 as fast as possible
  // The production-line station.
  bool station = false;
  std::string db;
  int jobs = 0;
  bool watch = false;
  std::optional<std::string> report;
  std::vector<std::string> ports;
};

// Reads args (without the program's name); --help, --version and a bad line
// end in `exit`.
CommandLine<ProgramOptions> parseProgramOptions(const std::vector<std::string>& args);

}  // namespace ferrolan
