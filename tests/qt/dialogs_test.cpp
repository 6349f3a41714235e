// Modal dialogs built from their templates and bound to the UI model, the
// file-open dialog and its filter.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTemporaryDir>

#include <atomic>

#include "link/settings_dialogs.h"
#include "shell/qt/qt_boxes.h"
#include "shell/small_dialogs.h"
#include "tests/qt/gui_support.h"

namespace ferrolan::qt::test {
namespace {

std::vector<std::string> list(std::span<const std::string_view> items) { return {items.begin(), items.end()}; }

// What each dialog's initialisation fills in: the program's own where it
// has one, as the logic of the other two will.
void fillLikeTheLogic(Context& ctx, SheetHost& host, WindowId w) {
  UiModel& ui = ctx.ui;
  switch (w) {
    case WindowId::ComPortSetup: comPortSetupProcedures(ctx, host).initialized(w); break;
    case WindowId::SingleChannel: singleChannelProcedures(ctx, host).initialized(w); break;
    case WindowId::FsaModify: fsaModifyProcedures(ctx, host).initialized(w); break;
    case WindowId::VbiLogSetting:
      vbiLogSettingProcedures(ui, ctx.log, [] { return uint64_t{2} << 20; }, host).initialized(w);
      break;
    case WindowId::UpdateFirmware:
      ui.setChecked(w, ids::kUpdFirmware, true);
      ui.setEnabled(w, ids::kUpdFlashKernel, false);
      ui.setEnabled(w, ids::kUpdFsa, true);
      ui.setEnabled(w, ids::kUpdFirmware, true);
      ui.setText(w, ids::kUpdStatus, "Ready");
      break;
    case WindowId::DriverInstall:
      ui.setItems(w, ids::kDrvPortBox, list(res::kPortList));
      ui.setItems(w, ids::kDrvBaudBox, list(res::kBaudList));
      ui.setSelection(w, ids::kDrvPortBox, 0);
      ui.setSelection(w, ids::kDrvBaudBox, 5);
      ui.setEnabled(w, ids::kDrvUninstall, false);
      break;
    default:
      break;
  }
}

struct DialogRun {
  std::vector<int> commands;
  int result = -100;
};

// Runs the dialog from the event loop, calls inside(dialog) once it is up
// and answers what the run saw. The procedure ends the dialog on 1 and 2.
DialogRun runWith(QtSheet& sheet, Context& ctx, WindowId w, const std::function<void(DialogWindow*)>& inside) {
  DialogRun run;
  bool done = false;
  QTimer::singleShot(0, [&] {
    DialogProcedures p;
    p.initialized = [&](WindowId id) { fillLikeTheLogic(ctx, sheet.session(), id); };
    p.command = [&](WindowId id, int c) {
      run.commands.push_back(c);
      if (c == ids::kOk || c == ids::kCancel) sheet.endDialog(id, c);
    };
    run.result = sheet.runDialog(w, std::move(p));
    done = true;
  });
  whenModal([&](QWidget*) {
    DialogWindow* d = sheet.dialog(w);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    sheet.bridge().flush();
    inside(d);
    if (!d->ended()) sheet.endDialog(w, 99);
  });
  EXPECT_TRUE(pumpUntil([&] { return done; }));
  return run;
}

class DialogLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(DialogLayouts, EveryDialogShowsItsTemplateWithCaptionAndControls) {
  const Layout layout = GetParam();
  ShownSheet shown(layout);
  GuiRig& rig = shown.rig;
  QtSheet& sheet = shown.sheet;
  const std::pair<WindowId, const char*> dialogs[] = {
      {WindowId::ComPortSetup, "com-port-setup-104"}, {WindowId::SingleChannel, "single-channel-116"},
      {WindowId::FsaModify, "fsa-modify-128"},        {WindowId::UpdateFirmware, "update-firmware-117"},
      {WindowId::DriverInstall, "driver-install-124"}, {WindowId::About, "about-102"},
      {WindowId::VbiLogSetting, "vbi-log-setting-123"}};
  for (auto [w, name] : dialogs) {
    const res::DialogTemplate& tpl = *res::templateFor(w, layout);
    DialogRun run = runWith(sheet, rig.ctx, w, [&](DialogWindow* d) {
      EXPECT_EQ(d->windowTitle().toStdString(), std::string(tpl.caption));
      EXPECT_TRUE(d->isModal());
      for (auto& [id, state] : res::initialControls(tpl)) {
        QWidget* c = d->view()->controlWidget(id);
        ASSERT_NE(c, nullptr) << tpl.id << " " << id;
        EXPECT_EQ(c->isEnabled(), rig.ui.enabled(w, id)) << tpl.id << " " << id;
      }
      screenshot(d, layoutName(layout) + "-" + name);
    });
    EXPECT_EQ(run.result, 99) << name;
    EXPECT_FALSE(rig.ui.isOpen(w)) << "the window outlives its dialog";
  }
  sheet.close();
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, DialogLayouts,
                         ::testing::Values(Layout::Generic, Layout::PocketPortrait, Layout::PocketLandscape),
                         [](const auto& info) { return layoutName(info.param); });

void key(QWidget* w, int k, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &press);
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    sheet = std::make_unique<QtSheet>(rig.ctx, sheetFor(Layout::Generic, 3), procs);
    sheet->show();
    sheet->start();
  }
  void TearDown() override { sheet->close(); }
  GuiRig rig;
  PageProcedures procs;
  std::unique_ptr<QtSheet> sheet;
};

