#include "sim/command_intake.h"

namespace ferrolan::sim {

int CommandIntake::hexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void CommandIntake::reset() {
  state_ = State::Ground;
  body_.clear();
  raw_.clear();
  payload_.clear();
  headerFill_ = 0;
}

std::optional<IntakeItem> CommandIntake::finishSentence(bool checked) {
  std::optional<IntakeItem> item;
  if (checked) {
    if (nmeaXor(body_) == checkGiven_) {
      ++counters_.sentences;
      item.emplace();
      item->kind = IntakeItem::Kind::Sentence;
      item->body = body_;
      item->raw = raw_;
    } else {
      ++counters_.badChecksums;
    }
  }
  reset();
  return item;
}

std::optional<IntakeItem> CommandIntake::finishFrame() {
  std::optional<IntakeItem> item;
  const uint16_t id = static_cast<uint16_t>(header_[0] | (header_[1] << 8));
  const uint16_t given = static_cast<uint16_t>(header_[4] | (header_[5] << 8));
  if (vbiChecksum(id, payload_) == given) {
    ++counters_.frames;
    item.emplace();
    item->kind = IntakeItem::Kind::Frame;
    item->id = id;
    item->payload = payload_;
    item->raw = raw_;
  } else {
    ++counters_.badChecksums;
  }
  reset();
  return item;
}

std::optional<IntakeItem> CommandIntake::feed(uint8_t b) {
  switch (state_) {
    case State::Ground:
      if (b == '$') {
        reset();
        raw_.push_back(b);
        state_ = State::Body;
      } else if (b == kVbiSync1) {
        reset();
        raw_.push_back(b);
        state_ = State::Sync2;
      }
      return std::nullopt;

    case State::Body:
      if (b == '*') {
        raw_.push_back(b);
        state_ = State::Check1;
      } else if (b == '\r' || b == '\n' || b == 0) {
        // A sentence without a checksum: not one the program sends.
        ++counters_.badChecksums;
        reset();
      } else if (b == '$' || b == kVbiSync1) {
        // A new start inside a sentence: the old one is lost.
        ++counters_.badChecksums;
        reset();
        return feed(b);
      } else if (body_.size() == kMaxSentenceBody) {
        ++counters_.overlong;
        reset();
      } else {
        body_ += static_cast<char>(b);
        raw_.push_back(b);
      }
      return std::nullopt;

    case State::Check1: {
      const int v = hexValue(b);
      if (v < 0) {
        ++counters_.badChecksums;
        reset();
        return b == '$' || b == kVbiSync1 ? feed(b) : std::nullopt;
      }
      checkHigh_ = v;
      raw_.push_back(b);
      state_ = State::Check2;
      return std::nullopt;
    }

    case State::Check2: {
      const int v = hexValue(b);
      if (v < 0) {
        ++counters_.badChecksums;
        reset();
        return b == '$' || b == kVbiSync1 ? feed(b) : std::nullopt;
      }
      checkGiven_ = static_cast<uint8_t>(checkHigh_ * 16 + v);
      raw_.push_back(b);
      // The line end adds nothing to judge; the sentence is complete here.
      return finishSentence(true);
    }

    case State::Sync2:
      if (b == kVbiSync2) {
        raw_.push_back(b);
        headerFill_ = 0;
        state_ = State::Header;
        return std::nullopt;
      }
      reset();
      return feed(b);

    case State::Header:
      header_[headerFill_++] = b;
      raw_.push_back(b);
      if (headerFill_ == sizeof header_) {
        payloadLength_ = static_cast<size_t>(header_[2] | (header_[3] << 8));
        if (payloadLength_ > kMaxFramePayload) {
          ++counters_.overlong;
          reset();
          return std::nullopt;
        }
        if (payloadLength_ == 0) return finishFrame();
        state_ = State::Payload;
      }
      return std::nullopt;

    case State::Payload:
      payload_.push_back(b);
      raw_.push_back(b);
      if (payload_.size() == payloadLength_) return finishFrame();
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace ferrolan::sim
