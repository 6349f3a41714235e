#pragma once
// Plays a capture back byte for byte, in the capture's own time: it is cut
// before every epoch's sentence or frame (RMC, else GGA, in NMEA text; the
// PVT Solution in a VBI log), and each chunk goes out as long after the
// previous one as the times of their epochs lie apart, divided by the
// speed; a second when the time is missing or goes back. Speed 0 puts it
// all out at once. It waits for a listener: played to nobody, a capture
// would be lost whole (fast) or cut at its start.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/wire.h"

namespace ferrolan::sim {

struct ReplayCut {
  size_t at = 0;         // offset of the epoch's sentence or frame
  uint32_t afterMs = 0;  // log time since the previous cut (the first: one second)
};

// Where a capture is cut, in capture order.
std::vector<ReplayCut> replayCuts(const Bytes& capture);

class Replay {
 public:
  // speed: log seconds per second; 0 = as fast as the line takes it.
  Replay(Bytes capture, double speed);
  // The first chunk goes out at `at`; later calls keep the first time.
  void startAt(uint32_t at);
  void advance(uint32_t now, Bytes& out);
  bool finished() const { return next_ >= capture_.size(); }

 private:
  Bytes capture_;
  std::vector<ReplayCut> cuts_;
  size_t chunk_ = 0;  // index of the next cut to reach
  size_t next_ = 0;   // first byte not yet sent
  double speed_;
  bool started_ = false;
  uint32_t startedAt_ = 0;
  double logMs_ = 0;  // log time of the next chunk since the start
};

}  // namespace ferrolan::sim
