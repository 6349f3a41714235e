// Display lists drawn as the signal bars and the sky plot draw them,
// checked pixel by pixel at the nominal size and scaled up.
#include "shell/qt/qt_painter.h"
#include "shell/qt/qt_template_view.h"
#include "tests/qt/gui_support.h"
#include "tests/qt/sample_surfaces.h"

namespace ferrolan::qt::test {
namespace {

const QColor kBlue(0, 0, 255), kGreen(0, 255, 0), kRed(255, 0, 0), kCyan(128, 255, 255), kWhite(255, 255, 255);

QImage render(SurfaceWidget& w, double scale) {
  w.resize(static_cast<int>(w.nominalSize().width() * scale), static_cast<int>(w.nominalSize().height() * scale));
  return image(&w);
}

// A signal bar: the whole width of the control, value / 2 pixels high,
// standing on the bottom; blue when not used in the fix, green when used.
TEST(Painter, SignalBarIsHalfTheSignalHighInItsColourAtEveryScale) {
  const res::ControlTemplate* bar = res::findControl(*res::findTemplate(106), ids::kInfoChannelBars[0]);
  const res::PixelRect r = res::pixelRect(*bar);
  struct Case {
    int value;
    Color color;
    QColor expect;
  };
  for (const Case& c : {Case{45, {0, 0, 255}, kBlue}, Case{38, {0, 255, 0}, kGreen}, Case{52, {0, 0, 255}, kBlue}}) {
    SurfaceWidget w(QSize(r.w, r.h), true);
    w.setOps(barOps(r.w, r.h, c.value, c.color));
    for (double scale : {1.0, 3.0}) {
      const QImage img = render(w, scale);
      const int x = img.width() / 2;
      const int top = static_cast<int>((r.h - c.value / 2) * scale);
      EXPECT_TRUE(near(img.pixel(x, top), c.expect, 0)) << c.value << " at scale " << scale;
      EXPECT_TRUE(near(img.pixel(x, img.height() - 2), c.expect, 0));
      EXPECT_TRUE(near(img.pixel(x, top - 1), QColor(192, 192, 192), 0)) << "bar taller than value / 2";
      if (scale == 1.0) screenshot(&w, "bar-" + std::to_string(c.value));
    }
  }
}

// The generic layout's plot, origin (80, 50): one satellite on the horizon
// at azimuth 90, centred at (187, 104), and one overhead.
std::vector<DrawOp> skyPlot() { return skyPlotOps(80, 50, {{0, 90, "12"}, {90, 0, "5"}}); }

TEST(Painter, SkyPlotRingsCrossAndSatelliteDotsLandOnTheirPixelsAndStayCrispScaled) {
  const res::PixelRect page = res::pixelRect(*res::findTemplate(108));
  SurfaceWidget w(QSize(page.w, page.h), false);
  w.setOps(skyPlot());
  const QImage img = render(w, 1.0);
  screenshot(&w, "sky-plot");
  EXPECT_TRUE(near(img.pixel(70, 104), kWhite, 0)) << "background disc";
  EXPECT_TRUE(near(img.pixel(120, 75), kCyan, 0)) << "ring fill";
  EXPECT_TRUE(near(img.pixel(134, 70), kRed, 40)) << "north-south line";
  EXPECT_TRUE(near(img.pixel(110, 104), kRed, 40)) << "east-west line";
  // The horizon satellite is centred at (187, 104); below its label the dot is blue.
  EXPECT_TRUE(near(img.pixel(187, 109), kBlue, 40));
  EXPECT_TRUE(near(img.pixel(187 + 12, 109), kWhite, 0)) << "dot wider than 16";
  EXPECT_TRUE(near(img.pixel(134 + 2, 104 + 5), kBlue, 40)) << "overhead satellite at the centre";
  // The white label is drawn over the dot.
  int whiteInDot = 0;
  for (int y = 96; y < 104; ++y)
    for (int x = 181; x < 195; ++x) whiteInDot += qRed(img.pixel(x, y)) > 200 && qBlue(img.pixel(x, y)) > 200;
  EXPECT_GT(whiteInDot, 4) << "no label on the dot";

  const QImage big = render(w, 2.0);
  screenshot(&w, "sky-plot-x2");
  // The one-pixel line becomes two whole pixels, not a blur.
  EXPECT_TRUE(near(big.pixel(268, 140), kRed, 40));
  EXPECT_TRUE(near(big.pixel(269, 140), kRed, 40));
  EXPECT_TRUE(near(big.pixel(266, 140), kCyan, 0));
  EXPECT_TRUE(near(big.pixel(271, 140), kCyan, 0));
}

int darkRowsBelow(const QImage& img, int row) {
  int below = 0, above = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 100) (y >= row ? below : above)++;
  return above == 0 ? below : -above;
}

TEST(Painter, TextFollowsDrawTextFlagsAndBackgroundMode) {
  // Vertical placement counts only for single-line text, as in GDI.
  EXPECT_TRUE(textAlignment(kDtBottom) & Qt::AlignTop);
  EXPECT_TRUE(textAlignment(kDtBottom | kDtSingleLine) & Qt::AlignBottom);
  EXPECT_TRUE(textAlignment(kDtVCenter | kDtSingleLine) & Qt::AlignVCenter);
  EXPECT_TRUE(textAlignment(kDtCenter) & Qt::AlignHCenter);
  EXPECT_TRUE(textAlignment(kDtRight) & Qt::AlignRight);

  SurfaceWidget w(QSize(40, 40), false);
  const Color whiteC{255, 255, 255}, black{};
  w.setOps({fillOp(0, 0, 40, 40, whiteC), textOp(0, 0, 40, 40, "88", kDtBottom | kDtSingleLine, black)});
  EXPECT_GT(darkRowsBelow(render(w, 1.0), 20), 0) << "bottom-aligned text above the middle";
  w.setOps({fillOp(0, 0, 40, 40, whiteC), textOp(0, 0, 40, 40, "88", kDtBottom, black)});
  EXPECT_LT(darkRowsBelow(render(w, 1.0), 20), 0) << "multi-line text is placed at the top";

  // Opaque mode fills the text's box; transparent leaves the fill.
  const Color blue{0, 0, 255};
  DrawOp opaque = textOp(0, 0, 40, 40, "88", kDtSingleLine, black);
  opaque.transparentBackground = false;
  w.setOps({fillOp(0, 0, 40, 40, blue), opaque});
  QImage img = render(w, 1.0);
  EXPECT_TRUE(near(img.pixel(0, 0), kWhite, 0));
  EXPECT_TRUE(near(img.pixel(35, 35), kBlue, 0));
  w.setOps({fillOp(0, 0, 40, 40, blue), textOp(0, 0, 40, 40, "88", kDtSingleLine, black)});
  img = render(w, 1.0);
  EXPECT_TRUE(near(img.pixel(0, 0), kBlue, 0));

  // Text is clipped to its rectangle unless DT_NOCLIP.
  w.setOps({fillOp(0, 0, 40, 40, whiteC), textOp(0, 0, 4, 40, "888888", kDtSingleLine, black)});
  img = render(w, 1.0);
  int outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 5; x < 40; ++x) outside += qGray(img.pixel(x, y)) < 100;
  EXPECT_EQ(outside, 0);
}

