// The terminal front end's redraw cost while a receiver streams: each frame
// one second's worth of model changes (the Info page's sixteen bars and
// fields, or the Sky page's plot) and the screen laid out again, as the
// loop does once per wake-up; the cells that differ from the last frame
// are counted, which is what goes out to the terminal.
//
//   build/bench/tui_bench [FRAMES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "datapath/satellite_display.h"
#include "shell/resources.h"
#include "shell/tui/tui_screen.h"

using namespace ferrolan;
using namespace ferrolan::tui;

namespace {

WindowView viewOf(UiModel& ui, WindowId w) {
  WindowView v;
  v.tpl = res::templateFor(w, Layout::Generic);
  v.controls[0] = ui.control(w, 0).value_or(ControlState{});
  for (const auto& [id, state] : res::initialControls(*v.tpl))
    if (auto s = ui.control(w, id)) v.controls[id] = *s;
  return v;
}

void run(WindowId page, int width, int height, int frames) {
  UiModel ui;
  ui.openWindow(page, res::initialControls(*res::templateFor(page, Layout::Generic)));
  ScreenState s;
  s.width = width;
  s.height = height;
  s.tabs = {"text", "Info", "Sky"};
  s.menuBar = true;
  Grid last(width, height);
  long changed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < frames; ++f) {
    if (page == WindowId::InfoPage) {
      for (int c = 0; c < kChannels; ++c) {
        ui.setText(page, ids::kInfoChannelLabels[c], std::to_string(c + 1));
        drawSignalBar(ui, c, 120, kBarBlank);  // a new group blanks the bars first
        drawSignalBar(ui, c, 30 + (f * 7 + c * 13) % 60, c % 3 ? kBarUsed : kBarNotUsed);
      }
      ui.setText(page, ids::kInfoUtc, "00:00:" + std::to_string(f % 60));
    } else {
      SkyTables sky;
      sky.satellitesInView = 12;
      for (size_t i = 0; i < 12; ++i) {
        sky.labels[i] = {static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10), 0, 0, 0};
        sky.elevation[i] = static_cast<int>((i * 17 + static_cast<size_t>(f)) % 90);
        sky.azimuth[i] = static_cast<int>((i * 31 + static_cast<size_t>(f) * 3) % 360);
      }
      const PlotOrigin o = skyPlotOrigin(0, 0);
      ui.setSurface(page, 0, skyPlot(sky, o.x0, o.y0));
    }
    const WindowView v = viewOf(ui, page);
    s.page = &v;
    Grid g = composeScreen(s);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) changed += !(g.cell(x, y) == last.cell(x, y));
    last = std::move(g);
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-5s %3dx%-3d %7.0f frames/s  %7.1f us/frame  %6.1f cells changed/frame\n",
              page == WindowId::InfoPage ? "Info" : "Sky", width, height, frames / secs, secs * 1e6 / frames,
              static_cast<double>(changed) / frames);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  std::printf("terminal front end: model changes, snapshot and layout per frame (%d frames)\n", frames);
  for (WindowId page : {WindowId::InfoPage, WindowId::SkyPage})
    for (auto [w, h] : {std::pair{80, 24}, std::pair{200, 60}}) run(page, w, h, frames);
  return 0;
}
