#include "shell/qt/qt_template_view.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

#include "shell/qt/qt_painter.h"

namespace ferrolan::qt {

using res::ControlKind;

// ---- SurfaceWidget -------------------------------------------------------------

SurfaceWidget::SurfaceWidget(QSize nominal, bool framed, QWidget* parent)
    : QWidget(parent), nominal_(nominal.expandedTo(QSize(1, 1))), framed_(framed) {}

void SurfaceWidget::setOps(std::vector<DrawOp> ops) {
  if (ops == ops_) return;
  ops_ = std::move(ops);
  update();
}

void SurfaceWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.save();
  // Draw in the list's own pixels, scaled to the widget: vector output
  // stays sharp at any size.
  p.scale(double(width()) / nominal_.width(), double(height()) / nominal_.height());
  paintDisplayList(p, ops_, font());
  p.restore();
  if (framed_) {
    p.setPen(QColor(0, 0, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

// ---- LinesModel ------------------------------------------------------------------

int LinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LinesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(lines_.size())) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(lines_[static_cast<size_t>(index.row())]);
  return {};
}

void LinesModel::setLines(const std::deque<std::string>& lines) {
  if (lines == lines_) return;
  beginResetModel();
  lines_ = lines;
  endResetModel();
}

namespace {

// A list box whose horizontal scroll range is its set extent, as the
// platform's list box scrolls: lines longer than the extent are cut.
class ExtentListView : public QListView {
 public:
  using QListView::QListView;
  void setExtent(int pixels) {
    if (pixels == extent_) return;
    extent_ = pixels;
    updateGeometries();
  }

 protected:
  void updateGeometries() override {
    QListView::updateGeometries();
    if (inUpdate_) return;  // a scroll bar that appears resizes the viewport
    inUpdate_ = true;
    horizontalScrollBar()->setRange(0, std::max(0, extent_ - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    inUpdate_ = false;
  }

 private:
  int extent_ = 0;
  bool inUpdate_ = false;
};

}  // namespace

// ---- TemplateView ------------------------------------------------------------------

TemplateView::TemplateView(ModelBridge& bridge, const res::DialogTemplate& tpl, QWidget* parent)
    : QWidget(parent), bridge_(bridge), tpl_(tpl) {
  build();
  bridge_.attach(tpl_.window, this);
  refresh(true, {}, {});
}

TemplateView::~TemplateView() { bridge_.detach(tpl_.window, this); }

QSize TemplateView::nominalSize() const {
  const res::PixelRect r = res::pixelRect(tpl_);
  return {r.w, r.h};
}

QSize TemplateView::scaledSize(double scale) const {
  const QSize n = nominalSize();
  return {static_cast<int>(std::lround(n.width() * scale)), static_cast<int>(std::lround(n.height() * scale))};
}

QSize TemplateView::sizeHint() const { return nominalSize(); }

QWidget* TemplateView::controlWidget(int id) const {
  if (id == 0) return surface_;
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

void TemplateView::command(int id) {
  if (onCommand_) onCommand_(id);
}

void TemplateView::build() {
  UiModel& ui = bridge_.ui();
  const WindowId w = tpl_.window;
  if (tpl_.isPage) {
    surface_ = new SurfaceWidget(nominalSize(), false, this);
    surface_->setObjectName("surface");
  }
  for (const res::ControlTemplate& c : tpl_.controls) {
    QWidget* widget = nullptr;
    const int id = c.id;
    const QString text = QString::fromUtf8(c.text.data(), static_cast<qsizetype>(c.text.size()));
    switch (c.kind) {
      case ControlKind::Label: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignTop | ((c.style & res::kCentered) ? Qt::AlignHCenter : Qt::AlignLeft));
        widget = label;
        break;
      }
      case ControlKind::Icon:
        widget = new QLabel(this);  // icon 103 is not in the resources
        break;
      case ControlKind::Frame: {
        const res::PixelRect r = res::pixelRect(c);
        widget = new SurfaceWidget(QSize(r.w, r.h), (c.style & res::kBorder) != 0, this);
        break;
      }
      case ControlKind::GroupBox: {
        auto* box = new QGroupBox(text, this);
        widget = box;
        break;
      }
      case ControlKind::Button:
      case ControlKind::DefaultButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        button->setDefault(c.kind == ControlKind::DefaultButton);
        connect(button, &QPushButton::clicked, this, [this, id] { command(id); });
        widget = button;
        break;
      }
      case ControlKind::CheckBox: {
        auto* box = new QCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id, w, &ui](bool on) {
          ui.setChecked(w, id, on);
          command(id);
        });
        widget = box;
        break;
      }
      case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(text, this);
        if (!radios_) radios_ = new QButtonGroup(this);
        radios_->addButton(radio, id);
        connect(radio, &QRadioButton::clicked, this, [this, id, w, &ui] {
          // An auto radio button checks itself and clears the others.
          for (QAbstractButton* b : radios_->buttons()) {
            const int other = radios_->id(b);
            if (other != id) ui.setChecked(w, other, false);
          }
          ui.setChecked(w, id, true);
          command(id);
        });
        widget = radio;
        break;
      }
      case ControlKind::ComboBox:
      case ControlKind::DropList: {
        auto* combo = new QComboBox(this);
        combo->setEditable(c.kind == ControlKind::ComboBox);
        combo->setInsertPolicy(QComboBox::NoInsert);
        if (combo->lineEdit()) {
          connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                  [w, id, &ui](const QString& t) { ui.typeText(w, id, t.toStdString()); });
        }
        connect(combo, &QComboBox::activated, this, [w, id, &ui, combo](int index) {
          ui.setSelection(w, id, index);
          ui.setText(w, id, combo->itemText(index).toStdString());
        });
        widget = combo;
        break;
      }
      case ControlKind::ListBox: {
        auto* view = new ExtentListView(this);
        auto* lines = new LinesModel(view);
        view->setModel(lines);
        view->setUniformItemSizes(true);
        view->setTextElideMode(Qt::ElideNone);
        view->setWordWrap(false);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setHorizontalScrollBarPolicy((c.style & res::kHScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy((c.style & res::kVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [w, id, &ui](const QModelIndex& current) { ui.setSelection(w, id, current.row()); });
        lists_[id] = lines;
        widget = view;
        break;
      }
      case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, this);
        connect(edit, &QLineEdit::textEdited, this, [w, id, &ui](const QString& t) { ui.setText(w, id, t.toStdString()); });
        widget = edit;
        break;
      }
      case ControlKind::Progress: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        widget = bar;
        break;
      }
    }
    if (c.kind == ControlKind::GroupBox) widget->lower();  // behind the controls it frames
    if (id != ids::kStatic) {
      widget->setObjectName(QString::number(id));
      byId_[id] = widget;
    }
    placed_.emplace_back(&c, widget);
  }
  if (surface_) surface_->lower();
  layoutControls();
}

