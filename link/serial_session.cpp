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

void startReconnect(ReceiverSession& s) {
  std::lock_guard l(s.reconnectMutex);
  if (!s.reconnectAllowed || !s.reconnectEntry) return;
  // The one before brought back the line that has now gone again: it is at
  // its end (a stop no longer changes what it does), joined here.
  if (auto before = s.reconnectThread.take()) before->stop();
  startWorker(s.reconnectThread, s.reconnectEntry);
}

void stopReconnect(ReceiverSession& s) {
  {
    std::lock_guard l(s.reconnectMutex);
    s.reconnectAllowed = false;
  }
  if (auto w = s.reconnectThread.take()) w->stop();
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

ConnectResult connectSession(LinkContext& ctx, ConnectKind kind, const CancelToken* cancel) {
  ReceiverSession& s = ctx.session;
  const bool byHand = kind != ConnectKind::Again;
  auto port = ctx.ports.open(s.portName.get());
  if (!port) return ConnectResult::OpenFailed;
  s.portHandle.set(port);
  // Again: nothing of the attempt stays behind it.
  auto fail = [&](ConnectResult why) {
    if (!byHand) {
      s.portHandle.reset();
      s.connected = false;
      port->close();
    }
    return why;
  };
  if (byHand) {
    ctx.textLog.reset();
    ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  }

  if (!port->setTimeouts(kReceiverTimeouts)) return fail(ConnectResult::TimeoutsFailed);
  LineSettings line;
  if (!port->getLineSettings(line)) return fail(ConnectResult::GetStateFailed);
  const int baud = decimalValue(s.baudText.get());
  if (!port->setLineSettings(withReceiverLine(line, static_cast<uint32_t>(baud))))
    return fail(ConnectResult::SetStateFailed);

  auto showConnected = [&] {
    ctx.ui.setText(WindowId::TextPage, ids::kTextPortLabel, s.portName.get());
    ctx.ui.setText(WindowId::TextPage, ids::kTextBaudLabel, s.baudText.get());
    s.connected = true;
  };
  if (byHand) {
    showConnected();
    StreamKind stream = StreamKind::None;
    if (!gpsIsNMEAVBIReceived(ctx, &stream)) return ConnectResult::NoStream;
    if (kind == ConnectKind::Playback) s.protocolMode = stream == StreamKind::Vbi ? ProtocolMode::Vbi : ProtocolMode::Nmea;
  } else {
    if (detectStream(*port, ctx.clock, cancel) == StreamKind::None) return fail(ConnectResult::NoStream);
    showConnected();
  }
  // A link with nobody reading it is no connection: let go.
  if (!s.receiveEntry || !s.displayEntry) {
    s.portHandle.reset();
    s.connected = false;
    return ConnectResult::NoWorkers;
  }
  startWorker(s.receiveThread, s.receiveEntry);
  startWorker(s.displayThread, s.displayEntry);
  return ConnectResult::Connected;
}

namespace {

// A connect by hand or for a playback, with its reason shown when it fails.
bool connectShown(LinkContext& ctx, ConnectKind kind) {
  ReceiverSession& s = ctx.session;
  if (s.portHandle.valid()) {
    stopWorker(s.receiveThread);
    stopWorker(s.displayThread);
    s.portHandle.reset();
    s.connected = false;
    ctx.clock.sleepMs(kReopenPauseMs);
  }
  switch (connectSession(ctx, kind)) {
    case ConnectResult::Connected:
      if (kind == ConnectKind::ByHand) {
        std::lock_guard l(s.reconnectMutex);
        s.reconnectAllowed = true;
      }
      return true;
    case ConnectResult::OpenFailed: connectFailure(ctx, "Fail To Create COM Port"); break;
    case ConnectResult::TimeoutsFailed: connectFailure(ctx, "Fail To SetCommTimeouts"); break;
    case ConnectResult::GetStateFailed: connectFailure(ctx, "Fail To GetCommState"); break;
    case ConnectResult::SetStateFailed: connectFailure(ctx, "Fail To SetCommState"); break;
    case ConnectResult::NoStream: ctx.textLog.append("gpsIsNMEAVBIReceived fail..."); break;
    case ConnectResult::NoWorkers: ctx.textLog.append(kNoReceiveThreadText); break;
  }
  return false;
}

}  // namespace

bool connectReceiver(LinkContext& ctx) {
  ReceiverSession& s = ctx.session;
  stopReconnect(s);
  // Taking the line from under the start-up update would leave both with a
  // broken one: it reopens the session's port when it recovers.
  if (s.autoUpdateRunning > 0) {
    connectFailure(ctx, kPortBusyText);
    return false;
  }
  s.portName.set(ctx.ui.text(WindowId::ComPortSetup, ids::kComPortBox));
  s.baudText.set(ctx.ui.text(WindowId::ComPortSetup, ids::kComBaudBox));
  return connectShown(ctx, ConnectKind::ByHand);
}

bool connectPlayback(LinkContext& ctx, const std::string& portName, int baud) {
  ctx.session.portName.set(portName);
  ctx.session.baudText.set(std::to_string(baud));
  return connectShown(ctx, ConnectKind::Playback);
}

bool gpsIsNMEAVBIReceived(LinkContext& ctx, StreamKind* found) {
  auto port = ctx.session.portHandle.get();
  if (!port) return false;
  const StreamKind kind = detectStream(*port, ctx.clock);
  const char* verdict = kind == StreamKind::Nmea  ? "Receive NMEA"
                        : kind == StreamKind::Vbi ? "Receive VBI"
                                                  : "Don't Receive NMEA and VBI!!!";
  ctx.ui.setText(WindowId::ComPortSetup, ids::kComStatus, verdict);
  if (found) *found = kind;
  return kind != StreamKind::None;
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
  stopReconnect(s);
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
