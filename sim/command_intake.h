#pragma once
// Splits what the program writes to the receiver into "$PKRV" sentences and
// VBI command frames, one byte at a time. Zero padding and line noise
// between them are skipped; a length is checked the moment it arrives.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/wire.h"

namespace ferrolan::sim {

inline constexpr size_t kMaxSentenceBody = 120;  // text between "$" and "*"
inline constexpr size_t kMaxFramePayload = 2048;

struct IntakeItem {
  enum class Kind : uint8_t { Sentence, Frame } kind = Kind::Sentence;
  std::string body;  // sentence: the text between "$" and "*", e.g. "PKRV14,8"
  uint16_t id = 0;   // frame: message id
  Bytes payload;     // frame: payload
  Bytes raw;         // the bytes as received (for duplicate detection)
};

struct IntakeCounters {
  uint32_t sentences = 0, frames = 0;
  uint32_t badChecksums = 0, overlong = 0;
};

class CommandIntake {
 public:
  // Feeds one byte; answers an item when that byte completed one.
  std::optional<IntakeItem> feed(uint8_t b);
  void reset();
  const IntakeCounters& counters() const { return counters_; }

 private:
  enum class State : uint8_t { Ground, Body, Check1, Check2, Sync2, Header, Payload };
  std::optional<IntakeItem> finishSentence(bool checked);
  std::optional<IntakeItem> finishFrame();
  static int hexValue(uint8_t c);

  State state_ = State::Ground;
  std::string body_;
  Bytes raw_;
  int checkHigh_ = 0;
  uint8_t checkGiven_ = 0;
  uint8_t header_[6] = {};
  size_t headerFill_ = 0;
  size_t payloadLength_ = 0;
  Bytes payload_;
  IntakeCounters counters_;
};

}  // namespace ferrolan::sim
