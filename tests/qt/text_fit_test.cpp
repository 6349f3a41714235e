// Every text of the pages and dialogs fits its control, in each layout, at
// the window's first size and scaled: measured with the view's font
// against the control's text area; channel numbers against their bar.
#include <QCheckBox>
#include <QPushButton>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QTabWidget>

#include "shell/qt/qt_template_view.h"
#include "tests/qt/gui_support.h"

namespace ferrolan::qt::test {
namespace {

// The texts the Info page shows with a fix, as the fix display writes them.
void fillInfo(UiModel& ui) {
  const WindowId w = WindowId::InfoPage;
  for (auto [id, text] : {std::pair{ids::kInfoUtc, "23:59:59"}, {ids::kInfoLatitude, "24 Deg 47.1234N"},
                          {ids::kInfoLongitude, "121 Deg 00.5678E"}, {ids::kInfoFix, "3D fix"},
                          {ids::kInfoUsed, "12"}, {ids::kInfoTtff, "Stop 999s"}})
    ui.setText(w, id, text);
  for (int c = 0; c < 16; ++c) ui.setText(w, ids::kInfoChannelLabels[c], std::to_string(80 + c % 20));
}

QRect textArea(QWidget* w) {
  auto* button = qobject_cast<QAbstractButton*>(w);
  if (!button) return w->contentsRect();
  QStyleOptionButton o;
  o.initFrom(w);
  const auto e = qobject_cast<QPushButton*>(w)  ? QStyle::SE_PushButtonContents
                 : qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                                               : QStyle::SE_RadioButtonContents;
  return w->style()->subElementRect(e, &o, w);
}

// Names of the controls of a view whose text overruns; the font's size.
std::string overruns(TemplateView* view) {
  std::string bad;
  for (const res::ControlTemplate& c : view->dialogTemplate().controls) {
    QWidget* w = view->controlWidget(c.id);
    if (!w && c.id == ids::kStatic) continue;  // static texts: found by text below
    if (!w || !w->isVisibleTo(view)) continue;
    const QFontMetrics m(w->font());
    QString text;
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    if (text.isEmpty()) continue;
    int room = textArea(w).width();
    for (int k = 0; k < 16; ++k)
      if (c.id == ids::kInfoChannelLabels[k]) room = view->controlWidget(ids::kInfoChannelBars[k])->width();
    if (m.horizontalAdvance(text) > room || m.height() > textArea(w).height())
      bad += " " + std::to_string(c.id) + " \"" + text.toStdString() + "\"";
  }
  for (QWidget* w : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QFontMetrics m(w->font());
    if (auto* l = qobject_cast<QLabel*>(w); l && w->objectName().isEmpty() && !l->text().isEmpty() &&
                                            m.horizontalAdvance(l->text()) > l->contentsRect().width())
      bad += " static \"" + l->text().toStdString() + "\"";
    if (auto* g = qobject_cast<QGroupBox*>(w); g && m.horizontalAdvance(g->title()) > g->width())
      bad += " group \"" + g->title().toStdString() + "\"";
  }
  return bad;
}

class TextFit : public ::testing::TestWithParam<Layout> {};

TEST_P(TextFit, EveryTextFitsItsControlAtTheFirstSizeAndScaled) {
  const Layout layout = GetParam();
  ShownSheet shown(layout);
  GuiRig& rig = shown.rig;
  QtSheet& sheet = shown.sheet;
  const QSize first = sheet.size();
  for (double factor : {1.0, 1.6, 0.8}) {
    sheet.resize(first * factor);
    for (int page = 0; page < 3; ++page) {
      sheet.tabs()->setCurrentIndex(page);
      TemplateView* view = sheet.page(page)->view();
      if (page == 1) fillInfo(rig.ui);
      ASSERT_TRUE(pumpUntil([&] {
        auto* lon = qobject_cast<QLabel*>(view->controlWidget(ids::kInfoLongitude));
        return view->isVisible() && (!lon || !lon->text().isEmpty());
      }));
      for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
      const std::string where = layoutName(layout) + " " + std::to_string(view->dialogTemplate().id) + " at " +
                                std::to_string(sheet.width()) + "x" + std::to_string(sheet.height());
      EXPECT_EQ(overruns(view), "") << where;
      std::printf("%s: font %d px, scale %.2f\n", where.c_str(), view->font().pixelSize(), view->scale());
      if (page == 1) screenshot(&sheet, "fit-" + layoutName(layout) + "-info-x" + std::to_string(int(factor * 10)));
    }
  }
  // The dialogs, the same in every layout, at their first size and doubled.
  if (layout != Layout::Generic) return;
  for (const res::DialogTemplate& t : res::allTemplates()) {
    if (t.isPage || t.layout != Layout::Generic) continue;
    rig.ui.openWindow(t.window, res::initialControls(t));
    ModelBridge& bridge = sheet.bridge();
    TemplateView view(bridge, t);
    for (double scale : {1.0, 2.0}) {
      view.resize(view.scaledSize(scale));
      view.show();
      for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
      EXPECT_EQ(overruns(&view), "") << "dialog " << t.id << " scale " << scale;
    }
    rig.ui.closeWindow(t.window);
  }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, TextFit,
                         ::testing::Values(Layout::Generic, Layout::PocketPortrait, Layout::PocketLandscape),
                         [](const auto& info) { return layoutName(info.param); });

}  // namespace
}  // namespace ferrolan::qt::test
