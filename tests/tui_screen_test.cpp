// The terminal front end's layout: model states into character grids.

#include <algorithm>
#include <cctype>
#include <cstdlib>
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

TEST(TuiScreen, FramesRingsAndLinesAreLinePiecesThatJoinWhereTheyMeet) {
  // A frame with its title on the top edge.
  Grid frame(8, 6);
  frame.frame(Rect{1, 1, 6, 4}, "ab");
  // A ring round a 21x11 rect (nominal pixels twice the cells) crossed by a
  // line down and one across its centre, each from edge to edge.
  Grid sky(21, 11);
  auto shape = [](DrawOp::Kind kind, int x1, int y1, int x2, int y2) {
    DrawOp op;
    op.kind = kind;
    op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2;
    op.pen = Color{255, 0, 0};
    op.nullBrush = true;
    return op;
  };
  drawDisplayList(sky, Rect{0, 0, 21, 11}, 42, 22,
                  {shape(DrawOp::Kind::Ellipse, 1, 1, 41, 21), shape(DrawOp::Kind::Line, 21, 1, 21, 21),
                   shape(DrawOp::Kind::Line, 1, 11, 41, 11)});
  // Two signal bars, a used satellite's and another's.
  Grid bars(4, 1);
  auto bar = [&](int x1, Color brush) {
    DrawOp op = shape(DrawOp::Kind::FillRect, x1, 0, x1 + 2, 2);
    op.brush = brush;
    return op;
  };
  drawDisplayList(bars, Rect{0, 0, 4, 1}, 8, 2, {bar(0, kBarUsed), bar(4, kBarNotUsed)});
  struct Row {
    const Grid& grid;
    int x, y;
    Glyph glyph;
  };
  const Row rows[] = {
      {bars, 0, 0, Glyph::DenseShade},  {bars, 2, 0, Glyph::LightShade},
      {frame, 1, 1, Glyph::UpperLeft},  {frame, 6, 1, Glyph::UpperRight}, {frame, 1, 4, Glyph::LowerLeft},
      {frame, 6, 4, Glyph::LowerRight}, {frame, 2, 1, Glyph::Horizontal}, {frame, 5, 4, Glyph::Horizontal},
      {frame, 1, 2, Glyph::Vertical},   {frame, 6, 3, Glyph::Vertical},   {frame, 3, 1, Glyph::None},  // title
      {frame, 3, 2, Glyph::None},       {frame, 0, 0, Glyph::None},
      // Where the lines end on the ring, tees; where they cross, a cross.
      {sky, 10, 0, Glyph::TopTee},      {sky, 10, 10, Glyph::BottomTee},  {sky, 0, 5, Glyph::LeftTee},
      {sky, 20, 5, Glyph::RightTee},    {sky, 10, 5, Glyph::Cross},       {sky, 10, 2, Glyph::Vertical},
      {sky, 5, 5, Glyph::Horizontal},   {sky, 7, 0, Glyph::Horizontal},   {sky, 0, 4, Glyph::Vertical},
      {sky, 0, 0, Glyph::None},         {sky, 3, 3, Glyph::None},
  };
  for (const Row& r : rows)
    EXPECT_EQ(r.grid.cell(r.x, r.y).glyph, r.glyph) << r.x << "," << r.y << "\n" << text(r.grid);
  // The pieces join up: every arm meets an arm back from the cell it points to.
  for (int y = 0; y < sky.height(); ++y)
    for (int x = 0; x < sky.width(); ++x) {
      struct Arm {
        unsigned arm, back;
        int dx, dy;
      };
      for (const Arm a : {Arm{kArmUp, kArmDown, 0, -1}, Arm{kArmDown, kArmUp, 0, 1}, Arm{kArmLeft, kArmRight, -1, 0},
                          Arm{kArmRight, kArmLeft, 1, 0}})
        if (arms(sky.cell(x, y).glyph) & a.arm) {
          ASSERT_TRUE((Rect{0, 0, sky.width(), sky.height()}.contains(x + a.dx, y + a.dy))) << x << "," << y;
          EXPECT_TRUE(arms(sky.cell(x + a.dx, y + a.dy).glyph) & a.back) << x << "," << y << "\n" << text(sky);
        }
    }
  // The plain characters stay as they were: the ring dotted, the lines over it.
  EXPECT_EQ(frame.line(1), " +-ab-+ ");
  EXPECT_EQ(sky.line(5), "----------+----------");
  EXPECT_EQ(sky.cell(10, 0).ch, '|');
  EXPECT_EQ(sky.cell(7, 0).ch, '.');
}

TEST(TuiScreen, SatelliteLabelsCloseTogetherMoveApartAndStayWhole) {
  struct Satellite {
    const char* label;
    int azimuth, elevation;
    bool home;  // where it goes when alone: the first drawn, or far from the others
  };
  const std::vector<std::vector<Satellite>> rows = {
      {{"02", 30, 40, true}, {"20", 34, 40, false}},
      {{"05", 200, 20, true}, {"06", 203, 20, false}, {"12", 206, 22, false}},
      {{"07", 100, 60, true}, {"08", 100, 60, false}, {"09", 100, 60, false}},
      {{"10", 0, 90, true}, {"11", 270, 10, true}, {"13", 272, 10, false}},
  };
  auto plot = [](const std::vector<Satellite>& sats) {
    SkyTables sky;
    sky.satellitesInView = static_cast<int>(sats.size());
    for (size_t i = 0; i < sats.size(); ++i) {
      std::copy_n(sats[i].label, 2, sky.labels[i].begin());
      sky.azimuth[i] = sats[i].azimuth;
      sky.elevation[i] = sats[i].elevation;
    }
    const PlotOrigin o = skyPlotOrigin(0, 0);
    UiModel ui;
    ui.openWindow(WindowId::SkyPage, res::initialControls(*res::templateFor(WindowId::SkyPage, Layout::Generic)));
    ui.setSurface(WindowId::SkyPage, 0, skyPlot(sky, o.x0, o.y0));
    return screenOf(viewOf(ui, WindowId::SkyPage));
  };
  // Where a label stands whole on the page, a non-digit on each side.
  auto places = [](const Grid& g, const std::string& label) {
    std::vector<std::pair<int, int>> out;
    const Rect page = pageArea(g.width(), g.height(), true);
    for (int y = page.y; y < page.y + page.h; ++y) {
      const std::string l = " " + g.line(y) + " ";
      auto digit = [&](size_t at) { return std::isdigit(static_cast<unsigned char>(l[at])) != 0; };
      for (size_t at = l.find(label); at != std::string::npos; at = l.find(label, at + 1))
        if (!digit(at - 1) && !digit(at + 2)) out.emplace_back(static_cast<int>(at) - 1, y);
    }
    return out;
  };
  for (const auto& row : rows) {
    const Grid g = plot(row);
    for (const Satellite& s : row) {
      const auto alone = places(plot({s}), s.label), together = places(g, s.label);
      ASSERT_EQ(alone.size(), 1u) << s.label;
      ASSERT_EQ(together.size(), 1u) << s.label << "\n" << text(g);
      const int dx = std::abs(together[0].first - alone[0].first), dy = std::abs(together[0].second - alone[0].second);
      if (s.home)
        EXPECT_EQ(dx + dy, 0) << s.label << "\n" << text(g);
      else
        EXPECT_LE(dx + dy, 4) << s.label << "\n" << text(g);
    }
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
