#pragma once
// What the data path's routines see of the process: the clock, the UI model
// with its TextLog, the named events, the session record of the link and the
// data path's own records. A bundle of references into the process-wide
// state; the session is declared, not included, as in the link's view.

#include "datapath/data_path.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct ReceiverSession;

struct DataPathContext {
  Clock& clock;
  UiModel& ui;
  TextLog& textLog;
  EventRegistry& events;
  OpenEvents& openEvents;  // what the display thread opens, shutdown closes
  ReceiverSession& session;
  DataPath& data;
};

}  // namespace ferrolan
