#pragma once
// A window built from a dialog template and bound to its UI model window:
// one widget per control, laid out in dialog units scaled to the view, kept
// in step with the model and writing the user's input back to it.

#include <QAbstractListModel>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shell/qt/qt_model_bridge.h"
#include "shell/resources.h"

class QButtonGroup;
class QListView;

namespace ferrolan::qt {

// A control that paints its UI model display list, scaled from the
// control's nominal pixel size to the widget's size.
class SurfaceWidget : public QWidget {
  Q_OBJECT
 public:
  SurfaceWidget(QSize nominal, bool framed, QWidget* parent = nullptr);
  void setOps(std::vector<DrawOp> ops);
  const std::vector<DrawOp>& ops() const { return ops_; }
  QSize nominalSize() const { return nominal_; }
  QSize sizeHint() const override { return nominal_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QSize nominal_;
  bool framed_;
  std::vector<DrawOp> ops_;
};

// The list box's lines, shared with the model's copy rather than rebuilt
// as widget items, so a flood of lines stays cheap.
class LinesModel : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  void setLines(const std::deque<std::string>& lines);

 private:
  std::deque<std::string> lines_;
};

class TemplateView : public QWidget, public ModelView {
  Q_OBJECT
 public:
  using CommandFn = std::function<void(int command)>;
  TemplateView(ModelBridge& bridge, const res::DialogTemplate& tpl, QWidget* parent = nullptr);
  ~TemplateView() override;

  const res::DialogTemplate& dialogTemplate() const { return tpl_; }
  WindowId window() const { return tpl_.window; }
  void setCommandHandler(CommandFn fn) { onCommand_ = std::move(fn); }
  // Told of menu changes of the window (all: every item).
  using MenuFn = std::function<void(bool all, const std::set<int>& commands)>;
  void setMenuHandler(MenuFn fn) { onMenu_ = std::move(fn); }
  // The widget of a control id (0: the page's own surface), or nullptr.
  QWidget* controlWidget(int id) const;
  double scale() const { return scale_; }
  QSize nominalSize() const;
  QSize scaledSize(double scale) const;
  QSize sizeHint() const override;

  void refresh(bool all, const std::set<int>& controls, const std::set<int>& menu) override;

 protected:
  void resizeEvent(QResizeEvent*) override;

 private:
  void build();
  void layoutControls();
  // The font's pixel size whose metrics match the scaled dialog units.
  int unitFontPixels() const;
  // Sets the font to that size, or smaller until every text fits.
  void fitFont();
  bool textsFit(const QFont& f) const;
  // The width of the bar above a channel label, or -1 for other controls.
  int channelLabelBar(int id) const;
  void apply(int id);
  void command(int id);

  ModelBridge& bridge_;
  const res::DialogTemplate& tpl_;
  CommandFn onCommand_;
  MenuFn onMenu_;
  std::map<int, QWidget*> byId_;
  std::vector<std::pair<const res::ControlTemplate*, QWidget*>> placed_;
  SurfaceWidget* surface_ = nullptr;  // pages: the window's own surface
  std::map<int, LinesModel*> lists_;
  QButtonGroup* radios_ = nullptr;
  double scale_ = 1.0;
  int unitPixels_ = 4;
};

}  // namespace ferrolan::qt