TEST(Painter, ReversedAndEmptyRectanglesDrawNothingOutsideThemAndOddOpsAreSafe) {
  SurfaceWidget w(QSize(20, 20), false);
  const Color whiteC{255, 255, 255}, blue{0, 0, 255};
  // A reversed rectangle is the same rectangle; a zero-width one is empty.
  w.setOps({fillOp(0, 0, 20, 20, whiteC), fillOp(15, 15, 5, 5, blue), fillOp(2, 2, 2, 18, blue)});
  const QImage img = render(w, 1.0);
  EXPECT_TRUE(near(img.pixel(10, 10), kBlue, 0));
  EXPECT_TRUE(near(img.pixel(2, 10), kWhite, 0));
  EXPECT_TRUE(near(img.pixel(15, 10), kWhite, 0)) << "right edge excluded";
  // Coordinates far outside, a zero pen width, empty text: drawn without harm.
  DrawOp wild = lineOp(-100000, -100000, 100000, 100000, blue);
  wild.penWidth = 0;
  w.setOps({wild, textOp(0, 0, 0, 0, "", 0, blue), ellipseOp(5, 5, 5, 5, blue, blue)});
  EXPECT_FALSE(render(w, 1.0).isNull());
}

}  // namespace
}  // namespace ferrolan::qt::test
