// ferrolan-sim: the simulated receiver on a pseudo-terminal.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/simulator.h"

using namespace ferrolan;
using namespace ferrolan::sim;

int main(int argc, char** argv) {
  const CommandLine<SimOptions> parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.exit) {
    std::fputs(parsed.exit->text.c_str(), parsed.exit->code == 0 ? stdout : stderr);
    return parsed.exit->code;
  }
  SimOptions opt = parsed.options;
  Bytes capture;
  if (!opt.replayFile.empty()) {
    std::ifstream f(opt.replayFile, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "ferrolan-sim: cannot read %s\n", opt.replayFile.c_str());
      return 2;
    }
    capture.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    opt.receiver.epochs = false;
    if (opt.replaySpeed == 0) opt.line.pace = false;
  }
  Simulator sim(std::move(opt), std::move(capture));
  std::string why;
  if (!sim.open(why)) {
    std::fprintf(stderr, "ferrolan-sim: %s\n", why.c_str());
    return 1;
  }
  return sim.run();
}
