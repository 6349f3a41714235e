// The interactive tool in the window with the program's own procedures:
// menu items reach the dispatcher, dialogs open from their templates and
// run their procedures, and Exit quits through the shutdown. Each dialog is
// saved as it opens and after a use.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>

#include <fstream>

#include "platform/process.h"
#include "shell/startup.h"
#include "tests/qt/gui_support.h"

namespace ferrolan::qt::test {
namespace {

struct ToolWindow {
  GuiRig rig;
  PageProcedures procs = makePageProcedures(rig.ctx);
  QtSheet sheet{rig.ctx, sheetFor(Layout::Generic, 3), procs};
  std::shared_ptr<ScriptedPort> port = std::make_shared<ScriptedPort>(rig.clock);
  int finishedWith = -1;

  ToolWindow() {
    QObject::connect(&sheet, &QtSheet::sheetFinished, [this](int code) { finishedWith = code; });
    sheet.show();
    sheet.start();
    // The Text page's unattended update finds no port and lets go first.
    if (auto update = rig.ctx.app.autoUpdateThread.get()) update->wait();
    rig.ctx.session.portHandle.set(port);
    rig.ctx.app.availableMemory = [] { return uint64_t{3} << 20; };
    sheet.tabs()->setCurrentIndex(1);
  }

