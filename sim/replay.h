#pragma once
// Plays a capture back byte for byte: one second per RMC sentence (the
// chunk before each RMC goes out a second after the previous one), or all
// at once when fast. It waits for a listener: played to nobody, a capture
// would be lost whole (fast) or cut at its start.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/wire.h"

namespace ferrolan::sim {

// Offsets at which the capture is cut: before every "$..RMC," sentence.
std::vector<size_t> rmcCuts(const Bytes& capture);

class Replay {
 public:
  Replay(Bytes capture, bool fast);
  // The first chunk goes out at `at`; later calls keep the first time.
  void startAt(uint32_t at);
  void advance(uint32_t now, Bytes& out);
  bool finished() const { return next_ >= capture_.size(); }

 private:
  Bytes capture_;
  std::vector<size_t> cuts_;
  size_t chunk_ = 0;  // index of the next cut to reach
  size_t next_ = 0;   // first byte not yet sent
  bool fast_;
  bool started_ = false;
  uint32_t nextAt_ = 0;
};

}  // namespace ferrolan::sim
