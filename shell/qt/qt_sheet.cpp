#include "shell/qt/qt_sheet.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QThread>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ferrolan::qt {

namespace {

bool paintsGrey(WindowId w) { return w == WindowId::TextPage || w == WindowId::InfoPage; }
bool hasMenu(WindowId w) { return w == WindowId::InfoPage || w == WindowId::SkyPage; }

}  // namespace

// ---- PageWidget ----------------------------------------------------------------

PageWidget::PageWidget(ModelBridge& bridge, const res::DialogTemplate& tpl, QWidget* parent)
    : QWidget(parent), bridge_(bridge) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (hasMenu(tpl.window)) {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName("commandBar");
    menuBar_->setNativeMenuBar(false);  // it belongs to the page, not the desktop
    for (const res::Menu& m : res::commandBarMenu()) {
      QMenu* menu = menuBar_->addMenu(QString::fromUtf8(m.label.data(), static_cast<qsizetype>(m.label.size())));
      for (const res::MenuItem& item : m.items) {
        QAction* a = menu->addAction(QString::fromUtf8(item.label.data(), static_cast<qsizetype>(item.label.size())));
        a->setData(item.command);
        a->setCheckable(false);  // never a check mark
        actions_[item.command] = a;
      }
    }
    layout->addWidget(menuBar_);
  }
  view_ = new TemplateView(bridge, tpl, this);
  layout->addWidget(view_, 1);
  if (paintsGrey(tpl.window)) {
    view_->setAutoFillBackground(true);
    QPalette pal = view_->palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(kPageGrey));
    view_->setPalette(pal);
  }
  view_->setMenuHandler([this](bool all, const std::set<int>& commands) { refreshMenu(all, commands); });
  refreshMenu(true, {});
}

QAction* PageWidget::menuAction(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

std::vector<QAction*> PageWidget::menuActions() const {
  std::vector<QAction*> out;
  if (!menuBar_) return out;
  for (QAction* top : menuBar_->actions())
    if (top->menu())
      for (QAction* a : top->menu()->actions()) out.push_back(a);
  return out;
}

QSize PageWidget::sizeFor(double scale) const {
  QSize s = view_->scaledSize(scale);
  if (menuBar_) s.rheight() += menuBar_->sizeHint().height();
  return s;
}

void PageWidget::refreshMenu(bool all, const std::set<int>& commands) {
  const WindowId w = view_->window();
  for (auto& [command, action] : actions_)
    if (all || commands.count(command)) action->setEnabled(bridge_.ui().menuEnabled(w, command));
}

// ---- DialogWindow ----------------------------------------------------------------

DialogWindow::DialogWindow(ModelBridge& bridge, const res::DialogTemplate& tpl, DialogProcedures procedures,
                           double scale, QWidget* parent)
    : QDialog(parent), procedures_(std::move(procedures)) {
  setObjectName(QString("dialog%1").arg(tpl.id));
  setWindowTitle(QString::fromUtf8(tpl.caption.data(), static_cast<qsizetype>(tpl.caption.size())));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new TemplateView(bridge, tpl, this);
  view_->setCommandHandler([this](int id) { command(id); });
  layout->addWidget(view_);
  resize(view_->scaledSize(scale));
}

void DialogWindow::command(int id) {
  if (procedures_.command) {
    procedures_.command(view_->window(), id);
  } else if (id == ids::kOk || id == ids::kCancel) {
    end(id);
  }
}

void DialogWindow::end(int result) {
  if (ended_) return;
  ended_ = true;
  done(result);
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    // Enter presses the default button, or gives OK when there is none.
    for (const res::ControlTemplate& c : view_->dialogTemplate().controls) {
      if (c.kind != res::ControlKind::DefaultButton) continue;
      QWidget* b = view_->controlWidget(c.id);
      if (b && b->isEnabled() && b->isVisible()) command(c.id);
      return;
    }
    command(ids::kOk);
    return;
  }
  QDialog::keyPressEvent(e);  // Escape comes back as reject()
}

