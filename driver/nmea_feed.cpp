#include "driver/nmea_feed.h"

#include <algorithm>

#include "datapath/vbi_messages.h"
#include "driver/nmea_from_vbi.h"
#include "link/command_sentences.h"
#include "link/vbi_frame.h"

namespace ferrolan {

namespace {

// The framer's length counts the id, length and checksum fields, the
// payload and the closing marker, less 5.
constexpr int32_t kFramerExtra = 3;
// From the id byte to the payload.
constexpr size_t kIdToPayload = kVbiHeaderSize - 2;

}  // namespace

void NmeaFeed::take(const uint8_t* data, size_t n, std::vector<std::string>& out) {
  for (size_t i = 0; i < n; ++i) {
    const auto step = collector_.take(data[i], [&](std::span<const uint8_t, kFrameWindow> f, int32_t length) {
      if (taken_) return;
      if (length < kFramerExtra) {
        ++refused_;
        return;
      }
      takeFrame(f, static_cast<size_t>(length - kFramerExtra) + kIdToPayload, out);
    });
    if (step == FrameCollector::Step::IdByte) taken_ = false;
    const size_t at = collector_.position();
    if (!taken_ && collector_.inFrame() && at >= kIdToPayload) {
      const auto w = collector_.window();
      if (at == kIdToPayload + static_cast<size_t>(w[2] | w[3] << 8)) {
        taken_ = true;
        takeFrame(w, at, out);
      }
    }
    takeText(data[i], out);
  }
}

void NmeaFeed::takeFrame(std::span<const uint8_t, kFrameWindow> f, size_t collected, std::vector<std::string>& out) {
  // The payload length field must fit what was collected; bytes after the
  // payload and before the next marker are noise and ignored.
  const size_t payload = static_cast<size_t>(f[2] | f[3] << 8);
  if (collected < kIdToPayload || payload > collected - kIdToPayload) {
    ++refused_;
    return;
  }
  // The frame alone, with its marker, and zeros past it: the decoders then
  // read nothing an earlier frame left.
  const size_t bytes = kVbiHeaderSize + payload;
  rebuilt_[0] = kVbiSync1;
  rebuilt_[1] = kVbiSync2;
  std::copy_n(f.begin(), bytes - 2, rebuilt_.begin() + 2);
  if (rebuiltUsed_ > bytes) std::fill(rebuilt_.begin() + static_cast<long>(bytes), rebuilt_.begin() + static_cast<long>(rebuiltUsed_), uint8_t{0});
  rebuiltUsed_ = bytes;
  if (!vbiChecksumValid(std::span<const uint8_t>(rebuilt_.data(), bytes))) {
    ++refused_;
    return;
  }
  ++frames_;
  const FrameView frame(rebuilt_.data() + 2, kFrameWindow);
  switch (f[0] | f[1] << 8) {
    case kSvMeasurementsMessage:
      measurements_ = decodeSvMeasurements(frame, static_cast<int32_t>(payload) + kFramerExtra);
      break;
    case kPvtSolutionMessage:
      for (auto& s : nmeaFromVbi(decodePvtSolution(std::span<const uint8_t>(frame).subspan(kVbiPayloadAt)), measurements_ ? &*measurements_ : nullptr))
        out.push_back(std::move(s));
      break;
    default:
      break;
  }
}

void NmeaFeed::takeText(uint8_t b, std::vector<std::string>& out) {
  if (b == '$') {
    line_.assign(1, '$');
    inLine_ = true;
    return;
  }
  if (!inLine_) return;
  if (b == '\n') {
    inLine_ = false;
    if (line_.size() >= 2 && line_.back() == '\r') line_.pop_back();
    // Needs "*hh" at its end and a checksum that holds.
    if (line_.size() >= 4 && line_[line_.size() - 3] == '*' && checksumHolds(line_)) out.push_back(line_ + "\r\n");
    return;
  }
  // Text is printable ASCII with CR only before its LF; anything else, or a
  // run too long, is not a sentence.
  const bool printable = (b >= 0x20 && b < 0x7F) || b == '\r';
  if (!printable || line_.back() == '\r' || line_.size() >= kNmeaLineLimit) {
    inLine_ = false;
    return;
  }
  line_.push_back(static_cast<char>(b));
}

}  // namespace ferrolan
