#include "control/storage_folders.h"

namespace ferrolan {

namespace {

constexpr size_t kFolderValueBytes = 64;  // the value buffer the lookup reads into

void findFolder(StorageContext& ctx, SharedText<kFolderCapacity>& folder, const char* pocketKey, const char* firstKey,
                const char* secondKey) {
  const bool pocket = ctx.isPocketPC == 1;
  const char* keys[2] = {pocket ? pocketKey : firstKey, pocket ? nullptr : secondKey};
  const char* opened = nullptr;
  for (const char* key : keys) {
    if (key && ctx.registry.keyExists(key)) {
      opened = key;
      break;
    }
  }
  if (!opened) return;
  std::string value;
  if (!ctx.registry.getString(opened, "Folder", value)) return;
  // A wide buffer of 64 bytes holds 32 characters; the folder text keeps 31.
  value = value.substr(0, kFolderValueBytes / 2);
  folder.set(value);
}

}  // namespace

void findCardFolder(StorageContext& ctx) {
  findFolder(ctx, ctx.storage.cardFolder, "System\\StorageManager\\Profiles\\MMC",
             "System\\StorageManager\\Profiles\\SDMMC", "System\\StorageManager\\Profiles\\SDMemory");
}

void findFlashFolder(StorageContext& ctx) {
  findFolder(ctx, ctx.storage.flashFolder, "System\\StorageManager\\Profiles\\MSFlash",
             "System\\StorageManager\\Profiles\\SMFLASH", "System\\StorageManager\\Profiles\\NandFls");
}

}  // namespace ferrolan
