// Whatever the program (or line noise) sends must never crash the
// simulated receiver, in any of its states.
#include <cstddef>
#include <cstdint>

#include "sim/receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ferrolan::sim;
  if (size == 0) return 0;
  ReceiverConfig cfg;
  cfg.kernelInstalled = (data[0] & 1) != 0;
  cfg.start = static_cast<StartState>(data[0] % 3);
  cfg.startInVbi = (data[0] & 4) != 0;
  uint32_t now = 0;
  Receiver rx(cfg, now);
  CommandIntake intake;
  for (size_t i = 1; i < size; ++i) {
    intake.feed(data[i]);
    rx.receive(data[i], now);
    now += data[i] & 0x3F;
    rx.advance(now);
    rx.takeOutput();
  }
  return 0;
}