void TemplateView::resizeEvent(QResizeEvent*) { layoutControls(); }

namespace {

// Where a control's text goes: a label's contents, a button's label area.
QRect textRoom(const QWidget* widget) {
  const QStyle::SubElement contents = qobject_cast<const QCheckBox*>(widget)      ? QStyle::SE_CheckBoxContents
                                      : qobject_cast<const QRadioButton*>(widget) ? QStyle::SE_RadioButtonContents
                                      : qobject_cast<const QPushButton*>(widget)  ? QStyle::SE_PushButtonContents
                                                                                  : QStyle::SE_CustomBase;
  if (contents == QStyle::SE_CustomBase) return qobject_cast<const QLabel*>(widget) ? widget->contentsRect() : QRect();
  QStyleOptionButton option;
  option.initFrom(widget);
  return widget->style()->subElementRect(contents, &option, widget);
}

QString shownText(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
  return {};
}

}  // namespace

int TemplateView::channelLabelBar(int id) const {
  for (size_t c = 0; c < std::size(ids::kInfoChannelLabels); ++c)
    if (ids::kInfoChannelLabels[c] == id) {
      const QWidget* bar = controlWidget(ids::kInfoChannelBars[c]);
      return bar ? bar->width() : -1;
    }
  return -1;
}

bool TemplateView::textsFit(const QFont& f) const {
  const QFontMetricsF m(f);
  // Channel numbers have two digits: the widest pair must fit under its bar.
  qreal widestPair = 0;
  for (char d = '0'; d <= '9'; ++d) widestPair = std::max(widestPair, m.horizontalAdvance(QString(2, QChar(d))));
  for (const auto& [c, widget] : placed_) {
    const QString text = shownText(widget);
    const int bar = channelLabelBar(c->id);
    if (bar >= 0) {
      if (std::max(widestPair, m.horizontalAdvance(text)) > bar) return false;
      continue;
    }
    if (text.isEmpty()) continue;
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) {
      // The title sits in the top edge, indented from both sides alike.
      if (m.horizontalAdvance(text) > box->width() - 2 * m.averageCharWidth()) return false;
      continue;
    }
    const QRect room = textRoom(widget);
    if (room.isValid() && (m.horizontalAdvance(text) > room.width() || m.height() > room.height())) return false;
  }
  return true;
}

int TemplateView::unitFontPixels() const {
  // One dialog unit is a quarter of the average character width and an
  // eighth of the line height: the largest size that keeps to both.
  const double unit = scale_ * res::kDuNumerator / res::kDuDenominator;
  QFont f = font();
  int pixels = 4;
  for (int p = pixels + 1; p < 400; ++p) {
    f.setPixelSize(p);
    const QFontMetricsF m(f);
    if (m.averageCharWidth() > 4 * unit || m.height() > 8 * unit) break;
    pixels = p;
  }
  return pixels;
}

