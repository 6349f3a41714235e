#pragma once
// The storage folders every file path starts from, as the device's storage
// manager publishes them in the registry.

#include <atomic>

#include "core/text.h"
#include "platform/registry.h"

namespace ferrolan {

inline constexpr size_t kFolderCapacity = 32;  // characters, terminator included

struct StorageFolders {
  SharedText<kFolderCapacity> cardFolder{"SDMMC"};
  SharedText<kFolderCapacity> flashFolder{"SDMMC"};
};

// What the folder lookups read and write: the registry, the platform
// (a Pocket PC names other profiles), and the folders.
struct StorageContext {
  const Registry& registry;
  const std::atomic<bool>& isPocketPC;
  StorageFolders& storage;
};

// Each refreshes its folder from the registry; a failed lookup keeps the
// previous value.
void findCardFolder(StorageContext& ctx);
void findFlashFolder(StorageContext& ctx);

}  // namespace ferrolan
