#pragma once
// Plays a capture back byte for byte: one second per RMC sentence (the
// chunk before each RMC goes out a second after the previous one), or all
// at once when fast.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/wire.h"

namespace ferrolan::sim {

// Offsets at which the capture is cut: before every "$..RMC," sentence.
std::vector<size_t> rmcCuts(const Bytes& capture);

class Replay {
 public:
  Replay(Bytes capture, bool fast, uint32_t now);
  void advance(uint32_t now, Bytes& out);
  bool finished() const { return next_ >= capture_.size(); }

 private:
  Bytes capture_;
  std::vector<size_t> cuts_;
  size_t chunk_ = 0;  // index of the next cut to reach
  size_t next_ = 0;   // first byte not yet sent
  bool fast_;
  uint32_t nextAt_;
};

}  // namespace ferrolan::sim
