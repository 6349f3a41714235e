#pragma once
// Message boxes and the file-open dialog in Qt, run modally on the GUI
// thread; the sheet session brings workers' requests there.

#include <QStringList>

#include <optional>
#include <string>

#include "ui/ui_model.h"

class QWidget;

namespace ferrolan::qt {

// "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||" as Qt name filters.
QStringList nameFilters(const std::string& filter);

// Message box answers as the platform numbers them.
inline constexpr int kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7;

// The box over owner (or the application), with the platform's buttons
// for its type; the answer.
int showMessageBox(QWidget* owner, const MessageBoxRequest& request);
// Qt's own file dialog; the chosen path, or nothing when cancelled.
std::optional<std::string> showOpenFileDialog(const std::string& title, const std::string& filter);

}  // namespace ferrolan::qt