  // Picks a menu item of the Info page; inside(dialog) runs once its dialog
  // is up and must end it.
  void viaMenu(int command, WindowId w, const std::function<void(DialogWindow*)>& inside) {
    bool done = false;
    QTimer::singleShot(0, [&] {
      sheet.page(WindowId::InfoPage)->menuAction(command)->trigger();
      done = true;
    });
    whenModal([&](QWidget*) {
      DialogWindow* d = sheet.dialog(w);
      ASSERT_NE(d, nullptr);
      sheet.bridge().flush();
      inside(d);
      sheet.bridge().flush();
      EXPECT_TRUE(d->ended()) << static_cast<int>(w);
      if (!d->ended()) sheet.endDialog(w, 0);
    });
    EXPECT_TRUE(pumpUntil([&] { return done; }));
  }
  template <typename T>
  T* widget(DialogWindow* d, int id) {
    return static_cast<T*>(d->view()->controlWidget(id));
  }
  void shoot(DialogWindow* d, const std::string& name) {
    sheet.bridge().flush();
    screenshot(d, "generic-tool-" + name);
  }
};

TEST(ToolWindow, MenuItemsOpenTheirDialogsWhichRunTheirProcedures) {
  ToolWindow t;
  t.viaMenu(ids::kCmdFsaModify, WindowId::FsaModify, [&](DialogWindow* d) {
    EXPECT_FALSE(t.widget<QComboBox>(d, ids::kFsaRmc)->isEnabled());
    t.shoot(d, "fsa-modify-initial");
    t.widget<QCheckBox>(d, ids::kFsaChangeOutput)->click();
    t.sheet.bridge().flush();
    EXPECT_TRUE(t.widget<QComboBox>(d, ids::kFsaZda)->isEnabled());
    t.shoot(d, "fsa-modify-change-output");
    t.widget<QAbstractButton>(d, ids::kOk)->click();
  });
  const std::string wire = t.port->writtenText();
  EXPECT_EQ(wire.rfind("$PKRV09,8,4*1A\r\n", 0), 0u) << wire;
  EXPECT_EQ(wire.size() - wire.rfind("$PKRV09,,*16\r\n"), 14u) << wire;

  t.viaMenu(ids::kCmdSingleChannel, WindowId::SingleChannel, [&](DialogWindow* d) {
    t.shoot(d, "single-channel-initial");
    auto* box = t.widget<QComboBox>(d, ids::kScIdBox);
    emit box->activated(6);
    t.shoot(d, "single-channel-chosen");
    t.widget<QAbstractButton>(d, ids::kScEnter)->click();
  });
  EXPECT_NE(t.port->writtenText().find("$PKRV08,0*0B\r\n$PKRV08,7*0C\r\n"), std::string::npos);

  t.viaMenu(ids::kCmdCommSetting, WindowId::ComPortSetup, [&](DialogWindow* d) {
    EXPECT_EQ(t.widget<QComboBox>(d, ids::kComPortBox)->currentText(), "COM1:");
    t.shoot(d, "com-port-setup-initial");
    // COM4 is no port this rig knows: the box, and the dialog stays.
    emit t.widget<QComboBox>(d, ids::kComPortBox)->activated(3);
    whenModal([](QWidget* box) { box->close(); });
    t.widget<QAbstractButton>(d, ids::kComConnect)->click();
    EXPECT_FALSE(d->ended());
    t.shoot(d, "com-port-setup-failed-connect");
    d->close();  // the close box
  });

  t.rig.ctx.session.protocolMode = ProtocolMode::Vbi;
  t.viaMenu(ids::kCmdStartLog, WindowId::VbiLogSetting, [&](DialogWindow* d) {
    EXPECT_TRUE(t.widget<QRadioButton>(d, ids::kLog30Minutes)->isEnabled());
    EXPECT_FALSE(t.widget<QRadioButton>(d, ids::kLog1Hour)->isEnabled()) << "3 MiB free";
    t.shoot(d, "vbi-log-setting-initial");
    t.widget<QRadioButton>(d, ids::kLog30Minutes)->click();
    t.shoot(d, "vbi-log-setting-30-minutes");
    d->close();
  });
  EXPECT_EQ(t.rig.ctx.log.logCapacity, 2097152u);
  t.sheet.bridge().flush();
  EXPECT_FALSE(t.sheet.page(WindowId::InfoPage)->menuAction(ids::kCmdStartLog)->isEnabled());
  EXPECT_TRUE(t.sheet.page(WindowId::InfoPage)->menuAction(ids::kCmdStopLog)->isEnabled());

  t.viaMenu(ids::kCmdAbout, WindowId::About, [&](DialogWindow* d) {
    t.shoot(d, "about-initial");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(d, &enter);
  });

  // Update Firmware: a file from Qt's file dialog, a wrong size refused,
  // then an FSA update run against the silent port; leaving ends the tool.
  const std::string dir = makeTempDir("ferrolan-gui-upd-");
  auto file = [&](const char* name, size_t size) {
    std::ofstream(dir + "/" + name, std::ios::binary) << std::string(size, 'x');
    return dir + "/" + name;
  };
  const std::string shortFile = file("short.bin", 100), fsa = file("FSA.bin", 8192);
  auto chooseInFileDialog = [](const std::string& path) {
    whenModal<QFileDialog>([path](QFileDialog* fd) {
      chooseFile(fd, QString::fromStdString(path));
    });
  };
  t.viaMenu(ids::kCmdFwUpdate, WindowId::UpdateFirmware, [&](DialogWindow* d) {
    EXPECT_FALSE(t.widget<QAbstractButton>(d, ids::kUpdUpdate)->isEnabled());
    t.shoot(d, "update-firmware-initial");
    t.widget<QRadioButton>(d, ids::kUpdFsa)->click();
    chooseInFileDialog(shortFile);
    t.widget<QAbstractButton>(d, ids::kUpdLoadFile)->click();
    t.sheet.bridge().flush();
    EXPECT_EQ(t.widget<QLineEdit>(d, ids::kUpdFileName)->text().toStdString(), shortFile);
    whenModal<QMessageBox>([](QMessageBox* box) {
      EXPECT_EQ(box->text().toStdString(), "Incorrect File Size!");
      box->close();
    });
    t.widget<QAbstractButton>(d, ids::kUpdUpdate)->click();
    chooseInFileDialog(fsa);
    t.widget<QAbstractButton>(d, ids::kUpdLoadFile)->click();
    t.widget<QAbstractButton>(d, ids::kUpdUpdate)->click();
    if (auto update = t.rig.ctx.app.updateThread.get()) update->wait();
    t.sheet.bridge().flush();
    EXPECT_FALSE(t.widget<QAbstractButton>(d, ids::kUpdLoadFile)->isEnabled());
    t.shoot(d, "update-firmware-after-update");
    d->close();
  });
  EXPECT_TRUE(pumpUntil([&] { return t.sheet.finished(); }));
  EXPECT_EQ(t.finishedWith, 0);
  removeTree(dir);
}

TEST(ToolWindow, ExitQuitsThroughTheShutdown) {
  ToolWindow t;
  // Exit runs the shutdown, which quits with 0.
  t.sheet.page(WindowId::InfoPage)->menuAction(ids::kCmdExit)->trigger();
  EXPECT_TRUE(pumpUntil([&] { return t.sheet.finished(); }));
  EXPECT_EQ(t.finishedWith, 0);
  EXPECT_FALSE(t.rig.ctx.session.portHandle.valid());
}

}  // namespace
}  // namespace ferrolan::qt::test
