#pragma once
// The Info and Sky pages of the interactive tool: what their creation and
// activation do, the enable rules of their menu, and the command dispatcher
// that every page's menu items and buttons go through.

#include <array>
#include <cstddef>

#include "control/command_events.h"
#include "link/serial_session.h"
#include "ui/ids.h"

namespace ferrolan {

struct Context;
class SheetHost;

struct MenuEdit {
  int command = 0;
  bool enable = false;
};

// Up to four menu edits, applied in order.
struct MenuEdits {
  std::array<MenuEdit, 4> edits{};
  size_t count = 0;
};

// What activation does to a page's menu: the first rule that applies.
MenuEdits menuOnActivation(bool logFileOpen, bool connected, bool dualPortActive, ProtocolMode protocolMode);

// What the dispatcher does for one command id.
// The Dual Port row's line when no device manager is registered.
inline constexpr const char* kNoDeviceManagerText = "No device manager registered: the driver cannot be installed..";

enum class CommandAction {
  EndSheet,     // shutdown, then the quit with 0
  SetEvent,     // arg: the command event
  Stop,         // stopRequested set, restartKind None
  SortMode,     // arg: the sort mode
  SortCycle,    // (sortMode mod 3) + 1
  Clean,        // the satellite display's clearing
  Dialog,       // arg: the dialog window
  StartLog,     // the VBI log size first in VBI mode, then its event
  StopLog,      // its event; re-enables the mode switch of the mode in use
  Baud,         // arg: the line speed's index; targetBaud, then its event
};

// Menu edits that follow a row's action; `whenConnected` applies them only
// while the receiver is connected.
struct CommandRow {
  int command;
  CommandAction action;
  int arg;
  MenuEdits menu;
  bool whenConnected = false;
};

// What a command that would go to the receiver writes during a playback.
inline constexpr const char* kPlaybackNoReceiverText = "Playback: no receiver to send to.";
// Whether the command goes out to the receiver (or takes its line).
bool goesToReceiver(int command);

// The row for a command id, or nullptr: an id no row names does nothing.
const CommandRow* findCommandRow(int command);

// Info and Sky page creation: starts the command thread (one for both
// pages) and names what this build is missing, once.
void createToolPage(Context& ctx, WindowId page);
// Sets or clears the page's active flag; on activation brings its menu
// to the state the rules give.
void activateToolPage(Context& ctx, WindowId page, bool active);
// Runs a command of `page`. Does nothing once the sheet is closing.
void dispatchCommand(Context& ctx, SheetHost* host, WindowId page, int command);

}  // namespace ferrolan
