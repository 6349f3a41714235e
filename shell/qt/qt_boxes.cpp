#include "shell/qt/qt_boxes.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "shell/sheet_session.h"

namespace ferrolan::qt {

QStringList nameFilters(const std::string& filter) {
  // Pairs of display text and pattern, separated by "|", ended by "||".
  QStringList parts = QString::fromStdString(filter).split('|');
  while (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& display = parts[i];
    QString pattern = parts[i + 1];
    pattern.replace(';', ' ');  // several patterns: "*.bin;*.img"
    if (pattern.isEmpty()) continue;
    // Qt reads the patterns from the parentheses; add them when the text has none.
    out << (display.contains('(' + pattern + ')') ? display : display + " (" + pattern + ")");
  }
  return out;
}

int showMessageBox(QWidget* owner, const MessageBoxRequest& r) {
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromStdString(r.caption));
  box.setText(QString::fromStdString(r.text));
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);  // modal like the platform's boxes
  switch (r.type & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  // The button sets of the platform's type codes, each with its answers.
  struct Choice {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Choice> choices;
  switch (r.type & 0x0F) {
    case 1: choices = {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}}; break;
    case 2: choices = {{QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}}; break;
    case 3: choices = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}}; break;
    case 4: choices = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}}; break;
    case 5: choices = {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}}; break;
    default: choices = {{QMessageBox::Ok, kIdOk}}; break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& c : choices) buttons |= c.button;
  box.setStandardButtons(buttons);
  box.setDefaultButton(choices.front().button);
  const int clicked = box.exec();
  for (const Choice& c : choices)
    if (clicked == c.button) return c.answer;
  return closedBoxAnswer(r.type);
}

std::optional<std::string> showOpenFileDialog(const std::string& title, const std::string& filter) {
  QFileDialog dialog(nullptr, QString::fromStdString(title));
  dialog.setObjectName("openFileDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog, the same on every desktop and drivable in tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  const QStringList filters = nameFilters(filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace ferrolan::qt
