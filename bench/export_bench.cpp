// ferrolan-export's speed in megabytes of log per second: real receivers'
// captures concatenated to at least 20 MB as an NMEA text log, and the
// simulated receiver's frames to as much as a VBI log; each read into a
// track and written as GPX and CSV, on one thread. gpsdecode reads the same
// NMEA bytes in the same run for comparison.
//
// Then the program itself on files, its peak memory (the child's maximum
// resident set) and time for GPX and CSV and for --stats: a day at 1 Hz
// (86 400 epochs) as NMEA and as VBI, and LARGE megabytes (200) of the
// captures repeated and of binary noise. Reading streams, so the peak
// should not grow with the log. The peak is an upper bound: Linux counts in
// a child's this process's own up to the exec (some 3 MB here; the file
// logs are written before anything large is made).
//
//   build/bench/export_bench [MEGABYTES [LARGE]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>

#include "bench/captures.h"
#include "export/track_export.h"
#include "export/track_writers.h"
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

// A day of a receiver at 1 Hz as its text log: GGA, GSA, RMC and a GSV
// group of eight satellites each second, the position wandering.
void nmeaDay(std::ostream& out) {
  const auto sentence = [](const std::string& body) {
    uint8_t sum = 0;
    for (const char c : body) sum ^= static_cast<uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
  };
  std::string all;
  char buf[160];
  for (int n = 0; n < 86400; ++n) {
    char t[16];
    std::snprintf(t, sizeof t, "%02d%02d%02d.00", n / 3600, n / 60 % 60, n % 60);
    const double minutes = 7.038 + (n % 600) * 1e-5;
    std::snprintf(buf, sizeof buf, "GPGGA,%s,48%07.4f,N,01131.0000,E,1,08,0.9,%.1f,M,46.9,M,,", t, minutes, 545 + n % 7 * 0.3);
    all += sentence(buf);
    all += sentence("GPGSA,A,3,04,05,09,12,17,20,24,28,,,,,1.8,0.9,1.5");
    for (int part = 1; part <= 2; ++part) {
      std::snprintf(buf, sizeof buf, "GPGSV,2,%d,08,%02d,40,100,%02d,%02d,35,150,%02d,%02d,30,200,%02d,%02d,25,250,%02d",
                    part, part * 4, 30 + n % 10, part * 4 + 1, 31, part * 4 + 2, 32, part * 4 + 3, 33);
      all += sentence(buf);
    }
    std::snprintf(buf, sizeof buf, "GPRMC,%s,A,48%07.4f,N,01131.0000,E,000.1,084.4,010626,003.1,W", t, minutes);
    all += sentence(buf);
    out << all;
    all.clear();
  }
}

// A day of the simulated receiver's frames.
void vbiDay(std::ostream& out) {
  const std::string hour = vbiHour();
  for (int h = 0; h < 24; ++h) out << hour;
}

struct ChildFigures {
  double seconds = 0, peakMb = 0;
  int code = -1;
};

// Runs the program on `args` with its output to /dev/null; the child's own
// peak resident set, from wait4.
ChildFigures runChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  ChildFigures f;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    struct rusage use{};
    if (wait4(pid, &status, 0, &use) == pid) {
      f.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      f.peakMb = static_cast<double>(use.ru_maxrss) / 1024;  // KiB on Linux
    }
  }
  f.seconds = seconds(start);
  posix_spawn_file_actions_destroy(&files);
  return f;
}

std::string repeated(const std::string& one, double megabytes) {
  std::string all;
  while (all.size() < megabytes * 1e6) all += one;
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 20;
  const double large = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 200;
  const std::string one = bench::captures();
  if (one.empty()) {
    std::fprintf(stderr, "export_bench: no captures under %s\n", FERROLAN_TESTDATA_DIR);
    return 1;
  }
  const std::string dir = makeTempDir("ferrolan-bench-");
  const std::string file = dir + "/log.nmea";
  // The program on files, first, and each written in pieces: a child's peak
  // counts this process's own up to the exec, which must stay small.
  const auto noise = [&](std::ostream& out) {
    std::string piece(1 << 20, '\0');
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (double written = 0; written < large * 1e6; written += static_cast<double>(piece.size())) {
      for (char& c : piece) x ^= x << 13, x ^= x >> 7, x ^= x << 17, c = static_cast<char>(x >> 32);
      out << piece;
    }
  };
  const auto captures = [&](std::ostream& out) {
    for (double written = 0; written < large * 1e6; written += static_cast<double>(one.size())) out << one;
  };
  const std::pair<const char*, std::function<void(std::ostream&)>> logs[] = {
      {"NMEA, a day at 1 Hz", nmeaDay},
      {"VBI, a day at 1 Hz", vbiDay},
      {"NMEA, the captures repeated", captures},
      {"binary noise", noise},
  };
  std::printf("ferrolan-export on files (peak = the process's maximum resident set):\n");
  for (const auto& [name, make] : logs) {
    {
      std::ofstream out(file, std::ios::binary);
      make(out);
    }
    const auto size = fs::file_size(file);
    const ChildFigures track = runChild({FERROLAN_EXPORT_PATH, file, "--gpx", "/dev/null", "--csv", "/dev/null"});
    const ChildFigures stats = runChild({FERROLAN_EXPORT_PATH, file, "--stats"});
    const std::string html = dir + "/report.html";
    const ChildFigures report = runChild({FERROLAN_EXPORT_PATH, file, "--report", html});
    std::error_code ec;
    const double htmlMb = static_cast<double>(fs::file_size(html, ec)) / 1e6;
    std::printf("%-28s %7.1f MB: GPX and CSV %6.2f s, peak %5.1f MB (exit %d); --stats %6.2f s, peak %5.1f MB (exit %d); "
                "--report %6.2f s, peak %5.1f MB, %5.2f MB of HTML (exit %d)\n",
                name, static_cast<double>(size) / 1e6, track.seconds, track.peakMb, track.code, stats.seconds,
                stats.peakMb, stats.code, report.seconds, report.peakMb, ec ? 0.0 : htmlMb, report.code);
    fs::remove(html, ec);
  }

  std::printf("\n");
  const std::string nmea = repeated(one, megabytes), vbi = repeated(vbiHour(), megabytes);
  for (const auto& [name, log] : {std::pair{"NMEA", &nmea}, std::pair{"VBI", &vbi}}) {
    size_t points = 0, out = 0;
    const double s = exportOnce(*log, points, out);
    const double mb = static_cast<double>(log->size()) / 1e6;
    std::printf("%-4s log: %6.1f MB, %8zu points, %6.1f MB of GPX and CSV: %7.3f s  %8.1f MB/s of log\n", name, mb,
                points, static_cast<double>(out) / 1e6, s, mb / s);
  }

  std::ofstream(file, std::ios::binary) << nmea;
  const auto gStart = std::chrono::steady_clock::now();
  const int rc = std::system(("gpsdecode -j < '" + file + "' > /dev/null 2>&1").c_str());
  const double theirs = seconds(gStart);
  if (rc == 0)
    std::printf("gpsdecode -j, the same NMEA log: %7.3f s  %8.1f MB/s\n", theirs,
                static_cast<double>(nmea.size()) / 1e6 / theirs);
  else
    std::printf("gpsdecode: not run (install gpsd-clients)\n");

  removeTree(dir);
  return 0;
}
