// The firmware version reply parser on arbitrary bytes: it must never read
// past its input nor hand back fields over their capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/version_query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto reply = ferrolan::parseVersionReply(std::span<const uint8_t>(data, size));
  if (reply) {
    // Each received byte becomes at most two UTF-8 bytes.
    const size_t limit = 2 * (ferrolan::kVersionFieldCapacity - 1);
    if (reply->major.size() > limit || reply->minor.size() > limit) std::abort();
  }
  return 0;
}
