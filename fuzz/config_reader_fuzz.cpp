// Fuzzes the configuration reader with arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update/auto_update_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  const auto v = ferrolan::parseAutoUpdateConfig(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& value : v.values)
    if (value && value->size() > 2 * ferrolan::kConfigValueWindow + 1) __builtin_trap();
  return 0;
}
