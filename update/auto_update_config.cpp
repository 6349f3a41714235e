#include "update/auto_update_config.h"

#include <algorithm>

#include "link/serial_session.h"
#include "platform/device_root.h"
#include "platform/regular_file.h"
#include "update/update_context.h"

namespace ferrolan {

ConfigValues parseAutoUpdateConfig(std::string_view text) {
  ConfigValues result;
  for (size_t k = 0; k < std::size(kConfigKeys); ++k) {
    const std::string_view key = kConfigKeys[k];
    const size_t at = text.find(key);
    if (at == std::string_view::npos) return result;
    // Exactly one byte after the key is skipped, whatever it is.
    const size_t start = at + key.size() + 1;
    if (start >= text.size()) return result;
    const std::string_view window = text.substr(start, kConfigValueWindow);
    const size_t cr = window.find('\r');
    if (cr == std::string_view::npos) return result;
    // The limit is in bytes of the file: cut before each byte becomes a
    // character of one or two UTF-8 bytes.
    std::string value = latin1ToUtf8(window.substr(0, std::min(cr, kFileNameCapacity - 1)));
    if (key == "[COM]") value += ':';
    result.values[k] = std::move(value);
  }
  result.complete = true;
  return result;
}

std::string autoUpdateConfigPath(const std::string& cardFolder) {
  return bounded("\\" + cardFolder + "\\AutoUpdate.ini", kConfigPathLimit);
}

bool readAutoUpdateConfig(UpdateContext& ctx) {
  findCardFolder(ctx);
  const std::string path = localPath(ctx.root, autoUpdateConfigPath(ctx.storage.cardFolder.get()));
  std::string bytes;
  switch (readRegularFile(path, kConfigFileLimit, bytes)) {
    case FileRead::Ok:
      break;
    case FileRead::TooBig:
      ctx.textLog.insertTop("File incorrect !");
      return false;
    case FileRead::Missing:
    case FileRead::NotRegular:  // a FIFO or a device is no configuration
      ctx.textLog.insertTop("Can't Open Ferrolan.ini !");
      return false;
  }

  const ConfigValues v = parseAutoUpdateConfig(bytes);
  if (v.values[0]) ctx.autoUpdate.autoUpdateFileName.set(*v.values[0]);
  if (v.values[1]) ctx.autoUpdate.autoUpdateFileNameP2.set(*v.values[1]);
  if (v.values[2]) ctx.session.portName.set(*v.values[2]);
  if (v.values[3]) ctx.session.baudText.set(*v.values[3]);
  return v.complete;
}

}  // namespace ferrolan
