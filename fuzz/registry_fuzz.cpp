// registry.reg is edited by hand. Whatever the parser keeps of a file must
// be written back in a form it reads in full and keeps the same: saving
// after any change rewrites the whole file, so an unstable round trip would
// change or lose the user's other keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  ferrolan::Registry first;  // in memory only
  first.parse(std::string(reinterpret_cast<const char*>(data), size));
  const std::string written = first.serialize();

  ferrolan::Registry second;
  if (!second.parse(written)) std::abort();  // our own output has a line we do not understand
  if (second.serialize() != written) std::abort();
  return 0;
}
