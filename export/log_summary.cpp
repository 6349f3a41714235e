#include "export/log_summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>
#include <random>

#include "platform/regular_file.h"

namespace ferrolan::track {

namespace {

constexpr size_t kReadPiece = 64 * 1024;

// WGS-84.
constexpr double kSemiMajorM = 6378137.0, kFlattening = 1 / 298.257223563;
constexpr double kE2 = kFlattening * (2 - kFlattening);
constexpr double kRadians = std::numbers::pi / 180;
constexpr double kSecondsPerDay = 86400, kHalfDay = 43200;

// The distances from the mean are kept exactly up to this many fixes (8 MB,
// twelve days at 1 Hz); past it they are a uniform reservoir sample of this
// size (algorithm R, a fixed seed so that a log always gives the same
// figures). The percentiles of a sample of n are off by about sqrt(p(1-p)/n)
// in rank: 0.05 % of the fixes at the median, 0.02 % at 95 %. The mean
// position and DRMS use every fix exactly.
constexpr size_t kDistanceSample = size_t{1} << 20;

// Satellites with a plot of their own; more ids than any sky holds.
constexpr size_t kPlotSatellites = 256;

// A running clock over the log: the time of day, a day more each time it
// goes back by more than half a day (midnight). The date is not used: a
// receiver's is often wrong (week rollover) and the log's first epochs may
// have none.
class Timeline {
 public:
  double at(const Time& t) {
    const double ofDay = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    if (started_ && ofDay + kHalfDay < last_) ++days_;
    started_ = true;
    last_ = ofDay;
    return static_cast<double>(days_) * kSecondsPerDay + ofDay;
  }

