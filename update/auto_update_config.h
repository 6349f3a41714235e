#pragma once
// "AutoUpdate.ini" on the storage card: the port, the baud rate and the two
// firmware file names of the unattended update.

#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"

namespace ferrolan {

struct UpdateContext;

inline constexpr size_t kConfigFileLimit = 1024;   // bytes
inline constexpr size_t kConfigValueWindow = 32;   // a value's CR must lie within these bytes
inline constexpr size_t kConfigPathLimit = 64;     // characters of the file's path
inline constexpr size_t kFileNameCapacity = 32;    // characters, terminator included

struct AutoUpdateConfig {
  SharedText<kFileNameCapacity> autoUpdateFileName;
  SharedText<kFileNameCapacity> autoUpdateFileNameP2;
};

// The keys, in the order they are read.
inline constexpr std::string_view kConfigKeys[] = {"[AUTOUPDATE]", "[AUTOUPDATEP2]", "[COM]", "[BAUDRATE]"};

// What a configuration text yields: each key's value up to the first key
// that fails (absent, or no CR within its window); later keys are unread.
struct ConfigValues {
  std::optional<std::string> values[4];
  bool complete = false;  // every key read
};

// Pure parser over the file's bytes (which may hold NUL bytes). Values are
// 8-bit text turned into UTF-8 (bytes above 0x7F as Latin-1); "[COM]" gets
// its ":" appended.
ConfigValues parseAutoUpdateConfig(std::string_view bytes);

// Reads the file from the card folder and stores what it gives; failures
// are inserted at the top of the TextLog.
bool readAutoUpdateConfig(UpdateContext& ctx);

// "\%s\AutoUpdate.ini" cut to the path limit.
std::string autoUpdateConfigPath(const std::string& cardFolder);

}  // namespace ferrolan
