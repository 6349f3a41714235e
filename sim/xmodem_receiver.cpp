#include "sim/xmodem_receiver.h"

namespace ferrolan::sim {

void XmodemReceiver::burst(Bytes& out, int count) {
  for (int i = 0; i < count; ++i) out.push_back(kNak);
}

void XmodemReceiver::start(uint32_t now, Bytes& out) {
  status_ = Status::Waiting;
  phase_ = Phase::Start;
  data_.clear();
  lastBlock_ = 0;
  blocks_ = duplicates_ = rejected_ = answered_ = 0;
  lastByteAt_ = lastBurstAt_ = now;
  burst(out, faults_.nakBurst);
}

// The answer to a block the receiver has taken, with the injected faults.
void XmodemReceiver::answer(Bytes& out) {
  ++answered_;
  if (faults_.nakStorm) {
    burst(out, 16);
    return;
  }
  if (faults_.loseAckOfBlock == answered_) return;
  if (faults_.corruptAckOfBlock == answered_) {
    out.push_back(0x86);  // an ACK with one bit flipped on the line
    return;
  }
  out.push_back(kAck);
}

void XmodemReceiver::judgeBlock(Bytes& out) {
  const bool framed = static_cast<uint8_t>(~number_) == complement_;
  const bool summed = sum_ == 0;  // sum_ holds data sum minus the given checksum
  if (!framed || !summed) {
    ++rejected_;
    out.push_back(kNak);
    return;
  }
  const uint8_t expected = static_cast<uint8_t>(lastBlock_ + 1);
  if (blocks_ > 0 && number_ == lastBlock_) {
    // Our ACK went missing and the sender repeated the block.
    ++duplicates_;
    answer(out);
    return;
  }
  if (number_ != expected) {
    ++rejected_;
    out.push_back(kNak);
    return;
  }
  if (data_.size() + blockSize_ > limits_.maxBytes) {
    status_ = Status::Failed;
    return;
  }
  data_.insert(data_.end(), block_, block_ + blockSize_);
  lastBlock_ = number_;
  ++blocks_;
  status_ = Status::Receiving;
  answer(out);
}

void XmodemReceiver::feed(uint8_t b, uint32_t now, Bytes& out) {
  if (status_ != Status::Waiting && status_ != Status::Receiving) return;
  lastByteAt_ = now;
  switch (phase_) {
    case Phase::Start:
      if (b == kSoh || b == kStx) {
        blockSize_ = b == kSoh ? 128 : 1024;
        phase_ = Phase::Number;
      } else if (b == kEot && status_ == Status::Receiving) {
        out.push_back(kAck);
        status_ = Status::Done;
      }
      // Anything else between blocks is line noise.
      return;
    case Phase::Number:
      number_ = b;
      phase_ = Phase::Complement;
      return;
    case Phase::Complement:
      complement_ = b;
      fill_ = 0;
      sum_ = 0;
      phase_ = Phase::Data;
      return;
    case Phase::Data:
      block_[fill_++] = b;
      sum_ = static_cast<uint8_t>(sum_ + b);
      if (fill_ == blockSize_) phase_ = Phase::Sum;
      return;
    case Phase::Sum:
      sum_ = static_cast<uint8_t>(sum_ - b);
      phase_ = Phase::Start;
      judgeBlock(out);
      return;
  }
}

void XmodemReceiver::tick(uint32_t now, Bytes& out) {
  if (status_ != Status::Waiting && status_ != Status::Receiving) return;
  if (phase_ != Phase::Start && now - lastByteAt_ >= limits_.blockGapMs) {
    // A block cut short: drop it and ask again.
    phase_ = Phase::Start;
    ++rejected_;
    out.push_back(kNak);
    lastByteAt_ = now;
    return;
  }
  if (status_ == Status::Waiting && now - lastBurstAt_ >= limits_.nakIntervalMs) {
    lastBurstAt_ = now;
    burst(out, faults_.nakBurst);
  }
  if (now - lastByteAt_ >= limits_.giveUpMs) status_ = Status::Failed;
}

}  // namespace ferrolan::sim
