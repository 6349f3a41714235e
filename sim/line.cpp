#include "sim/line.h"

#include <algorithm>

namespace ferrolan::sim {

void ByteBudget::reset(uint32_t now) {
  last_ = now;
  milliBytes_ = 0;
  started_ = true;
}

size_t ByteBudget::available(uint32_t now, uint32_t baud) {
  if (!started_) reset(now);
  const uint32_t dt = now - last_;
  last_ = now;
  // baud / 10 bytes per second = baud / 10 milli-bytes per millisecond.
  milliBytes_ += static_cast<uint64_t>(dt) * baud / 10;
  // At most 20 ms of line time saved up.
  const uint64_t cap = static_cast<uint64_t>(baud) * 20 / 10 + 1000;
  milliBytes_ = std::min(milliBytes_, cap);
  return static_cast<size_t>(milliBytes_ / 1000);
}

void ByteBudget::spend(size_t n) { milliBytes_ -= std::min<uint64_t>(milliBytes_, static_cast<uint64_t>(n) * 1000); }

uint8_t Noise::next() {
  state_ = state_ * 1103515245u + 12345u;
  // 0x82..0xFE: 125 values.
  return static_cast<uint8_t>(0x82 + (state_ >> 16) % 125);
}

Bytes garble(const Bytes& in, uint32_t senderBaud, uint32_t lineBaud, Noise& noise) {
  if (senderBaud == lineBaud) return in;
  Bytes out;
  const size_t every = senderBaud > lineBaud && lineBaud > 0 ? std::max<size_t>(1, senderBaud / lineBaud) : 1;
  for (size_t i = 0; i < in.size(); ++i)
    if (i % every == 0) out.push_back(noise.next());
  return out;
}

void OutputLine::queue(const Bytes& b) { pending_.insert(pending_.end(), b.begin(), b.end()); }

Bytes OutputLine::drain(uint32_t now, uint32_t receiverBaud, uint32_t lineBaud) {
  Bytes out;
  if (faults.silent) pending_.clear();
  if (faults.garbage && now - lastNoise_ >= 1000) {
    lastNoise_ = now;
    for (int i = 0; i < 8; ++i) out.push_back(noise_.next());
  }
  if (pausing_) {
    if (static_cast<int32_t>(now - pauseUntil_) < 0) return out;
    pausing_ = false;
  }
  size_t allowed = faults.pace ? budget_.available(now, receiverBaud) : pending_.size();
  Bytes sent;
  while (allowed > 0 && !pending_.empty()) {
    const uint8_t b = pending_.front();
    pending_.pop_front();
    sent.push_back(b);
    --allowed;
    if (faults.pauseArmed) {
      if (b == '$') sinceDollar_ = 0;
      else if (sinceDollar_ >= 0) ++sinceDollar_;
      if (sinceDollar_ == 5) {
        faults.pauseArmed = false;
        sinceDollar_ = -1;
        pausing_ = true;
        pauseUntil_ = now + 1500;
        break;
      }
    }
  }
  if (faults.pace) budget_.spend(sent.size());
  const Bytes wire = garble(sent, receiverBaud, lineBaud, noise_);
  out.insert(out.end(), wire.begin(), wire.end());
  return out;
}

}  // namespace ferrolan::sim
