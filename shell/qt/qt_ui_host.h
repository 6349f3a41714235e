#pragma once
// Message boxes and the file-open dialog for the UI model. A call from a
// worker thread is run modally on the GUI thread while the worker waits for
// the answer; once the sheet closes, waiting and later callers are answered
// at once, so a shutdown that joins a worker never waits on a dialog.

#include <QObject>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "ui/ui_model.h"

class QWidget;

namespace ferrolan::qt {

// "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||" as Qt name filters.
QStringList nameFilters(const std::string& filter);

// Message box answers as the platform numbers them.
inline constexpr int kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7;

class QtUiHost : public QObject, public UiHost {
  Q_OBJECT
 public:
  explicit QtUiHost(QObject* parent = nullptr);
  // The widget that owns a window's boxes, when it is shown.
  void setOwnerLookup(std::function<QWidget*(WindowId)> lookup) { owner_ = std::move(lookup); }
  // From now on every request is answered without asking: OK, no file.
  void shutDown();

  int messageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> openFile(const std::string& title, const std::string& filter) override;

 private:
  // Runs fn on the GUI thread and waits for it, unless shut down first.
  bool runOnGui(const std::function<void()>& fn);
  int showBox(const MessageBoxRequest& request);
  std::optional<std::string> showFileDialog(const std::string& title, const std::string& filter);

  std::function<QWidget*(WindowId)> owner_;
  std::mutex m_;
  std::condition_variable cv_;
  bool shutDown_ = false;
};

}  // namespace ferrolan::qt
