#include "tests/qt/sample_surfaces.h"

#include <cmath>

namespace ferrolan::qt::test {

std::vector<DrawOp> skyPlotOps(int x0, int y0, const std::vector<SkySatellite>& satellites) {
  const Color white{255, 255, 255}, red{255, 0, 0}, cyan{128, 255, 255}, blue{0, 0, 255}, black{};
  std::vector<DrawOp> ops{ellipseOp(x0 - 20, y0 - 20, x0 + 128, y0 + 128, white, white),
                          ellipseOp(x0, y0, x0 + 108, y0 + 108, red, cyan),
                          ellipseOp(x0 + 18, y0 + 18, x0 + 90, y0 + 90, red, cyan),
                          ellipseOp(x0 + 36, y0 + 36, x0 + 72, y0 + 72, red, cyan),
                          lineOp(x0 + 54, y0, x0 + 54, y0 + 108, red),
                          lineOp(x0, y0 + 54, x0 + 108, y0 + 54, red)};
  for (const SkySatellite& s : satellites) {
    const int r = 54 - (s.elevation * 108) / 180;
    const double a = s.azimuth * 0.0175;
    const int x = x0 + 54 + static_cast<int>(r * std::sin(a));
    const int y = y0 + 54 - static_cast<int>(r * std::cos(a));
    ops.push_back(ellipseOp(x - 8, y - 8, x + 8, y + 8, black, blue));
    ops.push_back(textOp(x - 6, y - 10, x + 10, y + 6, s.label, kDtBottom, white));
  }
  return ops;
}

}  // namespace ferrolan::qt::test