void DialogWindow::reject() {
  if (ended_) {
    QDialog::reject();
    return;
  }
  command(ids::kCancel);
}

void DialogWindow::closeEvent(QCloseEvent* e) {
  if (!ended_) command(ids::kCancel);
  if (ended_)
    e->accept();
  else
    e->ignore();  // the procedure kept the dialog open
}

// ---- QtSheet ------------------------------------------------------------------------

QtSheet::QtSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, double scale)
    : ctx_(ctx), sheet_(sheet), procedures_(procedures), bridge_(ctx.ui) {
  scale_ = scale > 0 ? scale : (sheet.layout == Layout::Generic ? 1.5 : 1.0);
  setObjectName("sheet");
  setWindowTitle(QString::fromStdString(sheet_.caption));
  host_.setOwnerLookup([this](WindowId w) { return ownerOf(w); });
  ctx_.ui.setHost(&host_);
  // The shutdown's quit message; from another thread it is queued here.
  ctx_.app.postQuit = [this](int code) {
    if (QThread::currentThread() == thread())
      endSheet(code);
    else
      QMetaObject::invokeMethod(this, [this, code] { endSheet(code); }, Qt::QueuedConnection);
  };

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("pages");
  layout->addWidget(tabs_, 1);

  const int count = std::clamp(sheet_.pageCount, 0, static_cast<int>(sheet_.pages.size()));
  QSize pageSize;
  for (int i = 0; i < count; ++i) {
    const WindowId w = sheet_.pages[static_cast<size_t>(i)];
    const res::DialogTemplate* tpl = res::findTemplate(sheet_.templates[static_cast<size_t>(i)]);
    if (!tpl || tpl->window != w) tpl = res::templateFor(w, sheet_.layout);
    if (!tpl) continue;
    auto* widget = new PageWidget(bridge_, *tpl, tabs_);
    widget->setObjectName(QString("page%1").arg(tpl->id));
    widget->view()->setCommandHandler([this, w](int id) {
      if (procedures_.command) procedures_.command(w, id);
    });
    for (QAction* a : widget->menuActions()) {
      const int command = a->data().toInt();
      connect(a, &QAction::triggered, this, [this, w, command] {
        if (procedures_.command) procedures_.command(w, command);
      });
    }
    tabs_->addTab(widget, QString::fromUtf8(tpl->caption.data(), static_cast<qsizetype>(tpl->caption.size())));
    pages_.push_back({w, tpl, widget});
    pageSize = pageSize.expandedTo(widget->sizeFor(scale_));
  }

  // A property sheet without an Apply button: OK and Cancel both close it.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("sheetButtons");
  connect(buttons, &QDialogButtonBox::accepted, this, &QWidget::close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
  layout->addWidget(buttons);

  connect(tabs_, &QTabWidget::currentChanged, this, &QtSheet::onTabChanged);
  const QSize chrome(8 + 4, 8 + tabs_->tabBar()->sizeHint().height() + buttons->sizeHint().height() + 10);
  resize(pageSize + chrome);
}

QtSheet::~QtSheet() {
  host_.shutDown();
  ctx_.ui.setHost(nullptr);
  ctx_.app.postQuit = nullptr;
  // The pages detach from the bridge as they go, so they go before it does.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

PageWidget* QtSheet::page(int index) const {
  return index >= 0 && index < pageCount() ? pages_[static_cast<size_t>(index)].widget : nullptr;
}

PageWidget* QtSheet::page(WindowId window) const {
  for (const Slot& s : pages_)
    if (s.window == window) return s.widget;
  return nullptr;
}

DialogWindow* QtSheet::dialog(WindowId window) const {
  auto it = dialogs_.find(window);
  return it == dialogs_.end() ? nullptr : it->second;
}

QWidget* QtSheet::ownerOf(WindowId w) const {
  if (DialogWindow* d = dialog(w)) return d;
  if (page(w)) return const_cast<QtSheet*>(this);
  return nullptr;
}

void QtSheet::start() {
  if (started_) return;
  started_ = true;
  if (procedures_.started) procedures_.started(*this);
  if (!pages_.empty()) onTabChanged(tabs_->currentIndex());
}

void QtSheet::ensureCreated(int index) {
  Slot& s = pages_[static_cast<size_t>(index)];
  if (s.created) return;
  s.created = true;
  ctx_.ui.openWindow(s.window, res::initialControls(*s.tpl));
  bridge_.flush();
  if (procedures_.created) procedures_.created(s.window);
}

void QtSheet::onTabChanged(int index) {
  if (!started_ || finished_ || index < 0 || index >= pageCount()) return;
  if (active_ >= 0 && active_ != index && procedures_.activated)
    procedures_.activated(pages_[static_cast<size_t>(active_)].window, false);
  ensureCreated(index);
  active_ = index;
  if (procedures_.activated) procedures_.activated(pages_[static_cast<size_t>(index)].window, true);
}

int QtSheet::runDialog(WindowId dialogId, DialogProcedures procedures) {
  const res::DialogTemplate* tpl = res::templateFor(dialogId, sheet_.layout);
  if (!tpl || tpl->isPage || dialogs_.count(dialogId) || finished_) return 0;
  ctx_.ui.openWindow(dialogId, res::initialControls(*tpl));
  bridge_.flush();
  auto initialized = procedures.initialized;
  auto* d = new DialogWindow(bridge_, *tpl, std::move(procedures), scale_, this);
  d->setWindowModality(Qt::ApplicationModal);
  dialogs_[dialogId] = d;
  if (initialized) initialized(dialogId);
  int result = 0;
  if (!d->ended()) {
    bridge_.flush();
    result = d->exec();
  } else {
    result = d->result();
  }
  dialogs_.erase(dialogId);
  ctx_.ui.closeWindow(dialogId);
  d->deleteLater();
  return result;
}

void QtSheet::endDialog(WindowId dialogId, int result) {
  if (DialogWindow* d = dialog(dialogId)) d->end(result);
}

void QtSheet::endSheet(int exitCode) {
  exitCode_ = exitCode;
  close();
}

void QtSheet::closeEvent(QCloseEvent* e) {
  finish();
  e->accept();
}

void QtSheet::finish() {
  if (finished_) return;
  finished_ = true;
  // Commands stop now: a row whose dialog ends here goes no further.
  ctx_.app.sheetClosing = 1;
  // Workers waiting for a box are let go before the shutdown joins them.
  host_.shutDown();
  for (auto& [w, d] : std::map<WindowId, DialogWindow*>(dialogs_)) d->end(0);
  for (const Slot& s : pages_)
    if (s.created && procedures_.closed) procedures_.closed(s.window);
  for (const Slot& s : pages_)
    if (s.created) ctx_.ui.closeWindow(s.window);
  emit sheetFinished(exitCode_);
}

bool applyApplicationFont() {
  QFont font("DejaVu Sans");
  font.setStyleHint(QFont::SansSerif);
  QApplication::setFont(font);
  const QFontInfo info(QApplication::font());
  return info.family().startsWith("DejaVu") && QFontDatabase::hasFamily(info.family());
}

int runQtSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, int argc, char** argv) {
  std::unique_ptr<QApplication> own;
  if (!QApplication::instance()) own = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  applyApplicationFont();
  // The installed theme icon first, so that a desktop's own theme can replace
  // it; the program's copy (linked into ferrolan) when run from the build.
  QApplication::setWindowIcon(QIcon::fromTheme("ferrolan", QIcon(":/icons/ferrolan.svg")));
  int exitCode = 0;
  {
    QtSheet window(ctx, sheet, procedures);
    QObject::connect(&window, &QtSheet::sheetFinished, qApp, [&exitCode](int code) {
      exitCode = code;
      QCoreApplication::exit(code);
    });
    window.show();
    window.start();
    if (!window.finished()) QApplication::exec();
  }
  return exitCode;
}

}  // namespace ferrolan::qt
