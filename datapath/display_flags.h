#pragma once
// What the pages tell the satellite display: which of them is the active
// page, and the order the user chose for the signal bars. Written on the UI
// thread, read by the display thread.

#include <atomic>

namespace ferrolan {

// sortMode values; any other value keeps the receiver's order.
inline constexpr int kSortReceiverOrder = 0, kSortById = 1, kSortBySignal = 2;

struct DisplayFlags {
  std::atomic<bool> infoPageActive{false};
  std::atomic<bool> skyPageActive{false};
  std::atomic<int> sortMode{kSortReceiverOrder};
};

}  // namespace ferrolan
