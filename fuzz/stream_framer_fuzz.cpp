// The stream framer and the sentence dispatch on arbitrary port bytes: the
// first byte picks text or binary framing, the rest is the stream. Lines
// and frames must stay within their bounds, and every line must dispatch.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/context.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/stream_framer.h"
#include "datapath/vbi_messages.h"

namespace {

struct NoPorts final : ferrolan::PortOpener {
  std::shared_ptr<ferrolan::Port> open(const std::string&) override { return nullptr; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan;
  if (size == 0) return 0;
  static VirtualClock clock;
  static NoPorts ports;
  static UiModel ui;
  static Context ctx(clock, ports, ui, "", "");
  ctx.session.restartPending = data[0] & 2;
  if (data[0] & 1) {
    FrameCollector frames;
    for (size_t i = 1; i < size; ++i) {
      frames.take(data[i], [&](FrameView frame, int32_t length) {
        if (length < -5 || length > static_cast<int32_t>(kFrameLimit) - 5) __builtin_trap();
        takeVbiFrame(ctx, frame, length);
      });
      if (frames.position() > kFrameLimit) __builtin_trap();
    }
  } else {
    LineSync sync;
    LineFramer lines(sync);
    for (size_t i = 1; i < size; ++i) {
      lines.take(data[i], [&](std::string_view line) {
        if (line.size() >= kLineCapacity) __builtin_trap();
        dispatchSentence(ctx, line);
      });
    }
  }
  return 0;
}
