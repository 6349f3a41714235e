#pragma once
// What the firmware update's routines see of the process: the link, the
// storage folders, the device root, the configuration and the open file.
// References into the process-wide state, like the link's own context; the
// configuration record is declared, not included, as its reader takes this.

#include <string>
#include <string_view>

#include "control/storage_folders.h"
#include "link/link_context.h"
#include "update/update_file.h"

namespace ferrolan {

struct AutoUpdateConfig;

struct UpdateContext : LinkContext, StorageContext {
  const std::string& root;
  AutoUpdateConfig& autoUpdate;
  UpdateState& update;
};

// The Update Firmware dialog's status text; with the dialog closed (an
// update started from the menu) the line goes to the TextLog instead, so
// the outcome is never lost.
inline void showUpdateStatus(UpdateContext& ctx, std::string_view text) {
  if (ctx.ui.hasControl(WindowId::UpdateFirmware, ids::kUpdStatus))
    ctx.ui.setText(WindowId::UpdateFirmware, ids::kUpdStatus, text);
  else
    ctx.textLog.append(text);
}

}  // namespace ferrolan
