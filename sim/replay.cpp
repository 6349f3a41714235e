#include "sim/replay.h"

namespace ferrolan::sim {

std::vector<size_t> rmcCuts(const Bytes& c) {
  std::vector<size_t> cuts;
  for (size_t i = 0; i + 6 < c.size(); ++i) {
    if (c[i] == '$' && c[i + 3] == 'R' && c[i + 4] == 'M' && c[i + 5] == 'C' && c[i + 6] == ',' && i > 0)
      cuts.push_back(i);
  }
  return cuts;
}

Replay::Replay(Bytes capture, bool fast) : capture_(std::move(capture)), cuts_(rmcCuts(capture_)), fast_(fast) {}

void Replay::startAt(uint32_t at) {
  if (started_) return;
  started_ = true;
  nextAt_ = at;
}

void Replay::advance(uint32_t now, Bytes& out) {
  while (started_ && !finished() && static_cast<int32_t>(now - nextAt_) >= 0) {
    const size_t end = chunk_ < cuts_.size() ? cuts_[chunk_] : capture_.size();
    out.insert(out.end(), capture_.begin() + static_cast<std::ptrdiff_t>(next_),
               capture_.begin() + static_cast<std::ptrdiff_t>(end));
    next_ = end;
    ++chunk_;
    if (!fast_) nextAt_ += 1000;
  }
}

}  // namespace ferrolan::sim
