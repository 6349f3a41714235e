#pragma once
// The production-line station: the unattended update on many ports at
// once, each receiver on its own, every run on record.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace ferrolan {

struct StationOptions {
  std::string root = ".";
  std::string db;  // empty: <root>/ferrolan-station.sqlite
  int jobs = 0;    // at most this many at once; 0: all
  bool watch = false;
  std::vector<std::string> ports;  // device paths or globs
};

// SIGINT / SIGTERM, from the program's signal thread: no new run starts,
// the running ones end as interrupted.
class StationStop {
 public:
  void request(int signal);
  int signal() const { return signal_.load(); }
  // Waits until a stop or a poke, or `ms` (0: no limit).
  void waitFor(uint32_t ms);
  void poke();

 private:
  friend class Station;
  std::atomic<int> signal_{0};
  std::mutex m_;
  std::condition_variable cv_;
  bool poked_ = false;
};

std::string defaultStationDb(const std::string& root);

// The exit code: 0 when every receiver ended OK, 1 otherwise (or when the
// record failed), 2 when nothing matched, 128 + the signal when stopped.
int runStation(const StationOptions& options, StationStop& stop);

// Prints the record as "csv" or "json"; the exit code.
int printStationReport(const std::string& db, const std::string& format);

}  // namespace ferrolan