TEST_F(Dialogs, UpdateFirmwareRadiosButtonsAndWorkerWrittenStatus) {
  const WindowId w = WindowId::UpdateFirmware;
  std::atomic<bool> written{false};
  DialogRun run = runWith(*sheet, rig.ctx, w, [&](DialogWindow* d) {
    auto* fsa = static_cast<QRadioButton*>(d->view()->controlWidget(ids::kUpdFsa));
    auto* firmware = static_cast<QRadioButton*>(d->view()->controlWidget(ids::kUpdFirmware));
    EXPECT_TRUE(firmware->isChecked());
    fsa->click();
    EXPECT_TRUE(rig.ui.checked(w, ids::kUpdFsa));
    EXPECT_FALSE(rig.ui.checked(w, ids::kUpdFirmware)) << "an auto radio button clears the others";
    // A disabled button gives no command; an enabled one does.
    static_cast<QAbstractButton*>(d->view()->controlWidget(ids::kUpdUpdate))->click();
    static_cast<QAbstractButton*>(d->view()->controlWidget(ids::kUpdLoadFile))->click();
    // The update thread writes the status and progress.
    std::thread worker([&] {
      rig.ui.setText(w, ids::kUpdStatus, "Update F/W     !");
      rig.ui.setProgress(w, ids::kUpdProgress, 40);
      rig.ui.setEnabled(w, ids::kUpdLoadFile, false);
      written = true;
    });
    worker.join();
    auto* status = static_cast<QLabel*>(d->view()->controlWidget(ids::kUpdStatus));
    auto* progress = static_cast<QProgressBar*>(d->view()->controlWidget(ids::kUpdProgress));
    EXPECT_TRUE(pumpUntil([&] { return progress->value() == 40; }));
    EXPECT_EQ(status->text(), "Update F/W     !");
    EXPECT_FALSE(d->view()->controlWidget(ids::kUpdLoadFile)->isEnabled());
    // Escape is Cancel, which this procedure ends the dialog with.
    key(d, Qt::Key_Escape);
  });
  EXPECT_EQ(run.commands, (std::vector<int>{ids::kUpdFsa, ids::kUpdLoadFile, ids::kCancel}));
  EXPECT_EQ(run.result, ids::kCancel);
}

TEST_F(Dialogs, EnterPressesTheDefaultButtonOrGivesOk) {
  DialogRun single = runWith(*sheet, rig.ctx, WindowId::SingleChannel, [&](DialogWindow* d) {
    auto* box = static_cast<QComboBox*>(d->view()->controlWidget(ids::kScIdBox));
    EXPECT_EQ(box->count(), 32);
    EXPECT_EQ(box->currentText(), "32");
    key(d, Qt::Key_Return);
  });
  EXPECT_EQ(single.commands, (std::vector<int>{ids::kScEnter}));

  DialogRun fsa = runWith(*sheet, rig.ctx, WindowId::FsaModify, [&](DialogWindow* d) {
    auto* check = static_cast<QCheckBox*>(d->view()->controlWidget(ids::kFsaChangeBaud));
    check->click();
    EXPECT_TRUE(rig.ui.checked(WindowId::FsaModify, ids::kFsaChangeBaud));
    EXPECT_EQ(static_cast<QComboBox*>(d->view()->controlWidget(ids::kFsaRmc))->currentText(), "1   Hz");
    key(d, Qt::Key_Return);
  });
  EXPECT_EQ(fsa.commands, (std::vector<int>{ids::kFsaChangeBaud, ids::kOk}));
  EXPECT_EQ(fsa.result, ids::kOk);

  DialogRun about = runWith(*sheet, rig.ctx, WindowId::About, [&](DialogWindow* d) { key(d, Qt::Key_Return); });
  EXPECT_EQ(about.commands, (std::vector<int>{ids::kOk}));
}

