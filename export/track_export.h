#pragma once
// A track from a log the tool wrote: the NMEA text log (one sentence per
// line) or the binary VBI log (the raw frames). Pure: bytes in, points and
// the count of what could not be used out; no files, no clock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ferrolan::track {

enum class Fix : uint8_t { None, Fix2D, Fix3D };

// UTC. The date is known only from an RMC sentence (text) or from the GPS
// week of an SV Measurements message (binary).
struct Time {
  bool hasDate = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0;
  double second = 0;
};

// One epoch of the receiver: one row of the CSV; with a fix, one point of
// the track.
struct Point {
  Time time;
  Fix fix = Fix::None;
  std::optional<double> latitude, longitude;  // degrees, south and west negative
  std::optional<double> altitude;             // metres
  std::optional<int> used;                    // satellites used in the fix
  std::optional<double> hdop;
};

// What was not used, by why. `garbage` counts lines (text) or stretches of
// bytes between frames (binary) that are no sentence or frame; `checksum`
// sentences or frames whose checksum fails; `fields` sentences or frames
// that are cut short or hold values out of range. `ignored` are intact
// sentences or frames of kinds a track does not need; they are not skipped.
//
// `cut` counts the text log's epochs that are no point because the log
// begins or ends inside them, as gpsd counts them: the first epoch (nothing
// shows that the log holds its beginning) and a last one without the
// sentence that closed the epochs before it. They are not in the total.
struct Skipped {
  size_t garbage = 0, checksum = 0, fields = 0;
  size_t ignored = 0;
  size_t cut = 0;
  size_t total() const { return garbage + checksum + fields; }
  bool operator==(const Skipped&) const = default;
};

enum class LogKind { Nmea, Vbi };

struct Track {
  LogKind kind = LogKind::Nmea;
  std::vector<Point> points;  // in log order
  Skipped skipped;
  size_t fixes() const;
};

// A satellite in view with a signal: a GSV entry with a C/N0 above 0, an
// SV Measurements record with one.
struct Signal {
  int prn = 0;
  double cn0 = 0;  // dB-Hz
};

// Reads a log in pieces of any size and hands out each epoch when it is
// complete, with the signals of the satellites reported in it; memory stays
// that of one epoch and one line, whatever the log's size. The kind is told
// from the first bytes (detectKind), held until kKindBytes have come or the
// log ends.
class LogReader {
 public:
  using OnEpoch = std::function<void(const Point&, std::span<const Signal>)>;
  static constexpr size_t kKindBytes = 64 * 1024;

  explicit LogReader(OnEpoch onEpoch);
  // The kind given, not told from the bytes.
  LogReader(LogKind kind, OnEpoch onEpoch);
  ~LogReader();
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  void feed(std::span<const uint8_t> bytes);
  // The end of the log: the last epoch is handed out (or counted as cut).
  void finish();

  LogKind kind() const;
  const Skipped& skipped() const;

  class Impl;

 private:
  void start(LogKind kind);

  OnEpoch onEpoch_;
  std::vector<uint8_t> head_;  // until the kind is known
  std::unique_ptr<Impl> impl_;
  Skipped none_;
};

// The kind of a log from its first bytes: binary when VBI markers
// (0x81 0xFF) are at least as common there as lines that begin with "$".
LogKind detectKind(std::span<const uint8_t> bytes);

Track readNmeaLog(std::string_view text);
Track readVbiLog(std::span<const uint8_t> bytes);
// By detectKind.
Track readLog(std::span<const uint8_t> bytes);

// Text values of a sentence, exposed for the tests: "ddmm.mmmm" with its
// hemisphere letter to degrees; "hhmmss[.sss]"; "ddmmyy". Nothing when the
// text is empty, malformed or out of range.
std::optional<double> nmeaDegrees(std::string_view value, std::string_view hemisphere);
std::optional<Time> nmeaTime(std::string_view hhmmss);
std::optional<Time> nmeaDate(std::string_view ddmmyy);

// The UTC date of a time of day given near a GPS time (week, milliseconds
// of the week): the day whose `hour:minute:second` lies closest to it, so
// that the leap seconds between the two clocks need not be known.
Time dateFromGpsTime(int week, uint32_t timeOfWeekMs, int hour, int minute, int second);

}  // namespace ferrolan::track
