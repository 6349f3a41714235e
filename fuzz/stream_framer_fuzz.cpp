// The stream framer, the sentence dispatch and the Info and Sky pages'
// decoders on arbitrary port bytes: the first byte picks text or binary
// framing and which pages are active, the rest is the stream. Lines and
// frames must stay within their bounds, every line must dispatch, and every
// refresh must decode what the store then holds.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/context.h"
#include "app/wiring.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/stream_framer.h"
#include "datapath/vbi_messages.h"
#include "shell/page_templates.h"

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
  static const bool pagesOpen = [] {
    for (WindowId w : {WindowId::TextPage, WindowId::InfoPage, WindowId::SkyPage})
      ui.openWindow(w, initialControls(static_cast<int>(w)));
    registerDisplays(ctx);
    return true;
  }();
  (void)pagesOpen;
  ctx.session.restartPending = data[0] & 2;
  ctx.display.infoPageActive = (data[0] >> 2) & 1U;
  ctx.display.skyPageActive = (data[0] >> 3) & 1;
  ctx.display.sortMode = (data[0] >> 4) & 3;
  ctx.dataPath.ttff.ttffRunning = (data[0] >> 6) & 1;
  // What the display thread would run for each event: all of them.
  auto refresh = [&] {
    for (const RefreshRoutine& r : ctx.dataPath.refresh)
      if (r) r();
  };
  if (data[0] & 1) {
    FrameCollector frames;
    for (size_t i = 1; i < size; ++i) {
      frames.take(data[i], [&](FrameView frame, int32_t length) {
        if (length < -5 || length > static_cast<int32_t>(kFrameLimit) - 5) __builtin_trap();
        takeVbiFrame(ctx, frame, length);
        refresh();
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
        refresh();
      });
    }
  }
  return 0;
}
