#pragma once
// The one record of the serial link to the receiver, and the routines that
// open it, tell which stream arrives, and move single bytes while an update
// owns the port.

#include <atomic>
#include <cstdint>
#include <functional>
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
};

// connectReceiver's box while the start-up update still owns the port.
inline constexpr const char* kPortBusyText = "The start-up update is still using the port. Connect when it has ended.";
// connectReceiver's line when the data path has registered no workers.
inline constexpr const char* kNoReceiveThreadText = "No receive thread registered: not connected..";

bool openPort(LinkContext& ctx, const std::string& name, int baud);
// Connects to the port and rate the COM Port Setup dialog names.
bool connectReceiver(LinkContext& ctx);
// Connects to a recorded log played on `portName`: as connectReceiver does,
// without the dialog, and the stream it detects sets the protocol mode.
bool connectPlayback(LinkContext& ctx, const std::string& portName, int baud);
// The two above, once the session's port name and rate are set.
bool connectSession(LinkContext& ctx, bool takeDetectedMode);
bool gpsIsNMEAVBIReceived(LinkContext& ctx);
// What gpsIsNMEAVBIReceived found.
StreamKind receivedStream(LinkContext& ctx);
bool probeStream(LinkContext& ctx);
bool disconnectReceiver(LinkContext& ctx);
void writeByte(LinkContext& ctx, uint8_t byte);
void writeEot(LinkContext& ctx);
bool waitForLoaderReady(LinkContext& ctx);

// Stops a worker where it may touch the port; keeps its handle.
void stopWorker(SharedHandle<Worker>& handle);

}  // namespace ferrolan
