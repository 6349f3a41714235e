#pragma once
// The one record of the serial link to the receiver, and the routines that
// open it, tell which stream arrives, and move single bytes while an update
// owns the port.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "core/shared_handle.h"
#include "core/text.h"
#include "link/line_waits.h"
#include "platform/port.h"
#include "platform/port_handle.h"
#include "platform/worker.h"

namespace ferrolan {

struct LinkContext;

// What the receiver emits; the values are those of the stored setting.
enum class ProtocolMode : int { Vbi = 0, Nmea = 1 };

// The restart the command thread is carrying out; one at a time.
enum class RestartKind : int { None = 0, Hot = 1, Warm = 2, Cold = 3 };

// The body of a worker that lives on the port (receive or display thread);
// it carries whatever it works on.
using WorkerEntry = std::function<void(WorkerControl&)>;

struct ReceiverSession {
  PortHandle portHandle;
  SharedHandle<Worker> receiveThread;
  SharedHandle<Worker> displayThread;
  SharedHandle<Worker> commandThread;
  SharedText<80> portName{"COM1:"};
  SharedText<80> baudText{"9600"};
  std::atomic<ProtocolMode> protocolMode{ProtocolMode::Nmea};
  std::atomic<bool> connected{false};
  std::atomic<int> targetBaud{0};
  std::atomic<RestartKind> restartKind{RestartKind::None};
  std::atomic<bool> restartPending{false};  // a restart was sent: its acknowledgement starts TTFF
  std::atomic<bool> stopRequested{false};   // the Stop menu: the TTFF clock halts
  std::atomic<bool> dualPortActive{false};  // the shared-port driver holds the port
  std::atomic<int> firmwareVersion{0};
  // Set while the start-up update runs: it owns the port until it ends.
  std::atomic<int> autoUpdateRunning{0};
  // The line carries a recorded log, not a receiver: nothing is sent to it.
  std::atomic<bool> playback{false};

  // What the data path registers: the workers connectReceiver starts, and
  // the clearing of the satellite display before a restart. A missing one
  // is reported where it is needed, never skipped in silence.
  WorkerEntry receiveEntry;
  WorkerEntry displayEntry;
  std::function<void()> clearSatelliteDisplay;

  // The worker that brings a lost line back, when registered. One starts
  // only while reconnectAllowed: a connect by hand sets it, a Connect or
  // Disconnect by hand and the shutdown clear it first, so that nothing
  // comes back after the user has let go.
  WorkerEntry reconnectEntry;
  SharedHandle<Worker> reconnectThread;
  std::mutex reconnectMutex;
  bool reconnectAllowed = false;  // under reconnectMutex
};

// connectReceiver's box while the start-up update still owns the port.
inline constexpr const char* kPortBusyText = "The start-up update is still using the port. Connect when it has ended.";
// connectReceiver's line when the data path has registered no workers.
inline constexpr const char* kNoReceiveThreadText = "No receive thread registered: not connected..";

// How a connect ended, for its caller to show.
enum class ConnectResult { Connected, OpenFailed, TimeoutsFailed, GetStateFailed, SetStateFailed, NoStream, NoWorkers };
// A connect by hand starts the TextLog afresh and shows the stream in the
// COM Port Setup box. A connect again, after the line was lost, keeps the
// log and the box as they are, marks the link connected only once the
// stream is there, and lets go of the port on any failure.
// A playback connects as by hand, and the stream it finds sets the
// protocol mode.
enum class ConnectKind { ByHand, Again, Playback };

// The connect once the session holds the port name and rate: the port
// opened and set up, the stream told, the receive and display threads
// started. `cancel` (may be null) ends the wait for the stream early.
ConnectResult connectSession(LinkContext& ctx, ConnectKind kind, const CancelToken* cancel = nullptr);

bool openPort(LinkContext& ctx, const std::string& name, int baud);
// Connects to the port and rate the COM Port Setup dialog names.
bool connectReceiver(LinkContext& ctx);
// Connects to a recorded log played on `portName`: as connectReceiver does,
// without the dialog, and the stream it detects sets the protocol mode.
bool connectPlayback(LinkContext& ctx, const std::string& portName, int baud);
// Whether the line carries NMEA or VBI, shown in the COM Port Setup box;
// `found` (may be null) gets which.
bool gpsIsNMEAVBIReceived(LinkContext& ctx, StreamKind* found = nullptr);
bool probeStream(LinkContext& ctx);
bool disconnectReceiver(LinkContext& ctx);
void writeByte(LinkContext& ctx, uint8_t byte);
void writeEot(LinkContext& ctx);
bool waitForLoaderReady(LinkContext& ctx);

// Stops a worker where it may touch the port; keeps its handle.
void stopWorker(SharedHandle<Worker>& handle);

// From the receive thread once its line has gone: starts the reconnect
// worker, unless none is registered or one may not start.
void startReconnect(ReceiverSession& s);
// Ends a reconnect under way and keeps another from starting until the
// next connect by hand.
void stopReconnect(ReceiverSession& s);

}  // namespace ferrolan
