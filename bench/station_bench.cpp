// The station against many simulated receivers at the real 115200 baud
// (the simulator paces its line), each taking a 491520-byte image: the
// wall time of 16 at once against one alone, then 64, with the station's
// CPU time in all and per receiver.
//
//   build/bench/station_bench [--skip-64]
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "shell/demo.h"

using namespace ferrolan;
namespace fs = std::filesystem;

namespace {

constexpr size_t kImageSize = 491520;

struct Figures {
  bool ok = false;
  double wallSeconds = 0, stationCpu = 0;
};

Figures runReceivers(const fs::path& root, int count) {
  fs::remove_all(root / "ports");
  fs::create_directories(root / "ports");
  std::vector<std::unique_ptr<ChildProcess>> sims;
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<ChildProcess>());
    const std::string link = (root / "ports" / ("gps" + std::to_string(i))).string();
    ChildOptions options;
    options.stdinPipe = true;
    if (!sims.back()->start({FERROLAN_SIM_PATH, "--link", link, "--baud", "115200", "--version-major", "3"}, options))
      return {};
    std::string line;
    if (!sims.back()->readLine(line, 10000)) return {};
  }
  ChildProcess station;
  const auto start = std::chrono::steady_clock::now();
  if (!station.start({FERROLAN_PROGRAM_PATH, "--station", "--root", root.string(), "--db",
                      (root / "bench.sqlite").string(), (root / "ports" / "gps*").string()}))
    return {};
  std::string line;
  int ok = 0;
  while (station.running() || station.readLine(line, 100)) {
    if (station.readLine(line, 1000) && line.find(" OK ") != std::string::npos) ++ok;
  }
  while (station.readLine(line, 100))
    if (line.find(" OK ") != std::string::npos) ++ok;
  station.wait(10000);
  Figures f;
  f.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.stationCpu = station.cpuSeconds();
  f.ok = station.exitCode() == 0 && ok == count;
  for (auto& s : sims) s->stop();
  return f;
}

// A watching station with nothing plugged in, for a minute: its CPU time.
double idleCpu(const fs::path& root, int seconds) {
  ChildProcess station;
  if (!station.start({FERROLAN_PROGRAM_PATH, "--station", "--watch", "--root", root.string(), "--db",
                      (root / "idle.sqlite").string(), (root / "ports" / "none*").string()}))
    return -1;
  std::string line;
  station.readLine(line, seconds * 1000);  // it prints nothing until something comes
  ::kill(station.pid(), SIGINT);
  station.wait(10000);
  return station.cpuSeconds();
}

void print(int count, const Figures& f) {
  std::printf("%3d receivers: %s, %.1f s wall, station CPU %.2f s (%.3f s per receiver)\n", count,
              f.ok ? "all OK" : "NOT all OK", f.wallSeconds, f.stationCpu, f.stationCpu / count);
}

}  // namespace

int main(int argc, char** argv) {
  const bool skip64 = argc > 1 && std::strcmp(argv[1], "--skip-64") == 0;
  const fs::path root = makeTempDir("ferrolan-station-bench-");
  DeviceRootBuilder card(root.string());
  std::string image = demoFirmware(kImageSize);
  if (!card.makeFolders() || !card.writeCardFile("FW_P1.bin", image) || !card.writeCardFile("FW_P2.bin", image) ||
      !card.writeAutoUpdateIni({"FW_P1.bin", "FW_P2.bin", "COM1", "115200"})) {
    std::fprintf(stderr, "station_bench: cannot make the device root\n");
    return 1;
  }
  const Figures one = runReceivers(root, 1);
  print(1, one);
  const Figures sixteen = runReceivers(root, 16);
  print(16, sixteen);
  std::printf("16 at once / one alone: %.3f (at most 1.1 wanted)\n", sixteen.wallSeconds / one.wallSeconds);
  if (!skip64) print(64, runReceivers(root, 64));
  std::printf("watching with nothing plugged in for 60 s: %.3f s CPU\n", idleCpu(root, 60));
  removeTree(root.string());
  return one.ok && sixteen.ok ? 0 : 1;
}
