// The GUI tests run inside one QApplication, with the application font set.
// With --show-sheet [--tool] [--layout generic|portrait|landscape] the
// binary instead shows the sheet with sample data, for a look by hand.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <cstring>
#include <string>

#include "tests/qt/gui_support.h"
#include "tests/qt/sample_surfaces.h"

namespace {

int showSheet(int argc, char** argv) {
  using namespace ferrolan;
  int pages = 1;
  Layout layout = Layout::Generic;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tool") == 0) pages = 3;
    if (std::strcmp(argv[i], "--layout") == 0 && i + 1 < argc) {
      const std::string l = argv[++i];
      layout = l == "portrait" ? Layout::PocketPortrait : l == "landscape" ? Layout::PocketLandscape : Layout::Generic;
    }
  }
  qt::test::GuiRig rig;
  PageProcedures procs;
  procs.created = [&](WindowId w) {
    if (w == WindowId::TextPage) {
      rig.ui.setHorizontalExtent(w, ids::kTextLog, 500);
      rig.ctx.textLog.append("$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76");
      rig.ui.setProgress(w, ids::kTextProgress, 60);
      rig.ui.setText(w, ids::kTextPortLabel, "COM1:");
      rig.ui.setText(w, ids::kTextBaudLabel, "115200");
    } else if (w == WindowId::InfoPage) {
      const auto* bar = res::findControl(*res::templateFor(w, layout), ids::kInfoChannelBars[0]);
      const int levels[8] = {45, 38, 52, 30, 41, 22, 47, 35};
      for (int c = 0; c < 8; ++c) {
        rig.ui.setText(w, ids::kInfoChannelLabels[c], std::to_string(c * 3 + 2));
        rig.ui.setSurface(w, ids::kInfoChannelBars[c],
                          qt::test::barOps(res::pixelRect(*bar).w, res::pixelRect(*bar).h, levels[c],
                                           c % 2 ? qt::test::kBarGreen : qt::test::kBarBlue));
      }
      rig.ui.setText(w, ids::kInfoUtc, "09:27:50");
      rig.ui.setText(w, ids::kInfoFix, "3D 34s");
    } else if (w == WindowId::SkyPage) {
      const int x0 = layout == Layout::Generic ? 80 : layout == Layout::PocketPortrait ? 60 : 90;
      const int y0 = layout == Layout::PocketLandscape ? 30 : 50;
      rig.ui.setSurface(w, 0, qt::test::skyPlotOps(x0, y0, {{79, 48, "07"}, {51, 62, "02"}, {36, 256, "26"}, {0, 90, "27"}}));
    }
  };
  return qt::runQtSheet(rig.ctx, qt::test::sheetFor(layout, pages), procs, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // Without a display (test discovery at build time, CI) run offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ferrolan::qt::applyApplicationFont();
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--show-sheet") == 0) return showSheet(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
