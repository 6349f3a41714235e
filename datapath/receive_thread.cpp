#include "datapath/receive_thread.h"

#include "datapath/sentence_dispatch.h"
#include "datapath/stream_framer.h"
#include "datapath/vbi_messages.h"
#include "link/serial_session.h"

namespace ferrolan {

namespace {

// How long to wait before looking again when no port is open (the update
// procedures close it without touching `connected`): a read's time-out.
constexpr uint32_t kNoPortPauseMs = 1000;

// Everything the thread gathers lives here, on its own stack: no heap on
// the byte path. A line is Latin-1, one character per byte; the TextLog
// takes UTF-8, at most two bytes per character.
struct ReceiveState {
  explicit ReceiveState(LineSync& sync) : lines(sync) {}
  LineFramer lines;
  FrameCollector frames;
  std::array<char, 2 * kLineCapacity> shown{};
};

std::string_view asUtf8(std::string_view latin1, std::array<char, 2 * kLineCapacity>& out) {
  size_t n = 0;
  for (char ch : latin1) {
    if (n + 2 > out.size()) break;
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out[n++] = static_cast<char>(c);
    } else {
      out[n++] = static_cast<char>(0xC0 | (c >> 6));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return {out.data(), n};
}

void takeLine(DataPathContext& ctx, ReceiveState& st, std::string_view line) {
  StreamLog* log = ctx.data.streamLog.load();
  if (log && log->writeLine(line)) ctx.ui.setText(WindowId::TextPage, ids::kTextStatus, "Logging");
  ctx.textLog.insertTop(asUtf8(line, st.shown));
  dispatchSentence(ctx, line);
}

void textStep(DataPathContext& ctx, ReceiveState& st, uint8_t b) {
  st.lines.take(b, [&](std::string_view line) { takeLine(ctx, st, line); });
}

// What the next sentence's "$" or the next frame's marker would close; the
// marker is neither logged nor shown, as it was never received.
void endOfStream(DataPathContext& ctx, ReceiveState& st, ProtocolMode mode) {
  if (mode == ProtocolMode::Nmea) return st.lines.finish([&](std::string_view line) { takeLine(ctx, st, line); });
  if (mode != ProtocolMode::Vbi) return;
  for (const uint8_t b : {kVbiSync1, kVbiSync2})
    st.frames.take(b, [&](FrameView frame, int32_t length) { takeVbiFrame(ctx, frame, length); });
}

void binaryStep(DataPathContext& ctx, ReceiveState& st, uint8_t b) {
  StreamLog* log = ctx.data.streamLog.load();
  const bool logged = log && log->feedByte(b);
  const auto step = st.frames.take(b, [&](FrameView frame, int32_t length) { takeVbiFrame(ctx, frame, length); });
  if (step != FrameCollector::Step::IdByte) return;
  if (logged) ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, log->fillPercent());
  const std::string_view name = vbiMessageName(b);
  if (!name.empty()) ctx.textLog.append(name);
}

// The device went away under a connection (an adapter unplugged): say so
// once, keep what was logged, end the connection as Disconnect would, and
// watch for the port to come back.
void lineLost(DataPathContext& ctx, Port& port) {
  ctx.textLog.append(kLineLostText);
  if (StreamLog* log = ctx.data.streamLog.load()) log->lineLost();
  ReceiverSession& s = ctx.session;
  s.connected = false;
  if (s.portHandle.get().get() == &port) s.portHandle.reset();
  port.close();
  ctx.ui.setText(WindowId::TextPage, ids::kTextPortLabel, "N/A");
  ctx.ui.setText(WindowId::TextPage, ids::kTextBaudLabel, "N/A");
  startReconnect(s);
}

}  // namespace

void runReceiveThread(DataPathContext& ctx, WorkerControl& ctl) {
  ReceiverSession& s = ctx.session;
  ctx.data.lineSync.sentenceOpen = false;
  ctx.data.lineSync.sentenceSynced = false;
  ReceiveState st(ctx.data.lineSync);
  // Opened here too: lines read before the display thread waits keep
  // their signal.
  const SentenceEvents held = openSentenceEvents(ctx);
  while (ctl.checkpoint() && s.connected) {
    // Between two reads: the byte read last has been dispatched.
    if (const uint32_t asked = ctx.data.streamEnd.requested; asked != ctx.data.streamEnd.done) {
      endOfStream(ctx, st, s.protocolMode);
      ctx.data.streamEnd.done = asked;
    }
    auto port = s.portHandle.get();
    if (!port) {
      ctx.events.waitForAny({}, kNoPortPauseMs, &ctl.cancelToken());
      continue;
    }
    uint8_t b;
    if (!port->readByteOrCancel(b, ctl.cancelToken())) {
      if (port->hungUp()) return lineLost(ctx, *port);
      continue;
    }
    const ProtocolMode mode = s.protocolMode;
    if (mode == ProtocolMode::Nmea)
      textStep(ctx, st, b);
    else if (mode == ProtocolMode::Vbi)
      binaryStep(ctx, st, b);
  }
}

}  // namespace ferrolan
