#pragma once
// The storage folders every file path starts from, as the device's storage
// manager publishes them in the registry.

#include "core/text.h"

namespace ferrolan {

struct Context;

inline constexpr size_t kFolderCapacity = 32;  // characters, terminator included

struct StorageFolders {
  SharedText<kFolderCapacity> cardFolder{"SDMMC"};
  SharedText<kFolderCapacity> flashFolder{"SDMMC"};
};

// Each refreshes its folder from the registry; a failed lookup keeps the
// previous value.
void findCardFolder(Context& ctx);
void findFlashFolder(Context& ctx);

}  // namespace ferrolan
