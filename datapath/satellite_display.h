#pragma once
// The satellites in view from a complete GSV group: the Info page's sixteen
// signal bars (green when used in the fix, blue otherwise) and the Sky
// page's plot, and the clearing of the bars before a new group or restart.

#include <vector>

#include "datapath/display_context.h"
#include "ui/ui_model.h"

namespace ferrolan {

inline constexpr int kChannels = 16;
inline constexpr Color kBarNotUsed{0, 0, 255}, kBarUsed{0, 255, 0}, kBarBlank{192, 192, 192};

void showGsv(DisplayContext& d);
void cleanDisplays(DisplayContext& d);

// The sky plot of the recorded tables, with its origin by the layout.
std::vector<DrawOp> skyPlot(const SkyTables& sky, int x0, int y0);
struct PlotOrigin {
  int x0, y0;
};
PlotOrigin skyPlotOrigin(bool isPocketPC, bool isPortrait);

// The bar of a channel: `signal` / 2 pixels standing on the bottom of the
// bar control, its full width.
void drawSignalBar(UiModel& ui, int channel, int signal, Color color);

}  // namespace ferrolan
