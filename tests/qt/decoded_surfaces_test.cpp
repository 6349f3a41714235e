// A real receiver's GSV group and GSA (from the mt3339 capture) decoded by
// the satellite display: its display lists are the ones the painter tests
// check pixel by pixel, and they render as such.
#include "app/wiring.h"
#include "shell/qt/qt_template_view.h"
#include "shell/resources.h"
#include "tests/qt/gui_support.h"
#include "tests/qt/sample_surfaces.h"
#include "tests/support/test_support.h"

namespace ferrolan::qt::test {
namespace {

TEST(DecodedSurfaces, BarsAndSkyPlotOfARealGroupAreTheCheckedDisplayLists) {
  ferrolan::test::ScriptedRig rig;
  for (WindowId w : {WindowId::InfoPage, WindowId::SkyPage})
    rig.ui.openWindow(w, initialControls(static_cast<int>(w)));
  rig.ctx.display.infoPageActive = true;
  rig.ctx.display.skyPageActive = true;
  registerDisplays(rig.ctx);
  DataPath& d = rig.ctx.dataPath;
  d.sentences.store(StoreSlot::Gsa, "$GPGSA,A,3,20,16,09,03,07,10,23,19,27,30,,,1.64,0.98,1.31*05\n");
  d.sentences.store(StoreSlot::Gsv1, "$GPGSV,3,1,12,09,88,089,31,07,60,281,44,23,55,123,33,10,44,274,32*78\n");
  d.sentences.store(StoreSlot::Gsv2, "$GPGSV,3,2,12,16,39,051,29,30,30,262,20,20,23,308,30,27,23,093,34*7F\n");
  d.sentences.store(StoreSlot::Gsv3, "$GPGSV,3,3,12,19,13,123,27,03,07,176,19,05,05,328,13,47,,,*41\n");
  d.sentences.gsvTotal = 3;
  d.refresh[sentenceEvents::kGpGsa]();
  d.refresh[sentenceEvents::kGpGsv]();

  struct Sat {
    const char* id;
    int el, az, signal;
    bool used;
  };
  const Sat sats[] = {{"09", 88, 89, 31, true},  {"07", 60, 281, 44, true}, {"23", 55, 123, 33, true},
                      {"10", 44, 274, 32, true}, {"16", 39, 51, 29, true},  {"30", 30, 262, 20, true},
                      {"20", 23, 308, 30, true}, {"27", 23, 93, 34, true},  {"19", 13, 123, 27, true},
                      {"03", 7, 176, 19, true},  {"05", 5, 328, 13, false}, {"47", 0, 0, 0, false}};
  std::vector<SkySatellite> plotted;
  for (const Sat& s : sats) plotted.push_back({s.el, s.az, s.id});
  const std::vector<DrawOp> sky = rig.ui.surface(WindowId::SkyPage, 0);
  EXPECT_EQ(sky, skyPlotOps(80, 50, plotted));

  for (int c = 0; c < 12; ++c) {
    const Sat& s = sats[c];
    const ClientSize size = rig.ui.clientSize(WindowId::InfoPage, ids::kInfoChannelBars[c]);
    std::vector<DrawOp> want = barOps(size.width, size.height, s.signal, s.used ? kBarGreen : kBarBlue);
    if (s.signal == 0) want.pop_back();  // untracked: grey only
    EXPECT_EQ(rig.ui.surface(WindowId::InfoPage, ids::kInfoChannelBars[c]), want) << s.id;
  }

  SurfaceWidget plot(QSize(res::pixelRect(*res::findTemplate(108)).w, res::pixelRect(*res::findTemplate(108)).h), false);
  plot.setOps(sky);
  plot.resize(plot.nominalSize());
  const QImage img = image(&plot);
  screenshot(&plot, "decoded-sky-plot");
  // Satellite 09 at elevation 88, azimuth 89: just east of the centre, below its label.
  EXPECT_TRUE(near(img.pixel(80 + 54 + 1, 50 + 54 + 5), QColor(0, 0, 255), 40));
  const ClientSize barSize = rig.ui.clientSize(WindowId::InfoPage, ids::kInfoChannelBars[1]);
  SurfaceWidget bar(QSize(barSize.width, barSize.height), true);
  bar.setOps(rig.ui.surface(WindowId::InfoPage, ids::kInfoChannelBars[1]));
  bar.resize(bar.nominalSize());
  const QImage b = image(&bar);
  screenshot(&bar, "decoded-bar-07");
  EXPECT_TRUE(near(b.pixel(b.width() / 2, b.height() - 22 + 1), QColor(0, 255, 0), 0)) << "44 is 22 pixels of green";
  EXPECT_TRUE(near(b.pixel(b.width() / 2, b.height() - 22 - 2), QColor(192, 192, 192), 0));
}

}  // namespace
}  // namespace ferrolan::qt::test
