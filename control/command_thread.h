#pragma once
// The command thread: runs the receiver commands that the menus ask for
// through fourteen named events, one at a time, in the events' priority
// order, holding the receive thread off the port while a command reads a
// reply.

#include <array>
#include <functional>

#include "control/command_events.h"
#include "platform/events.h"
#include "platform/worker.h"

namespace ferrolan {

struct LinkContext;
struct LogContext;
struct LineSync;

// What other subsystems give the thread to run: the firmware updates by
// their event, and the ephemeris upload between its prologue and epilogue.
// An empty one is named in the TextLog when its event arrives.
struct CommandProcedures {
  std::function<void()> ephemerisUpload;
  std::function<void()> firmwareUpdate;     // gpsEvtFWUpdate
  std::function<void()> flashKernelUpdate;  // gpsEvtFKUpdate
  std::function<void()> fsaUpdate;          // gpsEvtSPUpdate
  std::function<void()> allImageUpdate;     // gpsEvtAllUpdate
};

struct CommandContext {
  LinkContext& link;
  LogContext& log;
  EventRegistry& events;
  OpenEvents& openEvents;
  LineSync& lineSync;
  CommandProcedures& procedures;
};

inline constexpr uint32_t kRestartHoldMs = 2000;

// The thread's body: returns once the worker is stopped.
void runCommandThread(CommandContext& ctx, WorkerControl& ctl);

}  // namespace ferrolan
