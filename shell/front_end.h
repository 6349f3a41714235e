#pragma once
// What the start-up logic hands a front end (Qt, console, tests): a sheet of
// pages to show, and the page procedures to call as the user works it.

#include <array>
#include <functional>
#include <string>

#include "ui/dialog_host.h"
#include "ui/ids.h"

namespace ferrolan {

// The three layouts the templates come in.
enum class Layout { Generic, PocketPortrait, PocketLandscape };

struct SheetDescription {
  std::string caption;  // "Auto Update FW"
  int pageCount = 1;    // 1: the Text page alone; 3: Text, Info, Sky
  Layout layout = Layout::Generic;
  // Page records in order, each with the template chosen for the layout.
  std::array<WindowId, 3> pages{WindowId::TextPage, WindowId::InfoPage, WindowId::SkyPage};
  std::array<int, 3> templates{110, 106, 108};
};

// What the front end offers the logic, on the GUI thread only: its dialogs,
// and the end of the sheet.
class SheetHost : public DialogHost {
 public:
  // Closes the sheet (the pages hear `closed`) and ends the program with
  // this exit code: the quit message.
  virtual void endSheet(int exitCode) = 0;
};

// Called by the front end on its GUI thread, in the order the pages see the
// events. Any of them may be empty.
struct PageProcedures {
  // The front end is up, before the first page is created: the host to run
  // dialogs on and to end the sheet with.
  std::function<void(SheetHost& host)> started;
  // First time the sheet shows the page; the page's window is then open in
  // the UI model with its template's controls.
  std::function<void(WindowId page)> created;
  // The page became (true) or stopped being (false) the active page.
  std::function<void(WindowId page, bool active)> activated;
  // A menu command or a button of the page.
  std::function<void(WindowId page, int command)> command;
  // The sheet closes (close box, OK): runs the shutdown sequence.
  std::function<void(WindowId page)> closed;
};

}  // namespace ferrolan
