#pragma once
// Shared pieces of the GUI tests: a context for the sheet, event pumping
// with a guard, screenshots and pixel helpers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/context.h"
#include "tests/support/scripted_port.h"
#include "shell/qt/qt_sheet.h"
#include "shell/resources.h"

namespace ferrolan::qt::test {

// Pumps the event loop until pred holds; false if it never did. The
// guard only keeps a broken build from hanging; nothing is timed.
inline bool pumpUntil(const std::function<bool()>& pred, int guardSeconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline std::string layoutName(Layout l) {
  switch (l) {
    case Layout::Generic: return "generic";
    case Layout::PocketPortrait: return "portrait";
    case Layout::PocketLandscape: return "landscape";
  }
  return "unknown";
}

// Saves the widget as a PNG under the screenshot folder and prints the path.
inline std::string screenshot(QWidget* w, const std::string& name) {
  // Item views lay out on the next pass of the event loop.
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  QDir().mkpath(FERROLAN_SCREENSHOT_DIR);
  const std::string path = std::string(FERROLAN_SCREENSHOT_DIR) + "/" + name + ".png";
  const bool saved = w->grab().save(QString::fromStdString(path));
  EXPECT_TRUE(saved) << path;
  std::printf("screenshot: %s\n", path.c_str());
  return path;
}

inline QImage image(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline bool near(QRgb a, QColor b, int tolerance = 8) {
  return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
         std::abs(qBlue(a) - b.blue()) <= tolerance;
}

inline SheetDescription sheetFor(Layout layout, int pageCount) {
  SheetDescription s;
  s.caption = "Auto Update FW";
  s.pageCount = pageCount;
  s.layout = layout;
  for (size_t i = 0; i < s.pages.size(); ++i) s.templates[i] = res::templateFor(s.pages[i], layout)->id;
  return s;
}

// A context whose ports are scripted and whose clock is virtual; the GUI
// tests need neither, but the sheet renders the context's UI model.
struct GuiRig {
  VirtualClock clock{1000};
  ScriptedPortOpener opener;
  UiModel ui;
  Context ctx{clock, opener, ui, "", ""};
};

// The layout's three-page sheet, shown and started, with no page procedures.
struct ShownSheet {
  GuiRig rig;
  PageProcedures procs;
  QtSheet sheet;
  explicit ShownSheet(Layout layout) : sheet(rig.ctx, sheetFor(layout, 3), procs) {
    sheet.show();
    sheet.start();
  }
};

// Calls fn on the GUI thread as soon as a modal widget is up (a message
// box or dialog); fn gets that widget.
// Runs fn on the next modal window to come up; with T, on the next one of
// that kind (a file dialog over a dialog).
template <typename T = QWidget, typename F>
void whenModal(F fn) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start(5);
}

// Chooses a file in Qt's file dialog and presses Open. selectFile leaves a
// focused name box alone and selects nothing while the folder is still
// being read: the name is typed as a user would.
inline void chooseFile(QFileDialog* dialog, const QString& path) {
  dialog->selectFile(path);
  if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
  QMetaObject::invokeMethod(dialog, "accept");
}

}  // namespace ferrolan::qt::test
