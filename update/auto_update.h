#pragma once
// The unattended firmware update: one attempt from the card's files, by
// command when the receiver reports a known firmware version, else through
// its flash-kernel menu after a power cycle.

namespace ferrolan {

struct UpdateContext;

inline constexpr long kAutoUpdateMinSize = 481280;
inline constexpr long kAutoUpdateMaxSize = 491520;

// The thread's body; runs once to its end.
void AutoUpdateThread(UpdateContext& ctx);

}  // namespace ferrolan
