#pragma once
// What the start-up logic hands a front end (Qt, console, tests): a sheet of
// pages to show, and the page procedures to call as the user works it.

#include <array>
#include <functional>
#include <string>

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

// Called by the front end on its GUI thread, in the order the pages see the
// events. Any of them may be empty.
struct PageProcedures {
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
