#pragma once
// The process-wide state, gathered in one object so that each test builds
// its own: the platform services (clock, ports, UI model, events, registry,
// device root) and each subsystem's records. The subsystems never see this
// type: each takes its own context, a bundle of references into it, which
// the Context converts to where a routine is called.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "control/command_thread.h"
#include "control/data_log.h"
#include "control/log_buffer.h"
#include "datapath/data_path.h"
#include "datapath/data_path_context.h"
#include "datapath/display_flags.h"
#include "driver/driver_install.h"
#include "ephemeris/ephemeris_upload.h"
#include "link/serial_session.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/port.h"
#include "platform/registry.h"
#include "platform/worker.h"
#include "ui/ui_model.h"
#include "update/auto_update_config.h"
#include "update/update_context.h"

namespace ferrolan {

// What subsystems that register themselves give the shell: the command
// thread the Info and Sky pages start, and what the shutdown calls of the
// raw log and the shared-port driver. Only the interactive tool needs
// them; a missing one is reported when its pages are created.
struct Hooks {
  WorkerEntry commandThread;
  // Set for a playback: what runs in place of the unattended update.
  WorkerEntry playback;
  std::function<void()> closeLogAtExit;
  std::function<void()> closeDriverHandles;
};

// What start-up finds out about the device, and the shell's own threads.
struct AppState {
  std::atomic<bool> isPocketPC{false};
  std::atomic<bool> isPortrait{false};
  std::atomic<bool> appInstance{false};  // start-up has begun
  std::atomic<bool> sheetClosing{false};  // the shutdown has begun: commands are ignored
  std::atomic<bool> toolPagesCreated{false};
  // Free physical memory in bytes, for the VBI log's size choices.
  std::function<uint64_t()> availableMemory;
  SharedHandle<Worker> autoUpdateThread;
  SharedHandle<Worker> updateThread;
  SharedHandle<Worker> playbackThread;
  // Ends the front end's message loop with an exit code; set by the front
  // end before the sheet is shown.
  std::function<void(int)> postQuit;
};

struct Context {
  // root: the device root. An empty registryPath keeps the registry in
  // memory; by default it is <root>/registry.reg.
  Context(Clock& clock, PortOpener& ports, UiModel& ui, std::string root = ".");
  Context(Clock& clock, PortOpener& ports, UiModel& ui, std::string root, std::string registryPath);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Clock& clock;
  PortOpener& ports;
  UiModel& ui;
  const std::string root;
  TextLog textLog{ui};
  EventRegistry events;
  Registry registry;
  OpenEvents openEvents{events};
  ReceiverSession session;
  StorageFolders storage;
  AutoUpdateConfig autoUpdate;
  UpdateState update;
  LogBuffer log;
  DisplayFlags display;
  DataPath dataPath;
  EphemerisState ephemeris;
  CommandProcedures commandProcedures;
  DriverDevices driverDevices;
  // Runs the shared-port driver; null until registered.
  std::unique_ptr<DeviceManager> deviceManager;
  AppState app;
  Hooks hooks;

  // The subsystems' views of this state.
  operator LinkContext&() { return updateView_; }
  operator StorageContext&() { return updateView_; }
  operator UpdateContext&() { return updateView_; }
  operator DataPathContext&() { return dataPathView_; }
  operator LogContext&() { return logView_; }
  operator CommandContext&() { return commandView_; }
  operator EphemerisContext&() { return ephemerisView_; }

 private:
  UpdateContext updateView_{{clock, ports, ui, textLog, session}, {registry, app.isPocketPC, storage}, root,
                            autoUpdate, update};
  DataPathContext dataPathView_{clock, ui, textLog, events, openEvents, session, dataPath};
  LogContext logView_{clock, ui, updateView_, root, session.protocolMode, log};
  CommandContext commandView_{updateView_, logView_, events, openEvents, dataPath.lineSync, commandProcedures};
  EphemerisContext ephemerisView_{updateView_, updateView_, root, dataPath.fix, ephemeris};

 public:
  // What the receive thread feeds when the raw log is registered.
  DataLog dataLog{logView_};
};

// One TextLog line for each entry that the interactive tool needs and no
// subsystem has registered; answers how many were missing.
int reportMissingEntries(Context& ctx);

}  // namespace ferrolan