void TemplateView::fitFont() {
  // Smaller than the units give while a text the view shows would overrun.
  QFont f = font();
  int pixels = unitPixels_;
  for (; pixels > 4; --pixels) {
    f.setPixelSize(pixels);
    if (textsFit(f)) break;
  }
  f.setPixelSize(pixels);
  if (f != font()) setFont(f);
}

void TemplateView::layoutControls() {
  const QSize n = nominalSize();
  scale_ = std::max(0.25, std::min(double(width()) / n.width(), double(height()) / n.height()));
  unitPixels_ = unitFontPixels();
  auto scaled = [this](int px) { return static_cast<int>(std::lround(px * scale_)); };
  if (surface_) surface_->setGeometry(0, 0, scaled(n.width()), scaled(n.height()));
  for (auto& [c, widget] : placed_) {
    res::PixelRect r = res::pixelRect(*c);
    // A drop-down's template height includes its open list.
    if (c->kind == ControlKind::ComboBox || c->kind == ControlKind::DropList) r.h = std::min(r.h, res::duToPixels(13));
    widget->setGeometry(scaled(r.x), scaled(r.y), scaled(r.w), scaled(r.h));
  }
  // The list box's extent is in nominal pixels too.
  for (auto& [id, lines] : lists_) apply(id);
  fitFont();
}

void TemplateView::refresh(bool all, const std::set<int>& controls, const std::set<int>& menu) {
  if (onMenu_ && (all || !menu.empty())) onMenu_(all, menu);
  if (all) {
    if (surface_) apply(0);
    for (auto& [id, _] : byId_) apply(id);
  } else {
    for (int id : controls) apply(id);
  }
  fitFont();
}

void TemplateView::apply(int id) {
  const std::optional<ControlState> state = bridge_.ui().control(tpl_.window, id);
  if (!state) return;
  if (id == 0) {
    if (surface_) surface_->setOps(state->surface);
    return;
  }
  QWidget* widget = controlWidget(id);
  const res::ControlTemplate* c = res::findControl(tpl_, id);
  if (!widget || !c) return;
  widget->setEnabled(state->enabled);
  widget->setHidden(!state->visible);
  const QString text = QString::fromStdString(state->text);
  switch (c->kind) {
    case ControlKind::Label:
      static_cast<QLabel*>(widget)->setText(text);
      break;
    case ControlKind::Icon:
      break;
    case ControlKind::Frame:
      static_cast<SurfaceWidget*>(widget)->setOps(state->surface);
      break;
    case ControlKind::GroupBox:
      static_cast<QGroupBox*>(widget)->setTitle(text);
      break;
    case ControlKind::Button:
    case ControlKind::DefaultButton:
      static_cast<QPushButton*>(widget)->setText(text);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      auto* button = static_cast<QAbstractButton*>(widget);
      button->setText(text);
      if (button->isChecked() != state->checked) {
        // An exclusive group refuses to clear its checked button.
        const bool exclusive = radios_ && radios_->exclusive();
        if (radios_ && c->kind == ControlKind::RadioButton) radios_->setExclusive(false);
        button->setChecked(state->checked);
        if (radios_ && c->kind == ControlKind::RadioButton) radios_->setExclusive(exclusive);
      }
      break;
    }
    case ControlKind::ComboBox:
    case ControlKind::DropList: {
      auto* combo = static_cast<QComboBox*>(widget);
      const QSignalBlocker block(combo);
      bool same = combo->count() == static_cast<int>(state->items.size());
      for (int i = 0; same && i < combo->count(); ++i)
        same = combo->itemText(i).toStdString() == state->items[static_cast<size_t>(i)];
      if (!same) {
        combo->clear();
        for (const std::string& item : state->items) combo->addItem(QString::fromStdString(item));
      }
      if (combo->currentIndex() != state->selection) combo->setCurrentIndex(state->selection);
      if (combo->isEditable() && combo->currentText() != text) combo->setEditText(text);
      break;
    }
    case ControlKind::ListBox: {
      auto* view = static_cast<ExtentListView*>(widget);
      LinesModel* lines = lists_[id];
      QScrollBar* vertical = view->verticalScrollBar();
      QScrollBar* horizontal = view->horizontalScrollBar();
      const int top = vertical->value(), left = horizontal->value();
      lines->setLines(state->items);
      view->setExtent(static_cast<int>(std::lround(state->horizontalExtent * scale_)));
      vertical->setValue(top);
      horizontal->setValue(left);
      const QModelIndex want = lines->index(state->selection, 0);
      if (view->currentIndex() != want) {
        const QSignalBlocker block(view->selectionModel());
        view->setCurrentIndex(want);
      }
      break;
    }
    case ControlKind::Edit: {
      auto* edit = static_cast<QLineEdit*>(widget);
      if (edit->text() != text) edit->setText(text);
      break;
    }
    case ControlKind::Progress:
      static_cast<QProgressBar*>(widget)->setValue(std::clamp(state->progress, 0, 100));
      break;
  }
}

}  // namespace ferrolan::qt
