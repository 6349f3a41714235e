#include "sim/replay.h"

#include <cmath>
#include <optional>

#include "sim/vbi_output.h"

namespace ferrolan::sim {

namespace {

constexpr uint32_t kStepMs = 1000;
constexpr uint32_t kDayMs = 86400000;
// Epochs further apart than this are taken for a jump in the log (a new
// session appended), not for time to wait through.
constexpr uint32_t kLongestGapMs = 3600000;

bool digitsAt(const Bytes& c, size_t i, size_t n) {
  if (i + n > c.size()) return false;
  for (size_t k = i; k < i + n; ++k)
    if (c[k] < '0' || c[k] > '9') return false;
  return true;
}

int twoDigits(const Bytes& c, size_t i) { return (c[i] - '0') * 10 + (c[i + 1] - '0'); }

// "hhmmss[.sss]" at i: milliseconds of the day.
std::optional<uint32_t> nmeaTimeAt(const Bytes& c, size_t i) {
  if (!digitsAt(c, i, 6)) return std::nullopt;
  const int h = twoDigits(c, i), m = twoDigits(c, i + 2), s = twoDigits(c, i + 4);
  if (h > 23 || m > 59 || s > 60) return std::nullopt;
  uint32_t ms = static_cast<uint32_t>((h * 60 + m) * 60 + s) * 1000;
  if (i + 6 < c.size() && c[i + 6] == '.') {
    uint32_t scale = 100;
    for (size_t k = i + 7; k < c.size() && scale > 0 && c[k] >= '0' && c[k] <= '9'; ++k, scale /= 10)
      ms += static_cast<uint32_t>(c[k] - '0') * scale;
  }
  return ms;
}

// Where an epoch begins in the capture, and its time of day when known.
struct EpochMark {
  size_t at;
  std::optional<uint32_t> ms;
};

std::vector<EpochMark> sentenceEpochs(const Bytes& c, char a, char b, char d) {
  std::vector<EpochMark> found;
  for (size_t i = 0; i + 6 < c.size(); ++i)
    if (c[i] == '$' && c[i + 3] == a && c[i + 4] == b && c[i + 5] == d && c[i + 6] == ',')
      found.push_back({i, nmeaTimeAt(c, i + 7)});
  return found;
}

// Whole PVT Solution frames with a good checksum; the time from the payload.
std::vector<EpochMark> pvtEpochs(const Bytes& c) {
  std::vector<EpochMark> found;
  for (size_t i = 0; i + kVbiHeader <= c.size(); ++i) {
    if (c[i] != kVbiSync1 || c[i + 1] != kVbiSync2) continue;
    const std::span<const uint8_t> all(c);
    if (getLe16(all, i + 2) != kMsgPvtSolution) continue;
    const size_t n = getLe16(all, i + 4);
    if (i + kVbiHeader + n > c.size()) continue;
    const auto payload = all.subspan(i + kVbiHeader, n);
    if (vbiChecksum(kMsgPvtSolution, payload) != getLe16(all, i + 6)) continue;
    std::optional<uint32_t> ms;
    if (n > pvt::kSecond && payload[pvt::kHour] < 24 && payload[pvt::kMinute] < 60 && payload[pvt::kSecond] < 61)
      ms = ((payload[pvt::kHour] * 60u + payload[pvt::kMinute]) * 60u + payload[pvt::kSecond]) * 1000u;
    found.push_back({i, ms});
  }
  return found;
}

}  // namespace

std::vector<ReplayCut> replayCuts(const Bytes& c) {
  std::vector<EpochMark> epochs = sentenceEpochs(c, 'R', 'M', 'C');
  if (epochs.empty()) epochs = sentenceEpochs(c, 'G', 'G', 'A');
  std::vector<EpochMark> frames = pvtEpochs(c);
  if (frames.size() > epochs.size()) epochs = std::move(frames);
  std::vector<ReplayCut> cuts;
  std::optional<uint32_t> last;
  for (const EpochMark& e : epochs) {
    uint32_t after = kStepMs;
    if (last && e.ms) {
      const uint32_t gap = (*e.ms + kDayMs - *last) % kDayMs;  // over midnight too
      if (gap <= kLongestGapMs) after = gap;                   // 0: the same epoch again
    }
    if (e.ms) last = e.ms;
    // A capture that begins with an epoch needs no cut there: that chunk
    // goes out at the start.
    if (e.at > 0) cuts.push_back({e.at, after});
  }
  return cuts;
}

Replay::Replay(Bytes capture, double speed)
    : capture_(std::move(capture)), cuts_(replayCuts(capture_)), speed_(speed > 0 ? speed : 0) {}

void Replay::startAt(uint32_t at) {
  if (started_) return;
  started_ = true;
  startedAt_ = at;
}

void Replay::advance(uint32_t now, Bytes& out) {
  while (started_ && !finished()) {
    const uint32_t due = startedAt_ + (speed_ > 0 ? static_cast<uint32_t>(std::llround(logMs_ / speed_)) : 0);
    if (static_cast<int32_t>(now - due) < 0) break;
    const size_t end = chunk_ < cuts_.size() ? cuts_[chunk_].at : capture_.size();
    out.insert(out.end(), capture_.begin() + static_cast<std::ptrdiff_t>(next_),
               capture_.begin() + static_cast<std::ptrdiff_t>(end));
    next_ = end;
    if (chunk_ < cuts_.size()) logMs_ += cuts_[chunk_].afterMs;
    ++chunk_;
  }
}

}  // namespace ferrolan::sim
