#pragma once
// What the receiver link's routines see of the process: the clock, the port
// opener, the UI model with its TextLog, and the session record. A bundle of
// references into the process-wide state, so every routine here takes
// exactly this and nothing of the layers above. The session is declared, not
// included: its own routines take this view.

#include "platform/clock.h"
#include "platform/port.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct ReceiverSession;

struct LinkContext {
  Clock& clock;
  PortOpener& ports;
  UiModel& ui;
  TextLog& textLog;
  ReceiverSession& session;
};

}  // namespace ferrolan
