// Workers write only the UI model: a flood of log lines, painted surfaces
// and message boxes that a worker waits on, while the GUI keeps running.
#include <QAbstractButton>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>

#include "shell/qt/qt_boxes.h"
#include "shell/qt/qt_template_view.h"
#include "tests/qt/gui_support.h"
#include "tests/qt/sample_surfaces.h"

namespace ferrolan::qt::test {
namespace {

TEST(GuiThreads, AWorkerFloodingTheTextLogNeitherStallsTheGuiNorCostsARepaintPerLine) {
  GuiRig rig;
  PageProcedures procs;
  QtSheet sheet(rig.ctx, sheetFor(Layout::Generic, 1), procs);
  sheet.show();
  sheet.start();
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  std::thread worker([&] {
    while (!stop.load()) {
      rig.ctx.textLog.insertTop("$GPGSV,3,1,10,07,79,048,42,02,51,062,43,26,36,256,42,27,27,138,42*71 #" +
                                std::to_string(written.load()));
      written.fetch_add(1);
    }
  });
  // Round trips through the event loop while the worker writes: each one
  // posts the next, so a GUI blocked on the worker would never finish them.
  int roundTrips = 0;
  std::function<void()> ping = [&] {
    if (++roundTrips < 200) QMetaObject::invokeMethod(&sheet, ping, Qt::QueuedConnection);
  };
  QMetaObject::invokeMethod(&sheet, ping, Qt::QueuedConnection);
  // Enough lines that the list fills up and starts dropping its oldest.
  const int flood = static_cast<int>(UiModel::kMaxListItems) + 500;
  const bool responsive = pumpUntil([&] { return roundTrips >= 200 && written.load() > flood; }, 120);
  stop = true;
  worker.join();
  ASSERT_TRUE(responsive) << roundTrips << " round trips, " << written.load() << " lines";

  auto* list = static_cast<QListView*>(sheet.page(0)->view()->controlWidget(ids::kTextLog));
  const auto lines = rig.ctx.textLog.lines();
  ASSERT_TRUE(pumpUntil([&] {
    return list->model()->rowCount() == static_cast<int>(lines.size()) &&
           list->model()->index(0, 0).data().toString().toStdString() == lines.front();
  }));
  EXPECT_EQ(lines.size(), UiModel::kMaxListItems);
  std::printf("flood: %d lines, %d refreshes, %d round trips\n", written.load(), sheet.bridge().flushCount(),
              roundTrips);
  screenshot(&sheet, "generic-1page-text-flood");
  sheet.close();
}

TEST(GuiThreads, EveryChangeWrittenBeforeTheGuiLooksSharesOneRefresh) {
  GuiRig rig;
  PageProcedures procs;
  QtSheet sheet(rig.ctx, sheetFor(Layout::Generic, 1), procs);
  sheet.show();
  sheet.start();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  sheet.bridge().flush();
  const int before = sheet.bridge().flushCount();
  std::thread worker([&] {
    for (int i = 0; i < 3000; ++i) rig.ctx.textLog.append("line " + std::to_string(i));
    rig.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 70);
    rig.ui.setText(WindowId::TextPage, ids::kTextStatus, "OK");
  });
  worker.join();
  auto* list = static_cast<QListView*>(sheet.page(0)->view()->controlWidget(ids::kTextLog));
  ASSERT_TRUE(pumpUntil([&] { return list->model()->rowCount() == 3000; }));
  EXPECT_EQ(sheet.bridge().flushCount(), before + 1) << "3002 changes, one refresh";
  EXPECT_EQ(list->model()->index(2999, 0).data().toString(), "line 2999");
  sheet.close();
}

class GuiSurfaces : public ::testing::TestWithParam<Layout> {};

TEST_P(GuiSurfaces, BarsAndSkyPlotWrittenByAWorkerAppearOnTheirControls) {
  const Layout layout = GetParam();
  ShownSheet shown(layout);
  GuiRig& rig = shown.rig;
  QtSheet& sheet = shown.sheet;
  sheet.tabs()->setCurrentIndex(1);
  const res::DialogTemplate& info = *res::templateFor(WindowId::InfoPage, layout);
  const int h = res::pixelRect(*res::findControl(info, ids::kInfoChannelBars[0])).h;
  const int levels[16] = {45, 38, 0, 52, 30, 41, 22, 47, 35, 28, 44, 40, 0, 0, 0, 0};
  std::thread display([&] {
    for (int c = 0; c < 16; ++c) {
      if (!levels[c]) continue;
      rig.ui.setText(WindowId::InfoPage, ids::kInfoChannelLabels[c], std::to_string(c * 2 + 1));
      rig.ui.setSurface(WindowId::InfoPage, ids::kInfoChannelBars[c],
                        barOps(100, h, levels[c], c % 3 ? kBarGreen : kBarBlue));
    }
    rig.ui.setText(WindowId::InfoPage, ids::kInfoFix, "3D 34s");
  });
  display.join();
  PageWidget* page = sheet.page(WindowId::InfoPage);
  auto* first = static_cast<SurfaceWidget*>(page->view()->controlWidget(ids::kInfoChannelBars[0]));
  ASSERT_TRUE(pumpUntil([&] { return !first->ops().empty(); }));
  // Bar 1 (45, blue): its bottom pixel row is blue, the row above its top grey.
  const QImage img = image(first);
  const double scale = double(first->height()) / h;
  EXPECT_TRUE(near(img.pixel(img.width() / 2, img.height() - 3), QColor(0, 0, 255), 0));
  EXPECT_TRUE(near(img.pixel(img.width() / 2, int((h - 22) * scale) - 2), QColor(192, 192, 192), 0));
  screenshot(&sheet, layoutName(layout) + "-3page-info-bars");

  sheet.tabs()->setCurrentIndex(2);
  // Each layout's own origin.
  const int x0 = layout == Layout::Generic ? 80 : layout == Layout::PocketPortrait ? 60 : 90;
  const int y0 = layout == Layout::PocketLandscape ? 30 : 50;
  std::thread sky([&] { rig.ui.setSurface(WindowId::SkyPage, 0, skyPlotOps(x0, y0, {{90, 0, "5"}})); });
  sky.join();
  auto* plot = static_cast<SurfaceWidget*>(sheet.page(WindowId::SkyPage)->view()->controlWidget(0));
  ASSERT_TRUE(pumpUntil([&] { return !plot->ops().empty(); }));
  const QImage skyImg = image(plot);
  const double s = double(plot->width()) / plot->nominalSize().width();
  EXPECT_TRUE(near(skyImg.pixel(int((x0 + 56) * s), int((y0 + 59) * s)), QColor(0, 0, 255), 30));
  EXPECT_TRUE(near(skyImg.pixel(int((x0 + 40) * s), int((y0 + 24) * s)), QColor(128, 255, 255), 0));
  screenshot(&sheet, layoutName(layout) + "-3page-sky-plot");
  sheet.close();
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, GuiSurfaces,
                         ::testing::Values(Layout::Generic, Layout::PocketPortrait, Layout::PocketLandscape),
                         [](const auto& info) { return layoutName(info.param); });

TEST(GuiThreads, AWorkersMessageBoxIsModalOnTheGuiThreadAndTheWorkerGetsTheAnswer) {
  GuiRig rig;
  PageProcedures procs;
  QtSheet sheet(rig.ctx, sheetFor(Layout::Generic, 1), procs);
  sheet.show();
  sheet.start();
  struct Seen {
    QString title, text;
    bool guiThread = false;
  };
  std::vector<Seen> seen;
  auto answerWith = [&](QMessageBox::StandardButton which) {
    whenModal([&seen, which](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      seen.push_back({box->windowTitle(), box->text(), QThread::currentThread() == qApp->thread()});
      box->button(which)->click();
    });
  };
  std::atomic<int> answer{-1};
  answerWith(QMessageBox::Ok);
  std::thread worker([&] { answer = rig.ui.messageBox(WindowId::TextPage, "Open File Failed!", "Error", kMbOk); });
  ASSERT_TRUE(pumpUntil([&] { return answer.load() != -1; }));
  worker.join();
  EXPECT_EQ(answer.load(), kIdOk);

  answer = -1;
  answerWith(QMessageBox::No);
  std::thread asker([&] { answer = rig.ui.messageBox(std::nullopt, "Power Off Device And Try Again!", "WARN", 0x34); });
  ASSERT_TRUE(pumpUntil([&] { return answer.load() != -1; }));
  asker.join();
  EXPECT_EQ(answer.load(), kIdNo);

  // From the GUI thread itself the box runs in place.
  answerWith(QMessageBox::Ok);
  EXPECT_EQ(rig.ui.messageBox(WindowId::TextPage, "Create thread failed!", "Update"), kIdOk);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].title, "Error");
  EXPECT_EQ(seen[0].text, "Open File Failed!");
  EXPECT_EQ(seen[1].title, "WARN");
  EXPECT_EQ(seen[2].title, "Update");
  for (const Seen& s : seen) EXPECT_TRUE(s.guiThread);
  sheet.close();
}

}  // namespace
}  // namespace ferrolan::qt::test
