#include "shell/small_dialogs.h"

#include "control/log_buffer.h"
#include "ui/ui_model.h"

namespace ferrolan {

DialogProcedures aboutProcedures(DialogHost& host) {
  DialogProcedures p;
  p.command = [&host](WindowId w, int command) {
    if (command == ids::kOk || command == ids::kCancel) host.endDialog(w, command);
  };
  return p;
}

DialogProcedures vbiLogSettingProcedures(UiModel& ui, LogBuffer& log, std::function<uint64_t()> freeMemory,
                                         DialogHost& host) {
  DialogProcedures p;
  p.initialized = [&ui, freeMemory = std::move(freeMemory)](WindowId w) {
    const uint64_t free = freeMemory ? freeMemory() : 0;
    for (const LogSizeChoice& c : kLogSizeChoices)
      if (free >= c.minFree) ui.setEnabled(w, c.radio, true);
  };
  p.command = [&log, &host](WindowId w, int command) {
    for (const LogSizeChoice& c : kLogSizeChoices)
      if (command == c.radio) log.logCapacity = c.capacity;
    // Only Cancel (and the close box) ends it; OK is not handled.
    if (command == ids::kCancel) host.endDialog(w, 0);
  };
  return p;
}

}  // namespace ferrolan
