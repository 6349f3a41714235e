// ferrolan-export's speed in megabytes of log per second: real receivers'
// captures concatenated to at least 20 MB as an NMEA text log, and the
// simulated receiver's frames to as much as a VBI log; each read into a
// track and written as GPX and CSV, on one thread. gpsdecode reads the same
// NMEA bytes in the same run for comparison.
//
//   build/bench/export_bench [MEGABYTES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "export/track_export.h"
#include "export/track_writers.h"
#include "bench/captures.h"
#include "platform/process.h"
#include "sim/vbi_output.h"

using namespace ferrolan;
namespace fs = std::filesystem;

namespace {

// One hour of epochs with a 3D fix and eight satellites.
std::string vbiHour() {
  std::string all;
  const int64_t start = sim::unixFromCivil(CalendarTime{2026, 6, 1, 8, 0, 0});
  for (uint32_t n = 0; n < 3600; ++n) {
    sim::Epoch e;
    e.utc = sim::civilFromUnix(start + n);
    e.fix = sim::FixKind::Fix3D;
    e.position = {47.3769 + n * 1e-6, 8.5417 + n * 1e-6, 408 + n * 0.01};
    for (int prn = 1; prn <= 8; ++prn) e.sky.push_back({prn * 3, 30 + prn, prn * 40, 38, true});
    for (const auto& f : sim::vbiEpoch(e, sim::gpsSecondsFromUnix(start + n), n)) all.append(f.begin(), f.end());
  }
  return all;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Reads the log and writes both files into memory; answers the seconds.
double exportOnce(const std::string& log, size_t& points, size_t& outBytes) {
  const auto start = std::chrono::steady_clock::now();
  const track::Track t = track::readLog({reinterpret_cast<const uint8_t*>(log.data()), log.size()});
  outBytes = track::gpxDocument(t, "bench").size() + track::csvDocument(t).size();
  points = t.fixes();
  return seconds(start);
}

std::string repeated(const std::string& one, double megabytes) {
  std::string all;
  while (all.size() < megabytes * 1e6) all += one;
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 20;
  const std::string one = bench::captures();
  if (one.empty()) {
    std::fprintf(stderr, "export_bench: no captures under %s\n", FERROLAN_TESTDATA_DIR);
    return 1;
  }
  const std::string nmea = repeated(one, megabytes), vbi = repeated(vbiHour(), megabytes);
  for (const auto& [name, log] : {std::pair{"NMEA", &nmea}, std::pair{"VBI", &vbi}}) {
    size_t points = 0, out = 0;
    const double s = exportOnce(*log, points, out);
    const double mb = static_cast<double>(log->size()) / 1e6;
    std::printf("%-4s log: %6.1f MB, %8zu points, %6.1f MB of GPX and CSV: %7.3f s  %8.1f MB/s of log\n", name, mb,
                points, static_cast<double>(out) / 1e6, s, mb / s);
  }

  const std::string dir = makeTempDir("ferrolan-bench-");
  const std::string file = dir + "/log.nmea";
  std::ofstream(file, std::ios::binary) << nmea;
  const auto gStart = std::chrono::steady_clock::now();
  const int rc = std::system(("gpsdecode -j < '" + file + "' > /dev/null 2>&1").c_str());
  const double theirs = seconds(gStart);
  removeTree(dir);
  if (rc == 0)
    std::printf("gpsdecode -j, the same NMEA log: %7.3f s  %8.1f MB/s\n", theirs,
                static_cast<double>(nmea.size()) / 1e6 / theirs);
  else
    std::printf("gpsdecode: not run (install gpsd-clients)\n");
  return 0;
}
