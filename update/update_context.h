#pragma once
// What the firmware update's routines see of the process: the link, the
// storage folders, the device root, the configuration and the open file.
// References into the process-wide state, like the link's own context; the
// configuration record is declared, not included, as its reader takes this.

#include <string>

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

}  // namespace ferrolan
