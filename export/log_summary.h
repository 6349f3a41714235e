#pragma once
// A whole log in figures and in samples to plot: how tightly the fixes
// cluster, how each satellite's signal went, when the fix was lost. Made in
// two streaming passes over the log (the mean position and the counts
// first, then the distances from that mean and the plots), in memory that
// does not grow with its size: the figures from running sums and a bounded
// sample, the plots from points thinned evenly over the log's epochs.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "export/track_export.h"

namespace ferrolan::track {

// At most this many epochs and signal samples per satellite are kept for
// the plots; the figures use every fix.
inline constexpr size_t kPlotPoints = 2000;

// The keys of --stats, in SI units; empty where a figure cannot be had.
struct Figures {
  size_t fixes = 0;   // epochs with a 2D or 3D fix, counted as gpsd counts them
  size_t epochs = 0;  // epochs of any kind
  std::optional<double> duration_s, fix_rate, lat, lon, cep50_m, cep95_m, drms2_m, alt_mean_m, alt_sd_m, hdop_mean,
      sats_used_mean, cn0_mean_dbhz, ttff_s;
};

// A count or a number: exactly one of `value` and `count` is set.
struct FigureRow {
  const char* key;
  const char* what;
  const char* unit;
  std::optional<double> Figures::*value;
  int decimals;
  size_t Figures::*count;
};

// Every key of --stats, in its order, with what the report says of it.
inline constexpr FigureRow kFigureRows[] = {
    {"fixes", "epochs with a 2D or 3D fix", "", nullptr, 0, &Figures::fixes},
    {"epochs", "epochs of any kind", "", nullptr, 0, &Figures::epochs},
    {"duration_s", "time from the first epoch to the last", "s", &Figures::duration_s, 1, nullptr},
    {"fix_rate", "share of the epochs with a fix", "", &Figures::fix_rate, 3, nullptr},
    {"lat", "mean latitude (north positive)", "°", &Figures::lat, 7, nullptr},
    {"lon", "mean longitude (east positive)", "°", &Figures::lon, 7, nullptr},
    {"cep50_m", "CEP50: radius holding half the fixes", "m", &Figures::cep50_m, 2, nullptr},
    {"cep95_m", "CEP95: radius holding 95 % of the fixes", "m", &Figures::cep95_m, 2, nullptr},
    {"drms2_m", "2DRMS: twice the RMS horizontal distance", "m", &Figures::drms2_m, 2, nullptr},
    {"alt_mean_m", "mean altitude", "m", &Figures::alt_mean_m, 1, nullptr},
    {"alt_sd_m", "standard deviation of the altitude", "m", &Figures::alt_sd_m, 2, nullptr},
    {"hdop_mean", "mean HDOP", "", &Figures::hdop_mean, 2, nullptr},
    {"sats_used_mean", "mean satellites used", "", &Figures::sats_used_mean, 1, nullptr},
    {"cn0_mean_dbhz", "mean signal strength (C/N0)", "dB-Hz", &Figures::cn0_mean_dbhz, 1, nullptr},
    {"ttff_s", "time to the first fix", "s", &Figures::ttff_s, 1, nullptr},
};
static_assert(std::all_of(std::begin(kFigureRows), std::end(kFigureRows),
                          [](const FigureRow& r) { return (r.value == nullptr) != (r.count == nullptr); }),
              "each figure is either a count or a number");

// One epoch for the plots: seconds since the log's first epoch; east and
// north of the mean position in metres (a fix only).
struct EpochSample {
  double seconds = 0;
  Fix fix = Fix::None;
  std::optional<double> east_m, north_m, altitude_m, hdop;
  std::optional<int> used;
};

// A satellite's signal at an epoch (C/N0 in dB-Hz).
struct SignalSample {
  double seconds = 0;
  int prn = 0;
  int cn0 = 0;
};

struct Summary {
  LogKind kind = LogKind::Nmea;
  Figures figures;
  std::vector<EpochSample> epochs;    // thinned, in time order
  std::vector<SignalSample> signals;  // thinned per satellite, in time order
  Skipped skipped;
  uint64_t bytes = 0;  // of the log
};

// Reads the file at `path` in two streaming passes; false with `error` when it
// cannot be read (a log with nothing usable is a Summary with no fixes).
bool summarizeLogFile(const std::string& path, Summary& out, std::string& error);

// --stats: one JSON object with exactly the keys of Figures, numbers in SI
// units, null where empty.
std::string statsJson(const Figures& f);

}  // namespace ferrolan::track
