// The XMODEM receiver takes any byte sequence without reading past its
// block buffer or storing more than its limit.
#include <cstddef>
#include <cstdint>

#include "sim/xmodem_receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan::sim;
  XmodemReceiver::Limits limits;
  limits.maxBytes = 8192;
  XmodemReceiver x(limits);
  Bytes out;
  x.start(0, out);
  uint32_t now = 0;
  for (size_t i = 0; i < size; ++i) {
    x.feed(data[i], now, out);
    now += data[i] & 0x0F;
    x.tick(now, out);
    out.clear();
  }
  return 0;
}
