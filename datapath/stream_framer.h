#pragma once
// Cuts the receiver's byte stream into NMEA lines (text mode) or VBI frames
// (binary mode), one byte at a time. No port, no heap, no UI: the receive
// thread feeds bytes and hears of each line or frame through a callable,
// while the bytes are still in the fixed buffers here.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/vbi_frame.h"

namespace ferrolan {

// A line holds at most 4095 characters; the byte that would be the 4096th
// empties it instead.
inline constexpr size_t kLineCapacity = 4096;
// A frame holds at most 1025 bytes from its id byte on; one more abandons it.
inline constexpr size_t kFrameLimit = 1025;
// What the binary intake may read of a frame, whatever its length.
inline constexpr size_t kFrameWindow = 4096;
static_assert(kFrameLimit <= kFrameWindow);

// The two line flags that the command thread clears when it switches the
// protocol (while the receive thread is held), so that text resynchronises
// on the next "$".
struct LineSync {
  std::atomic<bool> sentenceOpen{false};  // a "$" has been seen: bytes are gathered
  std::atomic<bool> sentenceSynced{false};  // every further "$" closes a line
};

// Text mode. A line runs from one "$" to the next and is handed on when
// that next "$" arrives, its CR LF end made a single LF.
class LineFramer {
 public:
  explicit LineFramer(LineSync& sync) : sync_(sync) {}

  // onLine(std::string_view) is called with the finished line before b is
  // gathered; the view is valid only during the call.
  template <typename OnLine>
  void take(uint8_t b, OnLine&& onLine) {
    if (b == '$') {
      if (!sync_.sentenceOpen.load()) length_ = 0;
      sync_.sentenceOpen.store(true);
      if (sync_.sentenceSynced.load()) {
        const std::string_view line = finishLine();
        if (!line.empty()) onLine(line);
        length_ = 0;
        count_ = 0;
      }
      sync_.sentenceSynced.store(true);
    }
    if (!sync_.sentenceOpen.load()) return;
    if (++count_ >= kLineCapacity) {
      length_ = 0;
      count_ = 0;
      return;
    }
    if (b != 0) line_[length_++] = static_cast<char>(b);
  }

  std::string_view pending() const { return {line_.data(), length_}; }

  // The end of the stream (a played log has no next sentence): the line
  // gathered so far is handed on as the next "$" would hand it on, and the
  // framer waits for a "$" again.
  template <typename OnLine>
  void finish(OnLine&& onLine) {
    if (sync_.sentenceOpen.load() && sync_.sentenceSynced.load()) {
      const std::string_view line = finishLine();
      if (!line.empty()) onLine(line);
    }
    length_ = 0;
    count_ = 0;
    sync_.sentenceOpen.store(false);
    sync_.sentenceSynced.store(false);
  }

 private:
  std::string_view finishLine();

  LineSync& sync_;
  std::array<char, kLineCapacity> line_{};
  size_t length_ = 0;  // characters in line_; never above count_
  size_t count_ = 0;   // bytes accepted since the last emission, NULs included
};

// Binary mode. A frame runs from the id byte after one 0x81 0xFF marker to
// the next marker, which is collected with it; there is no escaping.
class FrameCollector {
 public:
  enum class Step {
    Byte,    // nothing to report
    IdByte,  // b was the message id right after a marker
  };

  // onFrame(std::span<const uint8_t, kFrameWindow>, int32_t length) is
  // called when a marker closes a frame; the length is the collected count
  // minus 5 (the marker and the three bytes before it), and may be negative.
  // The window past the collected bytes is zero.
  template <typename OnFrame>
  Step take(uint8_t b, OnFrame&& onFrame) {
    collect(b);
    switch (state_) {
      case State::Idle:
        if (b == kVbiSync1) state_ = State::AfterMarker1;
        return Step::Byte;
      case State::AfterMarker1:
        // The byte after a lone 0x81 is not looked at as a new 0x81.
        state_ = State::Idle;
        if (b != kVbiSync2) return Step::Byte;
        inFrame_ = true;
        if (frameOpen_) {
          clearTail();
          onFrame(std::span<const uint8_t, kFrameWindow>(frame_), static_cast<int32_t>(position_) - 5);
          position_ = 0;
        } else {
          frameOpen_ = true;
        }
        state_ = State::AfterMarker;
        return Step::Byte;
      case State::AfterMarker:
        state_ = State::Idle;
        return Step::IdByte;
    }
    return Step::Byte;
  }

  bool inFrame() const { return inFrame_; }
  size_t position() const { return position_; }
  // The open frame's bytes from its id byte on: position() of them, then
  // whatever earlier frames left.
  std::span<const uint8_t, kFrameWindow> window() const { return frame_; }

 private:
  enum class State { Idle, AfterMarker1, AfterMarker };
  void collect(uint8_t b);
  void clearTail();

  std::array<uint8_t, kFrameWindow> frame_{};
  size_t position_ = 0;   // bytes collected, 0 to kFrameLimit
  size_t highWater_ = 0;  // bytes of frame_ that may be non-zero
  bool inFrame_ = false;
  bool frameOpen_ = false;  // the first marker opens a frame without closing one
  State state_ = State::Idle;
};

}  // namespace ferrolan
