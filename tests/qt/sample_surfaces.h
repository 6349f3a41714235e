#pragma once
// Display lists built by hand the way the satellite display draws them:
// signal bars and the sky plot with its rings, cross and satellite dots.

#include <string>
#include <tuple>
#include <vector>

#include "ui/ui_model.h"

namespace ferrolan::qt::test {

inline DrawOp fillOp(int x1, int y1, int x2, int y2, Color c) {
  DrawOp op;
  op.kind = DrawOp::Kind::FillRect;
  op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2;
  op.brush = c;
  return op;
}

inline DrawOp ellipseOp(int x1, int y1, int x2, int y2, Color pen, Color brush) {
  DrawOp op = fillOp(x1, y1, x2, y2, brush);
  op.kind = DrawOp::Kind::Ellipse;
  op.pen = pen;
  return op;
}

inline DrawOp lineOp(int x1, int y1, int x2, int y2, Color pen) {
  DrawOp op = fillOp(x1, y1, x2, y2, {});
  op.kind = DrawOp::Kind::Line;
  op.pen = pen;
  return op;
}

inline DrawOp textOp(int x1, int y1, int x2, int y2, std::string s, unsigned format, Color color) {
  DrawOp op = fillOp(x1, y1, x2, y2, {});
  op.kind = DrawOp::Kind::Text;
  op.text = std::move(s);
  op.format = format;
  op.textColor = color;
  return op;
}

inline constexpr Color kBarBlue{0, 0, 255}, kBarGreen{0, 255, 0}, kBarGrey{192, 192, 192};

// A bar control of width w and height h: grey, then value / 2 pixels of
// colour standing on the bottom.
inline std::vector<DrawOp> barOps(int w, int h, int value, Color c) {
  return {fillOp(0, 0, w, h, kBarGrey), fillOp(0, h - value / 2, w, h, c)};
}

struct SkySatellite {
  int elevation, azimuth;
  std::string label;
};

// The sky plot at origin (x0, y0); satellites at the centre and on the
// horizon are computed as the plot computes them.
std::vector<DrawOp> skyPlotOps(int x0, int y0, const std::vector<SkySatellite>& satellites);

}  // namespace ferrolan::qt::test