TEST_F(Dialogs, WhatTheUserPicksOrTypesInABoxReachesTheModel) {
  const WindowId w = WindowId::ComPortSetup;
  runWith(*sheet, rig.ctx, w, [&](DialogWindow* d) {
    auto* port = static_cast<QComboBox*>(d->view()->controlWidget(ids::kComPortBox));
    EXPECT_EQ(port->currentText(), "COM1:");
    EXPECT_EQ(static_cast<QLabel*>(d->view()->controlWidget(ids::kComStatus))->text(), "Not connected");
    emit port->activated(9);
    EXPECT_EQ(rig.ui.selection(w, ids::kComPortBox), 9);
    EXPECT_EQ(rig.ui.text(w, ids::kComPortBox), "COM0:");
    // Typing a name the list does not hold.
    port->lineEdit()->selectAll();
    key(port->lineEdit(), Qt::Key_Slash, "/");
    key(port->lineEdit(), Qt::Key_D, "d");
    EXPECT_EQ(rig.ui.text(w, ids::kComPortBox), "/d");
    // The logic's status write shows.
    rig.ui.setText(w, ids::kComStatus, "Please wait");
    sheet->bridge().flush();
    EXPECT_EQ(static_cast<QLabel*>(d->view()->controlWidget(ids::kComStatus))->text(), "Please wait");
  });
}

TEST_F(Dialogs, TheCloseBoxIsCancelAndADialogWithoutProcedureEndsOnIt) {
  bool done = false;
  int result = -1;
  QTimer::singleShot(0, [&] {
    result = sheet->runDialog(WindowId::About, {});
    done = true;
  });
  whenModal([&](QWidget*) { sheet->dialog(WindowId::About)->close(); });
  ASSERT_TRUE(pumpUntil([&] { return done; }));
  EXPECT_EQ(result, ids::kCancel);
  // A second dialog for a window already running, or a page, is refused.
  EXPECT_EQ(sheet->runDialog(WindowId::InfoPage, {}), 0);
}

TEST_F(Dialogs, TheSheetEndingDuringADialogEndsTheDialogToo) {
  bool done = false;
  QTimer::singleShot(0, [&] {
    DialogProcedures p;
    p.command = [&](WindowId, int c) {
      if (c == ids::kCancel) sheet->session().endSheet(0);  // Update Firmware's Cancel ends the program
    };
    sheet->runDialog(WindowId::UpdateFirmware, std::move(p));
    done = true;
  });
  whenModal([&](QWidget* d) { key(d, Qt::Key_Escape); });
  ASSERT_TRUE(pumpUntil([&] { return done; }));
  EXPECT_TRUE(sheet->finished());
  EXPECT_FALSE(rig.ui.isOpen(WindowId::UpdateFirmware));
}

TEST(FileFilter, PairsOfTextAndPatternBecomeQtNameFilters) {
  EXPECT_EQ(nameFilters("Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"),
            (QStringList{"Binary Files (*.bin)", "All Files (*.*)"}));
  EXPECT_EQ(nameFilters("Images|*.bin;*.img||"), (QStringList{"Images (*.bin *.img)"}));
  EXPECT_TRUE(nameFilters("").isEmpty());
  EXPECT_TRUE(nameFilters("||||").isEmpty());
  EXPECT_TRUE(nameFilters("Text only|").isEmpty());
  EXPECT_EQ(nameFilters("A|*.a|B"), (QStringList{"A (*.a)"})) << "an unpaired text is dropped";
}

TEST_F(Dialogs, FileOpenDialogHasTheTitleAndFilterAndAnswersTheChosenPath) {
  const std::string filter = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";
  QTemporaryDir dir;
  const QString file = dir.filePath("fw.bin");
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  QString title;
  QStringList filters;
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    title = d->windowTitle();
    filters = d->nameFilters();
    screenshot(d, "generic-open-file");
    d->reject();
  });
  EXPECT_EQ(rig.ui.openFile("Specify a file", filter), std::nullopt);
  EXPECT_EQ(title, "Specify a file");
  EXPECT_EQ(filters, (QStringList{"Binary Files (*.bin)", "All Files (*.*)"}));

  // From a worker, as the update dialog's thread might ask.
  std::optional<std::string> chosen;
  std::atomic<bool> answered{false};
  whenModal([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    d->setDirectory(dir.path());
    chooseFile(d, file);
  });
  std::thread worker([&] {
    chosen = rig.ui.openFile("Specify a file", filter);
    answered = true;
  });
  ASSERT_TRUE(pumpUntil([&] { return answered.load(); }));
  worker.join();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(QFileInfo(QString::fromStdString(*chosen)).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
}

}  // namespace
}  // namespace ferrolan::qt::test
