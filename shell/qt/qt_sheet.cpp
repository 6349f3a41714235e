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

#include "shell/qt/qt_boxes.h"

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

DialogWindow::DialogWindow(ModelBridge& bridge, const res::DialogTemplate& tpl, std::function<void(int)> command,
                           std::function<std::optional<int>()> enter, double scale, QWidget* parent)
    : QDialog(parent), command_(std::move(command)), enter_(std::move(enter)) {
  setObjectName(QString("dialog%1").arg(tpl.id));
  setWindowTitle(QString::fromUtf8(tpl.caption.data(), static_cast<qsizetype>(tpl.caption.size())));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new TemplateView(bridge, tpl, this);
  view_->setCommandHandler([this](int id) { command_(id); });
  layout->addWidget(view_);
  resize(view_->scaledSize(scale));
}

void DialogWindow::end(int result) {
  if (ended_) return;
  ended_ = true;
  done(result);
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    if (auto id = enter_()) command_(*id);
    return;
  }
  QDialog::keyPressEvent(e);  // Escape comes back as reject()
}

void DialogWindow::reject() {
  if (ended_) {
    QDialog::reject();
    return;
  }
  command_(ids::kCancel);
}

void DialogWindow::closeEvent(QCloseEvent* e) {
  if (!ended_) command_(ids::kCancel);
  if (ended_)
    e->accept();
  else
    e->ignore();  // the procedure kept the dialog open
}

// ---- QtSheet ------------------------------------------------------------------------

QtSheet::QtSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, double scale)
    : ctx_(ctx), bridge_(ctx.ui), session_(ctx, sheet, procedures, *this) {
  scale_ = scale > 0 ? scale : (sheet.layout == Layout::Generic ? 1.5 : 1.0);
  setObjectName("sheet");
  setWindowTitle(QString::fromStdString(sheet.caption));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("pages");
  layout->addWidget(tabs_, 1);

  QSize pageSize;
  for (const SheetPage& p : session_.pages()) {
    const WindowId w = p.window;
    auto* widget = new PageWidget(bridge_, *p.tpl, tabs_);
    widget->setObjectName(QString("page%1").arg(p.tpl->id));
    widget->view()->setCommandHandler([this, w](int id) { session_.command(w, id); });
    for (QAction* a : widget->menuActions()) {
      const int command = a->data().toInt();
      connect(a, &QAction::triggered, this, [this, w, command] { session_.command(w, command); });
    }
    tabs_->addTab(widget, QString::fromUtf8(p.tpl->caption.data(), static_cast<qsizetype>(p.tpl->caption.size())));
    pages_.emplace_back(w, widget);
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
  // The pages detach from the bridge as they go, so they go before it does.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

PageWidget* QtSheet::page(int index) const {
  return index >= 0 && index < pageCount() ? pages_[static_cast<size_t>(index)].second : nullptr;
}

PageWidget* QtSheet::page(WindowId window) const {
  for (const auto& [w, widget] : pages_)
    if (w == window) return widget;
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
  session_.start();
}

void QtSheet::onTabChanged(int index) {
  if (!started_ || finished_ || index < 0) return;
  session_.showPage(static_cast<size_t>(index));
}

void QtSheet::pageOpened(const SheetPage&) { bridge_.flush(); }

void QtSheet::dialogOpened(SheetDialog& d) {
  bridge_.flush();
  const WindowId w = d.window;
  auto* window = new DialogWindow(
      bridge_, *d.tpl, [this, w](int id) { session_.command(w, id); }, [this, w] { return session_.enterCommand(w); },
      scale_, this);
  window->setWindowModality(Qt::ApplicationModal);
  dialogs_[w] = window;
}

void QtSheet::runDialog(SheetDialog& d) {
  bridge_.flush();
  if (DialogWindow* window = dialog(d.window)) window->exec();
}

void QtSheet::dialogEnded(SheetDialog& d) {
  if (DialogWindow* window = dialog(d.window)) window->end(d.result);
}

void QtSheet::dialogClosed(SheetDialog& d) {
  if (DialogWindow* window = dialog(d.window)) window->deleteLater();
  dialogs_.erase(d.window);
}

int QtSheet::showBox(const MessageBoxRequest& request) {
  return showMessageBox(request.owner ? ownerOf(*request.owner) : nullptr, request);
}

std::optional<std::string> QtSheet::showFile(const std::string& title, const std::string& filter) {
  return showOpenFileDialog(title, filter);
}

void QtSheet::requestWaiting(const SheetRequest&) {
  QMetaObject::invokeMethod(this, [this] { session_.serveRequests(); }, Qt::QueuedConnection);
}

void QtSheet::sheetEnding() {
  // The shutdown's quit message; from another thread it is queued here.
  if (QThread::currentThread() == thread())
    close();
  else
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void QtSheet::closeEvent(QCloseEvent* e) {
  finish();
  e->accept();
}

void QtSheet::finish() {
  if (finished_) return;
  finished_ = true;
  // Commands stop now, workers waiting for a box are let go before the
  // shutdown joins them, and the pages run it.
  session_.closeSheet();
  emit sheetFinished(session_.exitCode());
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
