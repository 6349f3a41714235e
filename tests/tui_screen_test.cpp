// The terminal front end's layout: model states into character grids.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datapath/satellite_display.h"
#include "shell/resources.h"
#include "shell/tui/tui_screen.h"

namespace ferrolan::tui {
namespace {

WindowView viewOf(UiModel& ui, WindowId w) {
  WindowView v;
  v.tpl = res::templateFor(w, Layout::Generic);
  for (const auto& [id, state] : res::initialControls(*v.tpl))
    if (auto s = ui.control(w, id)) v.controls[id] = *s;
  return v;
}

Grid screenOf(const WindowView& page, int width = 80, int height = 24) {
  ScreenState s;
  s.width = width;
  s.height = height;
  s.tabs = {"text", "Info", "Sky"};
  s.menuBar = true;
  s.page = &page;
  return composeScreen(s);
}

std::string text(const Grid& g) {
  std::string out;
  for (int y = 0; y < g.height(); ++y) out += std::to_string(y) + "\t" + g.line(y) + "\n";
  return out;
}

// The column of cells a bar covers, bottom row first.
std::string barColumn(const Grid& g, const WindowView& v, int channel) {
  const res::ControlTemplate* c = res::findControl(*v.tpl, ids::kInfoChannelBars[channel]);
  const Rect r = cellRect(*c, *v.tpl, pageArea(g.width(), g.height(), true));
  std::string out;
  for (int y = r.y + r.h - 1; y >= r.y; --y) out += g.cell(r.x + r.w / 2, y).ch;
  return out;
}

TEST(TuiScreen, SignalBarsShowTheirHeightAndWhetherTheFixUsesThem) {
  struct Row {
    int channel, signal;
    Color color;
    std::string column;  // bottom up
  };
  const Row rows[] = {
      {0, 80, kBarUsed, "###  "},     // 40 of 60 pixels, 5 rows of 12
      {1, 40, kBarNotUsed, "::   "},  // 20 of 60
      {2, 20, kBarUsed, "#    "},
      {3, 0, kBarUsed, "     "},
      {15, 120, kBarNotUsed, ":::::"},  // the full bar
  };
  UiModel ui;
  ui.openWindow(WindowId::InfoPage, res::initialControls(*res::templateFor(WindowId::InfoPage, Layout::Generic)));
  for (const Row& r : rows) drawSignalBar(ui, r.channel, r.signal, r.color);
  const WindowView v = viewOf(ui, WindowId::InfoPage);
  const Grid g = screenOf(v);
  for (const Row& r : rows) EXPECT_EQ(barColumn(g, v, r.channel), r.column) << "channel " << r.channel << "\n" << text(g);
}

TEST(TuiScreen, SkyPlotPutsSatellitesAtTheirAzimuthAndElevation) {
  struct Row {
    int azimuth, elevation;
    const char* label;
    int row, col;  // where the label begins on an 80x24 screen
  };
  // The plot's centre is row 11, column 39, its horizon ring 5 rows and 16
  // columns away.
  const Row rows[] = {
      {0, 90, "01", 11, 39},  {0, 0, "02", 6, 39},    {90, 0, "03", 11, 55},
      {180, 0, "04", 16, 39}, {270, 0, "05", 11, 23}, {0, 45, "06", 9, 39},
  };
  for (const Row& r : rows) {
    SkyTables sky;
    sky.satellitesInView = 1;
    std::copy_n(r.label, 2, sky.labels[0].begin());
    sky.azimuth[0] = r.azimuth;
    sky.elevation[0] = r.elevation;
    const PlotOrigin o = skyPlotOrigin(0, 0);
    UiModel ui;
    ui.openWindow(WindowId::SkyPage, res::initialControls(*res::templateFor(WindowId::SkyPage, Layout::Generic)));
    ui.setSurface(WindowId::SkyPage, 0, skyPlot(sky, o.x0, o.y0));
    const Grid g = screenOf(viewOf(ui, WindowId::SkyPage));
    EXPECT_EQ(g.line(r.row).substr(static_cast<size_t>(r.col), 2), r.label)
        << "azimuth " << r.azimuth << " elevation " << r.elevation << "\n" << text(g);
  }
}

TEST(TuiScreen, TooSmallATerminalGetsOneLineAndNoLayout) {
  WindowView page;
  page.tpl = res::templateFor(WindowId::InfoPage, Layout::Generic);
  struct Row {
    int width, height;
    std::string first;
  };
  const Row rows[] = {
      {79, 24, std::string(kTooSmall)},
      {80, 23, std::string(kTooSmall)},
      {10, 3, std::string(kTooSmall.substr(0, 10))},
      {0, 0, ""},
      {80, 24, " F1 text "},
  };
  for (const Row& r : rows) {
    const Grid g = screenOf(page, r.width, r.height);
    EXPECT_EQ(g.line(0).substr(0, r.first.size()), r.first) << r.width << "x" << r.height;
    if (r.width < kMinWidth || r.height < kMinHeight) {
      for (int y = 1; y < g.height(); ++y) EXPECT_EQ(g.line(y), std::string(static_cast<size_t>(r.width), ' '));
    }
  }
}

}  // namespace
}  // namespace ferrolan::tui
