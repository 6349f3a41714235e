#pragma once
// The wire between the receiver and the program: pacing at the real rate
// (10 bits per byte), what a rate mismatch does to the bytes, and the
// faults that live on the line (silence, noise, a pause inside a sentence).
//
// Mismatch: when the program's port runs at another rate than the
// receiver's UART, every byte turns into framing garbage. Garbage bytes lie
// in 0x82..0xFE, so they never look like "$", "Z", ACK, NAK or a VBI sync.
// A faster sender yields one garbage byte per (sender / line) bytes, a
// slower one one per byte. What the program sends at a wrong rate is lost.

#include <cstddef>
#include <cstdint>
#include <deque>

#include "sim/wire.h"

namespace ferrolan::sim {

// Bytes a line at `baud` can carry over time; a small burst is allowed so
// that a loop waking every few milliseconds keeps the line busy.
class ByteBudget {
 public:
  void reset(uint32_t now);
  size_t available(uint32_t now, uint32_t baud);
  void spend(size_t n);

 private:
  uint32_t last_ = 0;
  uint64_t milliBytes_ = 0;  // thousandths of a byte
  bool started_ = false;
};

class Noise {
 public:
  explicit Noise(uint32_t seed = 1) : state_(seed | 1) {}
  uint8_t next();

 private:
  uint32_t state_;
};

// Turns bytes sent at `senderBaud` into what a port at `lineBaud` reads.
Bytes garble(const Bytes& in, uint32_t senderBaud, uint32_t lineBaud, Noise& noise);

struct LineFaults {
  bool silent = false;       // the receiver's output never reaches the line
  bool garbage = false;      // a burst of noise every second
  bool pauseArmed = false;   // the next sentence stalls for 1.5 s after its fifth byte
  bool pace = true;          // real line rate; off = as fast as the pty takes it
};

class OutputLine {
 public:
  explicit OutputLine(uint32_t seed = 1) : noise_(seed) {}
  void queue(const Bytes& b);
  size_t backlog() const { return pending_.size(); }
  void clear() { pending_.clear(); }
  // What goes on the wire now, already garbled when the rates differ.
  Bytes drain(uint32_t now, uint32_t receiverBaud, uint32_t lineBaud);

  LineFaults faults;

 private:
  std::deque<uint8_t> pending_;
  ByteBudget budget_;
  Noise noise_;
  uint32_t pauseUntil_ = 0;
  bool pausing_ = false;
  int sinceDollar_ = -1;
  uint32_t lastNoise_ = 0;
};

}  // namespace ferrolan::sim
