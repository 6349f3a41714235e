#pragma once
// What the receiver's byte stream offers the NMEA port: its own sentences
// when it streams NMEA, and sentences made from the solution and
// measurement messages when it streams binary frames. The mode is not
// told: both are looked for in every byte, and only whole sentences with a
// valid checksum and frames whose checksum holds are taken, so binary
// bytes never pass for text nor noise for either. A frame is taken as soon
// as its length field is filled, not when the next frame's marker closes
// it, so a solution reaches the NMEA port when it arrives.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datapath/stream_framer.h"
#include "datapath/sv_measurements.h"

namespace ferrolan {

// Longer than any sentence a receiver sends (82 by the standard); a longer
// run from "$" is noise.
inline constexpr size_t kNmeaLineLimit = 128;

class NmeaFeed {
 public:
  // Appends the sentences the bytes complete, each "$...*hh\r\n".
  void take(const uint8_t* data, size_t n, std::vector<std::string>& out);

  uint64_t framesTaken() const { return frames_; }
  uint64_t framesRefused() const { return refused_; }

 private:
  // `frame` holds at least `collected` bytes from the id byte on.
  void takeFrame(std::span<const uint8_t, kFrameWindow> frame, size_t collected, std::vector<std::string>& out);
  void takeText(uint8_t b, std::vector<std::string>& out);

  FrameCollector collector_;
  bool taken_ = false;  // the open frame was taken when its length was filled
  std::array<uint8_t, kFrameWindow + 2> rebuilt_{};
  size_t rebuiltUsed_ = 0;
  std::optional<SvMeasurements> measurements_;
  std::string line_;
  bool inLine_ = false;
  uint64_t frames_ = 0, refused_ = 0;
};

}  // namespace ferrolan
