#include "link/serial_session.h"

#include "link/line_waits.h"
#include "link/link_context.h"

namespace ferrolan {

namespace {

constexpr uint32_t kLoaderReadySeconds = 16;
constexpr int kLoaderReadyZs = 3;
constexpr uint32_t kReopenPauseMs = 3000;

void connectFailure(LinkContext& ctx, const char* text) {
  ctx.ui.messageBox(WindowId::ComPortSetup, text, "Error", kMbOk);
}

void startWorker(SharedHandle<Worker>& handle, const WorkerEntry& entry) {
  auto worker = std::make_shared<Worker>();
  worker->start(entry);
  handle.set(worker);
}

}  // namespace

void stopWorker(SharedHandle<Worker>& handle) {
  if (auto w = handle.get()) w->stop();
}

bool openPort(LinkContext& ctx, const std::string& name, int baud) {
  ctx.session.portHandle.reset();
  auto port = ctx.ports.open(name);
  if (!port) {
    ctx.textLog.append("Create COM Port failed..\r\n");
    return false;
  }
  ctx.session.portHandle.set(port);
  PortTimeouts current;
  port->getTimeouts(current);
  if (!port->setTimeouts(kReceiverTimeouts)) {
    ctx.textLog.append("Set CommTimeouts failed..\r\n");
    return false;
  }
  LineSettings line;
  if (!port->getLineSettings(line)) {
    ctx.textLog.append("Get CommState failed..\r\n");
    return false;
  }
  if (!port->setLineSettings(withReceiverLine(line, static_cast<uint32_t>(baud)))) {
    ctx.textLog.append("Set CommState failed..\r\n");
    return false;
  }
  return true;
}

bool connectReceiver(LinkContext& ctx) {
  // Taking the line from under the start-up update would leave both with a
  // broken one: it reopens the session's port when it recovers.
  if (ctx.session.autoUpdateRunning > 0) {
    connectFailure(ctx, kPortBusyText);
    return false;
  }
  ctx.session.portName.set(ctx.ui.text(WindowId::ComPortSetup, ids::kComPortBox));
  ctx.session.baudText.set(ctx.ui.text(WindowId::ComPortSetup, ids::kComBaudBox));
  return connectSession(ctx, false);
}

bool connectPlayback(LinkContext& ctx, const std::string& portName, int baud) {
  ctx.session.portName.set(portName);
  ctx.session.baudText.set(std::to_string(baud));
  return connectSession(ctx, true);
}

bool connectSession(LinkContext& ctx, bool takeDetectedMode) {
  ReceiverSession& s = ctx.session;

  if (s.portHandle.valid()) {
    stopWorker(s.receiveThread);
    stopWorker(s.displayThread);
    s.portHandle.reset();
    s.connected = false;
    ctx.clock.sleepMs(kReopenPauseMs);
  }

  auto port = ctx.ports.open(s.portName.get());
  if (!port) {
    connectFailure(ctx, "Fail To Create COM Port");
    return false;
  }
  s.portHandle.set(port);
  ctx.textLog.reset();
  ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);

  if (!port->setTimeouts(kReceiverTimeouts)) {
    connectFailure(ctx, "Fail To SetCommTimeouts");
    return false;
  }
  LineSettings line;
  if (!port->getLineSettings(line)) {
    connectFailure(ctx, "Fail To GetCommState");
    return false;
  }
  const int baud = decimalValue(s.baudText.get());
  if (!port->setLineSettings(withReceiverLine(line, static_cast<uint32_t>(baud)))) {
    connectFailure(ctx, "Fail To SetCommState");
    return false;
  }

  ctx.ui.setText(WindowId::TextPage, ids::kTextPortLabel, s.portName.get());
  ctx.ui.setText(WindowId::TextPage, ids::kTextBaudLabel, s.baudText.get());
  s.connected = true;

  const StreamKind kind = receivedStream(ctx);
  if (kind == StreamKind::None) {
    ctx.textLog.append("gpsIsNMEAVBIReceived fail...");
    return false;
  }
  if (takeDetectedMode) s.protocolMode = kind == StreamKind::Vbi ? ProtocolMode::Vbi : ProtocolMode::Nmea;
  // A link with nobody reading it is no connection: say so, and let go.
  if (!s.receiveEntry || !s.displayEntry) {
    ctx.textLog.append(kNoReceiveThreadText);
    s.portHandle.reset();
    s.connected = false;
    return false;
  }
  startWorker(s.receiveThread, s.receiveEntry);
  startWorker(s.displayThread, s.displayEntry);
  return true;
}

bool gpsIsNMEAVBIReceived(LinkContext& ctx) { return receivedStream(ctx) != StreamKind::None; }

StreamKind receivedStream(LinkContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) return StreamKind::None;
  const StreamKind kind = detectStream(*port, ctx.clock);
  const char* verdict = kind == StreamKind::Nmea  ? "Receive NMEA"
                        : kind == StreamKind::Vbi ? "Receive VBI"
                                                  : "Don't Receive NMEA and VBI!!!";
  ctx.ui.setText(WindowId::ComPortSetup, ids::kComStatus, verdict);
  return kind;
}

bool probeStream(LinkContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open...");
    return false;
  }
  const StreamKind kind = detectStream(*port, ctx.clock);
  ctx.textLog.append(kind == StreamKind::Nmea  ? "NMEA Received"
                     : kind == StreamKind::Vbi ? "VBI Received"
                                               : "NMEA and VBI not Received...");
  return kind != StreamKind::None;
}

bool disconnectReceiver(LinkContext& ctx) {
  ReceiverSession& s = ctx.session;
  stopWorker(s.receiveThread);
  stopWorker(s.displayThread);
  s.portHandle.reset();
  s.connected = false;
  ctx.ui.setText(WindowId::TextPage, ids::kTextPortLabel, "N/A");
  ctx.ui.setText(WindowId::TextPage, ids::kTextBaudLabel, "N/A");
  return true;
}

void writeByte(LinkContext& ctx, uint8_t byte) {
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open..");
    return;
  }
  if (!port->write(&byte, 1)) ctx.textLog.append("Write COM Port failed..");
}

void writeEot(LinkContext& ctx) { writeByte(ctx, 0x04); }

bool waitForLoaderReady(LinkContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port didn't open..\r\n");
    return false;
  }
  return awaitByteCount(*port, ctx.clock, 'Z', kLoaderReadyZs, kLoaderReadySeconds);
}

}  // namespace ferrolan
