#pragma once
// The process-wide state every subsystem shares, gathered in one object so
// that each test builds its own: the platform services (clock, ports, UI
// model, events, registry, device root) and each subsystem's records.

#include <functional>
#include <string>

#include "link/serial_session.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/port.h"
#include "platform/registry.h"
#include "ui/ui_model.h"
#include "update/update_file.h"

namespace ferrolan {

// Work that a later subsystem provides; empty until it registers.
struct Hooks {
  std::function<void()> clearSatelliteDisplay;
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
  ReceiverSession session;
  UpdateState update;
  Hooks hooks;
};

}  // namespace ferrolan
