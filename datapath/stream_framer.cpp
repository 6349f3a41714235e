#include "datapath/stream_framer.h"

#include <algorithm>

namespace ferrolan {

std::string_view LineFramer::finishLine() {
  // "...*hh\r\n" becomes "...*hh\n". A line of one character (two "$" in a
  // row) has no end to normalise and goes on as it is.
  if (length_ >= 2) {
    line_[length_ - 2] = '\n';
    --length_;
  }
  return {line_.data(), length_};
}

void FrameCollector::collect(uint8_t b) {
  if (!inFrame_) return;
  if (position_ >= kFrameLimit) {
    inFrame_ = frameOpen_ = false;
    position_ = 0;
    return;
  }
  frame_[position_++] = b;
  highWater_ = std::max(highWater_, position_);
}

void FrameCollector::clearTail() {
  if (highWater_ > position_) std::fill(frame_.begin() + static_cast<long>(position_),
                                        frame_.begin() + static_cast<long>(highWater_), uint8_t{0});
  highWater_ = position_;
}

}  // namespace ferrolan
