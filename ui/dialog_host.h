#pragma once
// Modal dialogs as the logic sees them: a procedure per dialog, run by
// whichever front end shows it (Qt, the scripted console, tests).

#include <functional>

#include "ui/ids.h"

namespace ferrolan {

// A modal dialog's procedure, called on the UI thread. Either may be empty.
struct DialogProcedures {
  // The dialog's window is open in the UI model with its template's
  // controls; fill lists and set initial states here.
  std::function<void(WindowId dialog)> initialized;
  // A button or check/radio click (its id); Enter gives the default button
  // (or 1), Escape and the close box give 2. Without a procedure, 1 and 2
  // end the dialog.
  std::function<void(WindowId dialog, int command)> command;
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // Shows a dialog built from its template, bound to its UI model window,
  // until endDialog; answers the result. The window is closed afterwards.
  virtual int runDialog(WindowId dialog, DialogProcedures procedures) = 0;
  virtual void endDialog(WindowId dialog, int result) = 0;
};

}  // namespace ferrolan
