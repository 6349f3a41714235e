#include "export/track_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

#include "core/bytes.h"
#include "core/calendar.h"
#include "datapath/nmea_fields.h"
#include "datapath/stream_framer.h"
#include "datapath/sv_measurements.h"
#include "datapath/vbi_messages.h"
#include "link/command_sentences.h"
#include "link/vbi_frame.h"

namespace ferrolan::track {

namespace {

// Fields by number, as nmeaField counts them.
namespace rmc {
constexpr int kTime = 1, kStatus = 2, kLatitude = 3, kNorthSouth = 4, kLongitude = 5, kEastWest = 6, kDate = 9;
}
namespace gga {
constexpr int kTime = 1, kLatitude = 2, kNorthSouth = 3, kLongitude = 4, kEastWest = 5, kQuality = 6, kUsed = 7,
              kHdop = 8, kAltitude = 9;
}
namespace gsa {
constexpr int kMode = 2, kFirstId = 3, kIds = 12, kHdop = 16;
}

namespace gll {
constexpr int kTime = 5;
}

enum class Kind { Rmc, Gga, Gsa, Gll };
struct SentenceType {
  std::string_view type;  // after the two talker letters
  Kind kind;
};
// Any talker: GP, and GN or GL from receivers that combine systems.
constexpr SentenceType kTypes[] = {{"RMC", Kind::Rmc}, {"GGA", Kind::Gga}, {"GSA", Kind::Gsa}, {"GLL", Kind::Gll}};

// "$TTSSS," opens every sentence that nmeaField reads.
constexpr size_t kAddressEnd = 6;

// Two clocks closer than this are the same epoch (one receiver writes
// "102128.000" in RMC and "102128.00" in GGA).
constexpr double kSameEpochSeconds = 1e-3;
constexpr double kSecondsPerDay = 86400;

// GGA quality: GPS, differential, PPS, RTK and float RTK fixes; 6
// (estimated, dead reckoning), 7 (manual) and 8 (simulation) are none.
constexpr bool fixQuality(int q) { return q >= 1 && q <= 5; }

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\0'; });
}

bool printable(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// Digits with at most one point, optionally after a minus: what the
// numeric fields hold. Anything else (a sign, an exponent, blanks) is not
// a value.
std::optional<double> plainNumber(std::string_view s, bool mayBeNegative) {
  const std::string_view digits = mayBeNegative && !s.empty() && s[0] == '-' ? s.substr(1) : s;
  if (digits.empty() || std::count(digits.begin(), digits.end(), '.') > 1 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) ||
      digits == ".")
    return std::nullopt;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<int> wholeNumber(std::string_view s) {
  if (s.empty() || s.size() > 4 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  int v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

int digits2(std::string_view s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

double secondOfDay(const Time& t) { return t.hour * 3600.0 + t.minute * 60.0 + t.second; }


// A line longer than this is taken in pieces of this size: no receiver
// writes one, and holding it whole would let a log without line ends fill
// memory.
constexpr size_t kLongestLine = 64 * 1024;
// Signals kept for one epoch: far more than any receiver tracks, a bound
// for a log that repeats its GSV groups.
constexpr size_t kEpochSignals = 256;

namespace gsv {
constexpr int kTotal = 1, kNumber = 2, kFirstPrn = 4, kSnrAfterPrn = 3, kPerSatellite = 4, kPerSentence = 4;
constexpr int kMostSentences = 9;
}

// One receiver epoch of the text log, gathered until a sentence with
// another time arrives.
struct NmeaEpoch {
  Time time;
  bool hasRmc = false, hasGga = false, hasGsa = false;
  char rmcStatus = 0;
  std::optional<Time> rmcDate;
  int ggaQuality = 0;
  std::optional<double> ggaAltitude, ggaHdop;
  // From the later of RMC and GGA, the one with the last word on the epoch.
  std::optional<double> latitude, longitude;
  std::optional<int> ggaUsed;
  char gsaMode = 0;
  int gsaUsed = 0;
  std::optional<double> gsaHdop;
  // The sentence that closed the epochs before this one came in it: the
  // log holds the epoch's end.
  bool closed = false;
  std::vector<Signal> signals;
};

struct GsaValues {
  char mode = 0;
  int used = 0;
  std::optional<double> hdop;
};

// A GSV group of one talker, gathered until its last sentence.
struct GsvGroup {
  std::string talker;
  int total = 0, next = 0;  // next = 0: no group open
  std::vector<Signal> signals;
};

}  // namespace

class LogReader::Impl {
 public:
  virtual ~Impl() = default;
  virtual void feed(std::span<const uint8_t> bytes) = 0;
  virtual void finish() = 0;
  virtual LogKind kind() const = 0;
  Skipped skipped;
};

namespace {

class NmeaReader final : public LogReader::Impl {
 public:
  explicit NmeaReader(const LogReader::OnEpoch& onEpoch) : onEpoch_(onEpoch) {}

  LogKind kind() const override { return LogKind::Nmea; }

  void feed(std::span<const uint8_t> bytes) override {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!text.empty()) {
      const size_t eol = text.find('\n');
      const size_t take = std::min(eol == std::string_view::npos ? text.size() : eol + 1, kLongestLine - partial_.size());
      const std::string_view piece = text.substr(0, take);
      text.remove_prefix(take);
      const bool ended = piece.back() == '\n' || partial_.size() + piece.size() == kLongestLine;
      if (partial_.empty() && ended) {
        line(piece);
        continue;
      }
      partial_.append(piece);
      if (ended) {
        line(partial_);
        partial_.clear();
      }
    }
  }

  void finish() override {
    if (!partial_.empty()) line(partial_);
    partial_.clear();
    close(false);
  }

 private:
  void line(std::string_view line) {
    size_t dollar = line.find('$');
    if (!blank(lineBody(line.substr(0, dollar)))) ++skipped.garbage;
    // Sentences run together on one line are taken one by one.
    while (dollar != std::string_view::npos) {
      const size_t next = line.find('$', dollar + 1);
      sentence(lineBody(line.substr(dollar, next == std::string_view::npos ? next : next - dollar)));
      dollar = next;
    }
  }

  void sentence(std::string_view s) {
    if (!printable(s)) return void(++skipped.garbage);
    if (s.find('*') == std::string_view::npos) return void(++skipped.fields);  // cut short
    if (!checksumHolds(s)) return void(++skipped.checksum);
    const std::string_view body = s.substr(0, s.find('*'));
    take(body);
    // gpsd reports an epoch at the last sentence with a position in the
    // receiver's cycle (RMC, GGA or GLL, whatever it held): the one before
    // the time moved on. A last epoch without it was cut.
    const std::string_view type = body.size() > kAddressEnd ? body.substr(3, 3) : std::string_view();
    if (body[1] == 'P' || (type != "RMC" && type != "GGA" && type != "GLL")) return;
    const std::string_view address = body.substr(1, kAddressEnd - 1);
    if (open_ && address == closing_) open_->closed = true;
    last_.assign(address);
  }

  void take(std::string_view body) {
    if (body.size() > 1 && body[1] == 'P') return void(++skipped.ignored);  // proprietary, any address length
    if (body.size() <= kAddressEnd || body[kAddressEnd] != ',') return void(++skipped.fields);
    const std::string_view type = body.substr(3, 3);
    if (type == "GSV") return takeGsv(body), void(++skipped.ignored);  // signals only, no part of a track
    const auto* t = std::find_if(std::begin(kTypes), std::end(kTypes), [&](const SentenceType& k) { return k.type == type; });
    if (t == std::end(kTypes)) return void(++skipped.ignored);
    bool ok = false;
    switch (t->kind) {
      case Kind::Rmc: ok = takeRmc(body); break;
      case Kind::Gga: ok = takeGga(body); break;
      case Kind::Gsa: ok = takeGsa(body); break;
      case Kind::Gll: ok = takeGll(body); break;
    }
    if (!ok) ++skipped.fields;
  }

  // A position pair: both fields empty is no position; anything else must read.
  static bool position(std::string_view line, int at, std::optional<double>& lat, std::optional<double>& lon) {
    const std::string_view la = nmeaField(line, at), lo = nmeaField(line, at + 2);
    if (la.empty() && lo.empty()) return true;
    lat = nmeaDegrees(la, nmeaField(line, at + 1));
    lon = nmeaDegrees(lo, nmeaField(line, at + 3));
    return lat && lon;
  }

  // The epoch for a sentence's time; a sentence with an empty time field
  // (a receiver that has never had a fix) belongs to none.
  NmeaEpoch* epochAt(std::string_view timeField, bool& ok) {
    ok = true;
    if (timeField.empty()) return nullptr;
    const std::optional<Time> t = nmeaTime(timeField);
    if (!t) return ok = false, nullptr;
    if (!open_ || std::fabs(secondOfDay(open_->time) - secondOfDay(*t)) > kSameEpochSeconds) {
      if (open_) closing_ = last_;  // the last sentence before the time moved on
      close(true);
      open_ = NmeaEpoch{};
      open_->time = *t;
      if (pendingGsa_) applyGsa(*open_, *pendingGsa_);
      pendingGsa_.reset();
      open_->signals.swap(pendingSignals_);
      pendingSignals_.clear();
    }
    return &*open_;
  }

  // Without a fix (status V, quality 0) a receiver fills the position
  // fields with whatever it holds; they are not read.
  bool takeRmc(std::string_view line) {
    NmeaEpoch candidate;
    const std::string_view status = nmeaField(line, rmc::kStatus);
    if (status == "A" && !position(line, rmc::kLatitude, candidate.latitude, candidate.longitude)) return false;
    const std::string_view date = nmeaField(line, rmc::kDate);
    if (!date.empty() && !(candidate.rmcDate = nmeaDate(date))) return false;
    bool ok;
    NmeaEpoch* e = epochAt(nmeaField(line, rmc::kTime), ok);
    if (!ok) return false;
    if (!e) return ++skipped.ignored, true;
    e->hasRmc = true;
    e->rmcStatus = status.empty() ? 0 : status[0];
    if (candidate.latitude) e->latitude = candidate.latitude, e->longitude = candidate.longitude;
    if (candidate.rmcDate) e->rmcDate = candidate.rmcDate;
    return true;
  }

  bool takeGga(std::string_view line) {
    NmeaEpoch c;
    const std::string_view quality = nmeaField(line, gga::kQuality), used = nmeaField(line, gga::kUsed),
                           hdop = nmeaField(line, gga::kHdop), altitude = nmeaField(line, gga::kAltitude);
    const std::optional<int> q = quality.empty() ? 0 : wholeNumber(quality);
    if (!q) return false;
    if (fixQuality(*q) && !position(line, gga::kLatitude, c.latitude, c.longitude)) return false;
    if (!used.empty() && !(c.ggaUsed = wholeNumber(used))) return false;
    if (!hdop.empty() && !(c.ggaHdop = plainNumber(hdop, false))) return false;
    if (!altitude.empty() && !(c.ggaAltitude = plainNumber(altitude, true))) return false;
    bool ok;
    NmeaEpoch* e = epochAt(nmeaField(line, gga::kTime), ok);
    if (!ok) return false;
    if (!e) return ++skipped.ignored, true;
    e->hasGga = true;
    e->ggaQuality = *q;
    if (c.latitude) e->latitude = c.latitude, e->longitude = c.longitude;
    e->ggaAltitude = c.ggaAltitude, e->ggaHdop = c.ggaHdop, e->ggaUsed = c.ggaUsed;
    return true;
  }

  // GLL's position is RMC's and GGA's again; only its time is read, so
  // that a log that begins with the GLL of an epoch begins before the next.
  bool takeGll(std::string_view line) {
    ++skipped.ignored;
    const std::string_view time = nmeaField(line, gll::kTime);
    if (nmeaTime(time)) {
      bool ok;
      epochAt(time, ok);
    }
    return true;
  }

  static void applyGsa(NmeaEpoch& e, const GsaValues& g) {
    // A receiver of several systems sends one GSA per system in an epoch.
    e.gsaMode = e.hasGsa ? std::max(e.gsaMode, g.mode) : g.mode;
    e.gsaUsed += g.used;
    if (!e.gsaHdop) e.gsaHdop = g.hdop;
    e.hasGsa = true;
  }

  bool takeGsa(std::string_view line) {
    GsaValues g;
    const std::string_view mode = nmeaField(line, gsa::kMode), hdop = nmeaField(line, gsa::kHdop);
    if (mode.size() != 1 || mode[0] < '1' || mode[0] > '3') return false;
    g.mode = mode[0];
    for (int k = 0; k < gsa::kIds; ++k) g.used += nmeaField(line, gsa::kFirstId + k).empty() ? 0 : 1;
    if (!hdop.empty() && !(g.hdop = plainNumber(hdop, false))) return false;
    // The GSA of an epoch follows a timed sentence of it; one before any
    // goes to the epoch that comes.
    if (open_)
      applyGsa(*open_, g);
    else
      pendingGsa_ = g;
    return true;
  }

  // A group's signals count when its last sentence arrives after all the
  // others in order; a group with a sentence missing or out of turn is
  // dropped. Entries without a number, or with a C/N0 of 0 or none, are
  // satellites without a signal.
  void takeGsv(std::string_view line) {
    const std::string_view talker = line.substr(1, 2);
    auto it = std::find_if(groups_.begin(), groups_.end(), [&](const GsvGroup& g) { return g.talker == talker; });
    if (it == groups_.end()) {
      if (groups_.size() >= 8) return;  // more talkers than there are systems
      groups_.push_back(GsvGroup{std::string(talker), 0, 0, {}});
      it = groups_.end() - 1;
    }
    GsvGroup& g = *it;
    const std::optional<int> total = wholeNumber(nmeaField(line, gsv::kTotal)),
                             number = wholeNumber(nmeaField(line, gsv::kNumber));
    if (!total || !number || *number < 1 || *number > *total || *total > gsv::kMostSentences) return void(g.next = 0);
    if (*number == 1) {
      g.total = *total, g.next = 1;
      g.signals.clear();
    }
    if (g.next != *number || g.total != *total) return void(g.next = 0);
    for (int k = 0; k < gsv::kPerSentence; ++k) {
      const int at = gsv::kFirstPrn + k * gsv::kPerSatellite;
      const std::optional<int> prn = wholeNumber(nmeaField(line, at)),
                               snr = wholeNumber(nmeaField(line, at + gsv::kSnrAfterPrn));
      if (prn && *prn > 0 && snr && *snr > 0) g.signals.push_back({*prn, static_cast<double>(*snr)});
    }
    if (++g.next <= g.total) return;
    std::vector<Signal>& to = open_ ? open_->signals : pendingSignals_;
    for (const Signal& sg : g.signals)
      if (to.size() < kEpochSignals) to.push_back(sg);
    g.next = 0;
  }

  // `byNext`: the epoch ends because another began; at the end of the log
  // it is whole only when its closing sentence came.
  void close(bool byNext) {
    if (!open_) return;
    const NmeaEpoch& e = *open_;
    Point p;
    p.time = e.time;
    if (e.rmcDate) {
      lastDate_ = *e.rmcDate;
      lastDate_->hour = e.time.hour, lastDate_->minute = e.time.minute, lastDate_->second = e.time.second;
    }
    // A date carries on to later epochs of the same day; past midnight it is
    // unknown until the next RMC.
    if (lastDate_ && secondOfDay(e.time) >= secondOfDay(*lastDate_)) {
      p.time.hasDate = true;
      p.time.year = lastDate_->year, p.time.month = lastDate_->month, p.time.day = lastDate_->day;
    } else {
      lastDate_.reset();
    }
    // gpsd's fix: GGA's quality where there is a GGA, else RMC's status; 3D
    // with a height (GGA gives one also in a 2D fix, and gpsd then says 3D)
    // or GSA's mode 3.
    const bool valid = (e.hasGga ? fixQuality(e.ggaQuality) : e.rmcStatus == 'A') && e.latitude;
    if (valid) {
      p.latitude = e.latitude, p.longitude = e.longitude;
      p.altitude = e.ggaAltitude;
      p.fix = p.altitude || e.gsaMode == '3' ? Fix::Fix3D : Fix::Fix2D;
    }
    p.used = e.ggaUsed ? e.ggaUsed : e.hasGsa ? std::optional<int>(e.gsaUsed) : std::nullopt;
    p.hdop = e.ggaHdop ? e.ggaHdop : e.gsaHdop;
    // The first epoch may have begun before the log did; the last may have
    // been cut by its end.
    const bool whole = byNext ? begun_ : begun_ && e.closed;
    if (byNext) begun_ = true;
    if (whole)
      onEpoch_(p, e.signals);
    else
      ++skipped.cut;
    open_.reset();
  }

  const LogReader::OnEpoch& onEpoch_;
  std::string partial_;  // a line not yet ended
  std::optional<NmeaEpoch> open_;
  std::optional<GsaValues> pendingGsa_;
  std::vector<Signal> pendingSignals_;
  std::vector<GsvGroup> groups_;
  std::optional<Time> lastDate_;  // the last RMC date, with the time of its epoch
  bool begun_ = false;            // an epoch has ended by the start of the next
  std::string last_, closing_;    // addresses: the last intact sentence; the one that closes an epoch
};

// The framer's length of a frame with this many payload bytes (what the
// decoders of the data path take).
constexpr int32_t kFramerLength(size_t payload) { return static_cast<int32_t>(payload) + 3; }

class VbiReader final : public LogReader::Impl {
 public:
  explicit VbiReader(const LogReader::OnEpoch& onEpoch) : onEpoch_(onEpoch) {}

  LogKind kind() const override { return LogKind::Vbi; }

  void feed(std::span<const uint8_t> bytes) override {
    for (const uint8_t b : bytes) take(b);
  }

  // The last frame has no marker after it: one is fed, behind a byte that
  // ends any half marker, and that byte is not counted against the frame.
  void finish() override {
    if (!frames_.inFrame()) return;
    flushing_ = true;
    for (const uint8_t b : {uint8_t{0}, kVbiSync1, kVbiSync2}) frames_.take(b, [&](auto w, int32_t n) { frame(w, n); });
  }

 private:
  void take(uint8_t b) {
    const bool wasInFrame = frames_.inFrame();
    frames_.take(b, [&](std::span<const uint8_t, kFrameWindow> w, int32_t n) { frame(w, n); });
    // Bytes before the first marker, or after a frame too long to be one.
    if (!wasInFrame && !frames_.inFrame() && b != kVbiSync1 && !outside_) outside_ = true, ++skipped.garbage;
    if (frames_.inFrame()) outside_ = false;
  }

  void frame(std::span<const uint8_t, kFrameWindow> window, int32_t length) {
    // From the id byte to the closing marker, which is not the frame's.
    const int64_t collected = static_cast<int64_t>(length) + 5 - 2 - (flushing_ ? 1 : 0);
    if (collected < static_cast<int64_t>(kVbiHeaderSize - 2)) return void(++skipped.fields);
    // The frame alone, zeros after it, as wide as the decoders read.
    std::array<uint8_t, kFrameWindow + 2> f{kVbiSync1, kVbiSync2};
    const size_t size = static_cast<size_t>(collected) + 2;
    std::copy_n(window.begin(), size - 2, f.begin() + 2);
    const std::span<const uint8_t> whole(f.data(), size);
    const size_t declared = getLe16(whole, kVbiLengthOffset);
    if (declared > size - kVbiHeaderSize) return void(++skipped.fields);  // cut short
    if (!vbiChecksumValid(whole)) return void(++skipped.checksum);
    if (declared < size - kVbiHeaderSize) ++skipped.garbage;  // bytes after it, before the next marker
    std::fill(f.begin() + static_cast<ptrdiff_t>(kVbiHeaderSize + declared), f.end(), uint8_t{0});
    const std::span<const uint8_t> payload = whole.subspan(kVbiHeaderSize, declared);
    switch (getLe16(whole, kVbiIdOffset)) {
      case kSvMeasurementsMessage: {
        if (payload.size() < measLayout::kTimeOfWeekMs + 4) return void(++skipped.fields);
        const SvMeasurements m = decodeSvMeasurements(FrameView(f.data() + 2, kFrameWindow), kFramerLength(declared));
        week_ = m.week;
        timeOfWeekMs_ = m.timeOfWeekMs;
        signals_.clear();
        for (size_t k = 0; k < m.count; ++k)
          if (m.records[k].signal > 0) signals_.push_back({m.records[k].prn, m.records[k].signal / 1000.0});
        return void(++skipped.ignored);
      }
      case kPvtSolutionMessage:
        return solution(payload);
      default:
        return void(++skipped.ignored);
    }
  }

  void solution(std::span<const uint8_t> payload) {
    if (payload.size() < pvtLayout::kRead) return void(++skipped.fields);
    const PvtSolution s = decodePvtSolution(payload);
    if (s.hour > 23 || s.minute > 59 || s.second > 59) return void(++skipped.fields);
    Point p;
    p.time.hour = s.hour, p.time.minute = s.minute, p.time.second = s.second;
    if (week_) {
      p.time = dateFromGpsTime(*week_, timeOfWeekMs_, s.hour, s.minute, s.second);
    }
    p.used = s.used;
    if (s.fix != PvtFix::None) {
      constexpr double kDegrees = 180 / std::numbers::pi;
      const double lat = s.latitudeRad * kDegrees, lon = s.longitudeRad * kDegrees;
      if (!(std::fabs(lat) <= 90 && std::fabs(lon) <= 180)) return void(++skipped.fields);  // NaN too
      p.latitude = lat, p.longitude = lon;
      p.fix = s.fix == PvtFix::Fix3D ? Fix::Fix3D : Fix::Fix2D;
      if (p.fix == Fix::Fix3D && std::isfinite(s.altitudeM)) p.altitude = s.altitudeM;
    }
    // The measurements before a solution are of its epoch; each goes to one.
    onEpoch_(p, signals_);
    signals_.clear();
  }

  const LogReader::OnEpoch& onEpoch_;
  FrameCollector frames_;
  bool flushing_ = false;
  bool outside_ = false;
  std::optional<int> week_;
  uint32_t timeOfWeekMs_ = 0;
  std::vector<Signal> signals_;
};

}  // namespace

size_t Track::fixes() const {
  return static_cast<size_t>(std::count_if(points.begin(), points.end(), [](const Point& p) { return p.fix != Fix::None; }));
}

std::optional<double> nmeaDegrees(std::string_view value, std::string_view hemisphere) {
  if (hemisphere.size() != 1) return std::nullopt;
  const char h = hemisphere[0];
  const bool latitude = h == 'N' || h == 'S';
  if (!latitude && h != 'E' && h != 'W') return std::nullopt;
  const std::optional<double> v = plainNumber(value, false);
  if (!v) return std::nullopt;
  const double degrees = std::floor(*v / 100), minutes = *v - degrees * 100;
  const double d = degrees + minutes / 60;
  if (minutes >= 60 || d > (latitude ? 90 : 180)) return std::nullopt;
  return h == 'S' || h == 'W' ? -d : d;
}

std::optional<Time> nmeaTime(std::string_view s) {
  if (s.size() < 6 || !std::all_of(s.begin(), s.begin() + 6, [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  Time t;
  t.hour = digits2(s, 0), t.minute = digits2(s, 2);
  const std::optional<double> second = plainNumber(s.substr(4), false);
  if (!second || t.hour > 23 || t.minute > 59 || *second >= 60) return std::nullopt;
  t.second = *second;
  return t;
}

std::optional<Time> nmeaDate(std::string_view s) {
  if (s.size() != 6 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  Time t;
  t.hasDate = true;
  t.day = digits2(s, 0), t.month = digits2(s, 2);
  const int yy = digits2(s, 4);
  // GPS began in 1980: a two-digit year below 80 is this century's.
  t.year = yy < 80 ? 2000 + yy : 1900 + yy;
  if (t.day < 1 || t.day > 31 || t.month < 1 || t.month > 12) return std::nullopt;
  return t;
}

Time dateFromGpsTime(int week, uint32_t timeOfWeekMs, int hour, int minute, int second) {
  constexpr int64_t kGpsEpochUnix = 315964800, kSecondsPerWeek = 604800;
  const double gps = static_cast<double>(kGpsEpochUnix + week * kSecondsPerWeek) + timeOfWeekMs / 1000.0;
  const double ofDay = hour * 3600.0 + minute * 60.0 + second;
  const int64_t day = static_cast<int64_t>(std::floor(gps / kSecondsPerDay));
  int64_t best = day;
  for (const int64_t d : {day - 1, day + 1})
    if (std::fabs(static_cast<double>(d) * kSecondsPerDay + ofDay - gps) <
        std::fabs(static_cast<double>(best) * kSecondsPerDay + ofDay - gps))
      best = d;
  const CalendarTime c = civilFromUnix(best * 86400);
  Time t;
  t.hasDate = true;
  t.year = c.year, t.month = c.month, t.day = c.day;
  t.hour = hour, t.minute = minute, t.second = second;
  return t;
}

LogKind detectKind(std::span<const uint8_t> bytes) {
  constexpr size_t kLooked = 64 * 1024;
  const std::span<const uint8_t> head = bytes.first(std::min(bytes.size(), kLooked));
  size_t markers = 0, lines = 0;
  for (size_t i = 0; i < head.size(); ++i) {
    if (head[i] == kVbiSync1 && i + 1 < head.size() && head[i + 1] == kVbiSync2) ++markers;
    if (head[i] == '$' && (i == 0 || head[i - 1] == '\n')) ++lines;
  }
  return markers > 0 && markers >= lines ? LogKind::Vbi : LogKind::Nmea;
}

LogReader::LogReader(OnEpoch onEpoch) : onEpoch_(std::move(onEpoch)) {}

LogReader::LogReader(LogKind kind, OnEpoch onEpoch) : onEpoch_(std::move(onEpoch)) { start(kind); }

LogReader::~LogReader() = default;

void LogReader::start(LogKind kind) {
  if (kind == LogKind::Vbi)
    impl_ = std::make_unique<VbiReader>(onEpoch_);
  else
    impl_ = std::make_unique<NmeaReader>(onEpoch_);
}

void LogReader::feed(std::span<const uint8_t> bytes) {
  if (!impl_) {
    const size_t want = std::min(bytes.size(), kKindBytes - head_.size());
    head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(want));
    bytes = bytes.subspan(want);
    if (head_.size() < kKindBytes) return;
    start(detectKind(head_));
    impl_->feed(head_);
    std::vector<uint8_t>().swap(head_);
  }
  impl_->feed(bytes);
}

void LogReader::finish() {
  if (!impl_) {
    start(detectKind(head_));
    impl_->feed(head_);
    std::vector<uint8_t>().swap(head_);
  }
  impl_->finish();
}

LogKind LogReader::kind() const { return impl_ ? impl_->kind() : detectKind(head_); }

const Skipped& LogReader::skipped() const { return impl_ ? impl_->skipped : none_; }

namespace {

// The whole of a log in memory, read as a stream would be.
void readWith(LogReader& reader, Track& track, std::span<const uint8_t> bytes) {
  reader.feed(bytes);
  reader.finish();
  track.kind = reader.kind();
  track.skipped = reader.skipped();
}

}  // namespace

Track readNmeaLog(std::string_view text) {
  Track track;
  LogReader reader(LogKind::Nmea, [&](const Point& p, std::span<const Signal>) { track.points.push_back(p); });
  readWith(reader, track, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  return track;
}

Track readVbiLog(std::span<const uint8_t> bytes) {
  Track track;
  LogReader reader(LogKind::Vbi, [&](const Point& p, std::span<const Signal>) { track.points.push_back(p); });
  readWith(reader, track, bytes);
  return track;
}

Track readLog(std::span<const uint8_t> bytes) {
  Track track;
  LogReader reader([&](const Point& p, std::span<const Signal>) { track.points.push_back(p); });
  readWith(reader, track, bytes);
  return track;
}

}  // namespace ferrolan::track
