#include "update/auto_update_config.h"

#include <fstream>

#include "update/update_context.h"
#include "platform/device_root.h"

namespace ferrolan {

namespace {

// The code page of the values: Latin-1, which every byte maps into.
std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

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
    std::string value = latin1ToUtf8(window.substr(0, cr));
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
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ctx.textLog.insertTop("Can't Open Ferrolan.ini !");
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<size_t>(size) > kConfigFileLimit) {
    ctx.textLog.insertTop("File incorrect !");
    return false;
  }
  in.seekg(0);
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), size);
  bytes.resize(static_cast<size_t>(in.gcount()));

  const ConfigValues v = parseAutoUpdateConfig(bytes);
  if (v.values[0]) ctx.autoUpdate.autoUpdateFileName.set(*v.values[0]);
  if (v.values[1]) ctx.autoUpdate.autoUpdateFileNameP2.set(*v.values[1]);
  if (v.values[2]) ctx.session.portName.set(*v.values[2]);
  if (v.values[3]) ctx.session.baudText.set(*v.values[3]);
  return v.complete;
}

}  // namespace ferrolan
