#pragma once
// The property sheet in Qt6 Widgets: one tab per page, each page built
// from its template for the sheet's layout and created when first shown,
// the command-bar menu on the Info and Sky pages, and modal dialogs built
// from their templates.

#include <QDialog>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/context.h"
#include "shell/front_end.h"
#include "shell/qt/qt_model_bridge.h"
#include "shell/qt/qt_template_view.h"
#include "shell/sheet_session.h"

class QAction;
class QMenuBar;
class QTabWidget;

namespace ferrolan::qt {

// The light grey that the Text and Info pages paint their background with.
inline constexpr QRgb kPageGrey = 0xFFC0C0C0;

class PageWidget : public QWidget {
  Q_OBJECT
 public:
  PageWidget(ModelBridge& bridge, const res::DialogTemplate& tpl, QWidget* parent = nullptr);
  TemplateView* view() const { return view_; }
  QMenuBar* menuBar() const { return menuBar_; }
  QAction* menuAction(int command) const;
  std::vector<QAction*> menuActions() const;
  QSize sizeFor(double scale) const;

 private:
  void refreshMenu(bool all, const std::set<int>& commands);

  ModelBridge& bridge_;
  TemplateView* view_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  std::map<int, QAction*> actions_;
};

class DialogWindow : public QDialog {
  Q_OBJECT
 public:
  // command: what the dialog's buttons, Enter, Escape and the close box give.
  DialogWindow(ModelBridge& bridge, const res::DialogTemplate& tpl, std::function<void(int)> command,
               std::function<std::optional<int>()> enter, double scale, QWidget* parent = nullptr);
  TemplateView* view() const { return view_; }
  void end(int result);
  bool ended() const { return ended_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  TemplateView* view_ = nullptr;
  std::function<void(int)> command_;
  std::function<std::optional<int>()> enter_;
  bool ended_ = false;
};

class QtSheet : public QWidget, public SheetFrontEnd {
  Q_OBJECT
 public:
  // scale: widget pixels per nominal pixel; 0 picks one for the layout.
  QtSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, double scale = 0);
  ~QtSheet() override;

  // Tells the procedures the host and creates the first page.
  void start();

  // The host's dialogs, as the logic runs them.
  int runDialog(WindowId dialog, DialogProcedures procedures) { return session_.runDialog(dialog, std::move(procedures)); }
  void endDialog(WindowId dialog, int result) { session_.endDialog(dialog, result); }

  QTabWidget* tabs() const { return tabs_; }
  int pageCount() const { return static_cast<int>(pages_.size()); }
  PageWidget* page(int index) const;
  PageWidget* page(WindowId window) const;
  // The dialog that runs now for that window, or nullptr.
  DialogWindow* dialog(WindowId window) const;
  ModelBridge& bridge() { return bridge_; }
  SheetSession& session() { return session_; }
  double scale() const { return scale_; }
  bool finished() const { return finished_; }
  int exitCode() const { return session_.exitCode(); }

  void pageOpened(const SheetPage& page) override;
  void dialogOpened(SheetDialog& dialog) override;
  void runDialog(SheetDialog& dialog) override;
  void dialogEnded(SheetDialog& dialog) override;
  void dialogClosed(SheetDialog& dialog) override;
  int showBox(const MessageBoxRequest& request) override;
  std::optional<std::string> showFile(const std::string& title, const std::string& filter) override;
  void requestWaiting(const SheetRequest&) override;
  void sheetEnding() override;

 signals:
  // The sheet has closed and run its pages' shutdown: end with this code.
  void sheetFinished(int exitCode);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void onTabChanged(int index);
  void finish();
  QWidget* ownerOf(WindowId w) const;

  Context& ctx_;
  ModelBridge bridge_;
  SheetSession session_;
  QTabWidget* tabs_ = nullptr;
  std::vector<std::pair<WindowId, PageWidget*>> pages_;  // in the session's order
  std::map<WindowId, DialogWindow*> dialogs_;
  double scale_ = 1.0;
  bool started_ = false;
  bool finished_ = false;
};

// Sets the application font and answers whether it resolved to an
// installed face (without fonts, text draws as empty boxes).
bool applyApplicationFont();

// The front end's entry point: builds the sheet, runs it and answers the
// exit code the sheet ended with.
int runQtSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, int argc, char** argv);

}  // namespace ferrolan::qt
