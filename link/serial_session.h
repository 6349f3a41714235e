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
#include "platform/port.h"
#include "platform/port_handle.h"
#include "platform/worker.h"

namespace ferrolan {

struct Context;

// ProtocolMode: what the receiver emits.
inline constexpr int kModeVbi = 0;
inline constexpr int kModeNmea = 1;

// The body of a worker that lives on the port (receive or display thread).
using WorkerEntry = std::function<void(Context&, WorkerControl&)>;

struct ReceiverSession {
  PortHandle portHandle;
  SharedHandle<Worker> receiveThread;
  SharedHandle<Worker> displayThread;
  SharedHandle<Worker> commandThread;
  SharedText<80> portName{"COM1:"};
  SharedText<80> baudText{"9600"};
  std::atomic<int> protocolMode{kModeNmea};
  std::atomic<int> connected{0};
  std::atomic<int> targetBaud{0};
  std::atomic<int> restartKind{0};
  std::atomic<int> restartPending{0};
  std::atomic<int> stopRequested{0};
  std::atomic<int> dualPortActive{0};
  std::atomic<int> firmwareVersion{0};

  // What connectReceiver starts; registered by the data path.
  WorkerEntry receiveEntry;
  WorkerEntry displayEntry;
};

enum class StreamKind { None, Nmea, Vbi };

// Watches the port for up to 4 whole seconds for "$GP" or 0x81 0xFF.
StreamKind detectStream(Context& ctx, Port& port);

bool openPort(Context& ctx, const std::string& name, int baud);
bool connectReceiver(Context& ctx);
bool gpsIsNMEAVBIReceived(Context& ctx);
bool probeStream(Context& ctx);
bool disconnectReceiver(Context& ctx);
void writeByte(Context& ctx, uint8_t byte);
void writeEot(Context& ctx);
bool waitForLoaderReady(Context& ctx);

// Stops a worker where it may touch the port; keeps its handle.
void stopWorker(SharedHandle<Worker>& handle);

}  // namespace ferrolan
