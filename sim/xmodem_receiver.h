#pragma once
// The receiving side of XMODEM with the 8-bit sum, as the flash kernel, the
// boot ROM and the loader run it: NAK bursts ask for data until the first
// block, each valid block is ACKed, a bad one NAKed, a repeat ACKed without
// being stored twice, and EOT ends the transfer. Byte at a time, on time
// the caller supplies.

#include <cstddef>
#include <cstdint>

#include "sim/wire.h"

namespace ferrolan::sim {

inline constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEot = 0x04, kAck = 0x06, kNak = 0x15;

struct XmodemFaults {
  int nakBurst = 3;          // NAKs per request burst
  bool nakStorm = false;     // answer every block with a burst of NAKs
  uint32_t loseAckOfBlock = 0;     // 1-based count of the block whose ACK is lost (0 = none)
  uint32_t corruptAckOfBlock = 0;  // ... whose ACK arrives as a wrong byte
};

class XmodemReceiver {
 public:
  enum class Status : uint8_t { Idle, Waiting, Receiving, Done, Failed };

  struct Limits {
    uint32_t nakIntervalMs = 3000;   // between request bursts before the first block
    uint32_t blockGapMs = 1000;      // silence that abandons a half-received block
    uint32_t giveUpMs = 90000;       // silence that abandons the transfer
    size_t maxBytes = 2u << 20;
  };

  XmodemReceiver() = default;
  explicit XmodemReceiver(Limits limits) : limits_(limits) {}

  void start(uint32_t now, Bytes& out);
  void feed(uint8_t b, uint32_t now, Bytes& out);
  void tick(uint32_t now, Bytes& out);
  void setFaults(const XmodemFaults& f) { faults_ = f; }

  Status status() const { return status_; }
  bool finished() const { return status_ == Status::Done || status_ == Status::Failed; }
  const Bytes& data() const { return data_; }
  uint32_t blocksAccepted() const { return blocks_; }
  uint32_t duplicates() const { return duplicates_; }
  uint32_t rejected() const { return rejected_; }

 private:
  enum class Phase : uint8_t { Start, Number, Complement, Data, Sum };
  void burst(Bytes& out, int count);
  void judgeBlock(Bytes& out);
  void answer(Bytes& out);

  Limits limits_;
  XmodemFaults faults_;
  Status status_ = Status::Idle;
  Phase phase_ = Phase::Start;
  uint32_t lastByteAt_ = 0, lastBurstAt_ = 0;
  uint8_t lastBlock_ = 0;  // number of the last stored block
  uint8_t number_ = 0, complement_ = 0;
  size_t blockSize_ = 0;
  uint8_t block_[1024] = {};
  size_t fill_ = 0;
  uint8_t sum_ = 0;
  Bytes data_;
  uint32_t blocks_ = 0, duplicates_ = 0, rejected_ = 0, answered_ = 0;
};

}  // namespace ferrolan::sim