 private:
  bool started_ = false;
  double last_ = 0;
  int64_t days_ = 0;
};

// Longitude difference in (-180, 180]: a track across the antimeridian.
double lonDelta(double lon, double from) {
  double d = std::fmod(lon - from, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

// Running mean and spread (Welford), steady for any count.
struct Running {
  size_t n = 0;
  double mean = 0, m2 = 0;
  void add(double x) {
    ++n;
    const double d = x - mean;
    mean += d / static_cast<double>(n);
    m2 += d * (x - mean);
  }
  std::optional<double> average() const { return n ? std::optional(mean) : std::nullopt; }
  // The population standard deviation: the spread of these fixes, not an
  // estimate for others.
  std::optional<double> deviation() const { return n ? std::optional(std::sqrt(m2 / static_cast<double>(n))) : std::nullopt; }
};

using EpochHandler = std::function<void(const Point&, std::span<const Signal>)>;

// One pass over the file through the log reader.
bool readPass(const std::string& path, const EpochHandler& onEpoch, Summary& out, std::string& error) {
  LogReader reader(onEpoch);
  uint64_t bytes = 0;
  const FileRead r = readRegularFileInPieces(path, SIZE_MAX, kReadPiece, [&](std::span<const uint8_t> piece) {
    bytes += piece.size();
    reader.feed(piece);
    return true;
  });
  if (r != FileRead::Ok) {
    error = r == FileRead::NotRegular ? "is not a regular file" : "cannot be read";
    return false;
  }
  reader.finish();
  out.kind = reader.kind();
  out.skipped = reader.skipped();
  out.bytes = bytes;
  return true;
}

bool isFix(const Point& p) { return p.fix != Fix::None && p.latitude && p.longitude; }

// Evenly over `total`: true for `at` when it is the first of its share of
// `keep`, so that min(total, keep) are taken, the first among them.
bool taken(size_t at, size_t total, size_t keep) {
  if (total <= keep) return true;
  const auto share = [&](size_t i) { return static_cast<uint64_t>(i) * keep / total; };
  return at == 0 || share(at) != share(at - 1);
}

// The value of rank `rank` (from 1) in the sample: nth_element, no sort.
double ranked(std::vector<double>& v, size_t rank) {
  const auto at = v.begin() + static_cast<ptrdiff_t>(rank - 1);
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

}  // namespace

bool summarizeLogFile(const std::string& path, Summary& out, std::string& error) {
  out = Summary{};
  Figures& f = out.figures;

  // First pass: counts, the mean position and the running figures.
  Timeline clock1;
  std::optional<double> firstEpoch, firstFix, lastFix;
  bool firstIsFix = false;
  double lon0 = 0;  // the first fix's, the origin of the longitude sums
  Running lat, lon, alt, hdop, used, cn0;
  size_t epochs = 0;
  std::map<int, size_t> signalsOf;  // per satellite, for the plots' thinning
  const bool read1 = readPass(path, [&](const Point& p, std::span<const Signal> signals) {
    const double t = clock1.at(p.time);
    if (!firstEpoch) firstEpoch = t, firstIsFix = isFix(p);
    ++epochs;
    for (const Signal& s : signals) {
      cn0.add(s.cn0);
      if (signalsOf.count(s.prn) || signalsOf.size() < kPlotSatellites) ++signalsOf[s.prn];
    }
    if (!isFix(p)) return;
    if (!firstFix) firstFix = t, lon0 = *p.longitude;
    lastFix = t;
    lat.add(*p.latitude);
    lon.add(lonDelta(*p.longitude, lon0));
    if (p.altitude) alt.add(*p.altitude);
    if (p.hdop) hdop.add(*p.hdop);
    if (p.used) used.add(*p.used);
  }, out, error);
  if (!read1) return false;

  f.epochs = epochs;
  f.fixes = lat.n;
  if (epochs) f.fix_rate = static_cast<double>(f.fixes) / static_cast<double>(epochs);
  if (firstFix) f.duration_s = *lastFix - *firstFix;
  if (firstFix && !firstIsFix) f.ttff_s = *firstFix - *firstEpoch;
  f.alt_mean_m = alt.average(), f.alt_sd_m = alt.deviation();
  f.hdop_mean = hdop.average(), f.sats_used_mean = used.average(), f.cn0_mean_dbhz = cn0.average();
  if (!f.fixes && epochs == 0) return true;

  // Second pass: distances from the mean, and the plots.
  double meanLat = 0, meanLon = 0, metresEast = 0, metresNorth = 0;
  if (f.fixes) {
    meanLat = lat.mean;
    meanLon = lon0 + lon.mean;
    if (meanLon > 180) meanLon -= 360;
    if (meanLon <= -180) meanLon += 360;
    f.lat = meanLat, f.lon = meanLon;
    const double s = std::sin(meanLat * kRadians), w = 1 - kE2 * s * s;
    const double meridional = kSemiMajorM * (1 - kE2) / std::pow(w, 1.5), primeVertical = kSemiMajorM / std::sqrt(w);
    metresEast = kRadians * primeVertical * std::cos(meanLat * kRadians);
    metresNorth = kRadians * meridional;
  }
  std::vector<double> distances;
  distances.reserve(std::min(f.fixes, kDistanceSample));
  std::mt19937_64 pick(0x5eed);
  double squares = 0;
  size_t fixNo = 0, epochNo = 0;
  std::map<int, size_t> signalNo;
  Timeline clock2;
  Summary again;
  const bool read2 = readPass(path, [&](const Point& p, std::span<const Signal> signals) {
    const double t = clock2.at(p.time) - *firstEpoch;
    EpochSample e;
    e.seconds = t;
    e.fix = isFix(p) ? p.fix : Fix::None;
    e.altitude_m = p.altitude, e.hdop = p.hdop, e.used = p.used;
    if (isFix(p)) {
      const double east = lonDelta(*p.longitude, meanLon) * metresEast, north = (*p.latitude - meanLat) * metresNorth;
      e.east_m = east, e.north_m = north;
      const double d2 = east * east + north * north;
      squares += d2;
      if (distances.size() < kDistanceSample) {
        distances.push_back(std::sqrt(d2));
      } else {
        const size_t slot = std::uniform_int_distribution<size_t>(0, fixNo)(pick);
        if (slot < kDistanceSample) distances[slot] = std::sqrt(d2);
      }
      ++fixNo;
    }
    if (taken(epochNo++, f.epochs, kPlotPoints)) out.epochs.push_back(e);
    for (const Signal& s : signals) {
      const auto total = signalsOf.find(s.prn);
      if (total == signalsOf.end()) continue;
      if (taken(signalNo[s.prn]++, total->second, kPlotPoints))
        out.signals.push_back({t, s.prn, static_cast<int>(std::lround(s.cn0))});
    }
  }, again, error);
  if (!read2) return false;
  // The file changed between the passes: the figures of the first stand.
  if (fixNo != f.fixes || epochNo != f.epochs) {
    error = "changed while it was read";
    return false;
  }
  if (!distances.empty()) {
    const size_t n = distances.size();
    // The median: the middle one, or the mean of the two middle ones.
    const double upper = ranked(distances, n / 2 + 1);
    f.cep50_m = n % 2 ? upper : (upper + ranked(distances, n / 2)) / 2;
    f.cep95_m = ranked(distances, static_cast<size_t>(std::ceil(0.95 * static_cast<double>(n))));
    f.drms2_m = 2 * std::sqrt(squares / static_cast<double>(f.fixes));
  }
  return true;
}

std::string statsJson(const Figures& f) {
  std::string out = "{";
  const auto key = [&](const char* name) {
    if (out.size() > 1) out += ", ";
    out += '"';
    out += name;
    out += "\": ";
  };
  const auto number = [&](const char* name, const std::optional<double>& v) {
    key(name);
    if (!v || !std::isfinite(*v)) return void(out += "null");
    // The shortest text that reads back as the same double.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, *v);
    out.append(buf, r.ptr);
  };
  for (const FigureRow& r : kFigureRows) {
    if (r.count) {
      key(r.key);
      out += std::to_string(f.*r.count);
    } else {
      number(r.key, f.*r.value);
    }
  }
  return out + "}\n";
}

}  // namespace ferrolan::track
