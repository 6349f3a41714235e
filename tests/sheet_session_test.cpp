// The sheet session every front end shares, worked through a front end that
// only records: the order the pages and dialogs hear their events, clicks on
// the template's controls, and the boxes and file prompts asked by workers.
#include <atomic>
#include <thread>

#include "shell/sheet_session.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

struct RecordingFrontEnd final : SheetFrontEnd {
  std::vector<std::string> events;
  std::function<void(SheetDialog&)> inDialog;  // the user, while a dialog runs
  std::atomic<int> waiting{0};
  int boxAnswer = kIdOk;

  void pageOpened(const SheetPage& p) override { events.push_back("opened " + std::to_string(static_cast<int>(p.window))); }
  void runDialog(SheetDialog& d) override {
    if (inDialog) inDialog(d);
  }
  void dialogEnded(SheetDialog& d) override { events.push_back("ended " + std::to_string(d.result)); }
  int showBox(const MessageBoxRequest& r) override {
    events.push_back("box " + r.text);
    return boxAnswer;
  }
  std::optional<std::string> showFile(const std::string& title, const std::string&) override {
    events.push_back("file " + title);
    return "/chosen";
  }
  void requestWaiting(const SheetRequest&) override { ++waiting; }
};

struct SessionRig {
  test::ScriptedRig rig;
  RecordingFrontEnd front;
  PageProcedures procs;
  SheetDescription sheet;
  std::unique_ptr<SheetSession> session;

  SessionRig() {
    sheet.pageCount = 3;
    auto name = [](WindowId w) { return std::to_string(static_cast<int>(w)); };
    procs.created = [this, name](WindowId w) { front.events.push_back("created " + name(w)); };
    procs.activated = [this, name](WindowId w, bool on) { front.events.push_back((on ? "on " : "off ") + name(w)); };
    procs.command = [this, name](WindowId w, int c) { front.events.push_back("cmd " + name(w) + " " + std::to_string(c)); };
    procs.closed = [this, name](WindowId w) { front.events.push_back("closed " + name(w)); };
    session = std::make_unique<SheetSession>(rig.ctx, sheet, procs, front);
  }
  // A worker's request, answered by `answer` on this (the UI) thread once it waits.
  template <typename Ask, typename Answer>
  auto fromWorker(Ask ask, Answer answer) {
    decltype(ask()) result{};
    std::thread worker([&] { result = ask(); });
    EXPECT_TRUE(test::eventually([&] { return front.waiting.load() > 0; }));
    answer();
    worker.join();
    front.waiting = 0;
    return result;
  }
};

TEST(SheetSession, PagesAreCreatedOnceActivatedInTurnAndHearTheCloseOnlyWhenShown) {
  SessionRig s;
  s.session->start();
  s.session->showPage(2);
  s.session->showPage(2);  // already active: nothing
  s.session->showPage(0);
  s.session->showPage(7);  // no such page
  s.session->command(WindowId::TextPage, 40001);
  s.session->closeSheet();
  s.session->closeSheet();  // once
  const std::vector<std::string> want{"opened 110", "created 110", "on 110",  "off 110",   "opened 108",
                                      "created 108", "on 108",     "off 108", "on 110",    "cmd 110 40001",
                                      "closed 110",  "closed 108"};
  EXPECT_EQ(s.front.events, want);
  EXPECT_TRUE(s.session->quitting());
  EXPECT_FALSE(s.rig.ui.isOpen(WindowId::SkyPage));
  EXPECT_FALSE(s.rig.ui.isOpen(WindowId::InfoPage));
}

TEST(SheetSession, ClicksFollowTheTemplateAndADialogWithoutProcedureEndsOnOkAndCancel) {
  using W = WindowId;
  struct Row {
    W dialog;
    std::vector<int> clicks;
    std::vector<std::pair<int, bool>> checked;  // after the clicks
    int result;
  };
  const Row rows[] = {
      // An auto check box toggles each time; OK ends.
      {W::FsaModify, {ids::kFsaChangeBaud, ids::kFsaChangeBaud, ids::kFsaChangeOutput, ids::kOk},
       {{ids::kFsaChangeBaud, false}, {ids::kFsaChangeOutput, true}}, ids::kOk},
      // A radio button clears the others; a disabled one takes no click.
      {W::UpdateFirmware, {ids::kUpdFlashKernel, ids::kUpdFsa, ids::kCancel},
       {{ids::kUpdFlashKernel, true}, {ids::kUpdFsa, false}}, ids::kCancel},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.dialog));
    SessionRig s;
    std::vector<std::pair<int, bool>> seen;
    s.front.inDialog = [&](SheetDialog& d) {
      for (int id : row.clicks) {
        if (id == ids::kOk || id == ids::kCancel)
          s.session->command(d.window, id);
        else
          s.session->press(d.window, id);
      }
      for (auto [id, _] : row.checked) seen.emplace_back(id, s.rig.ui.checked(d.window, id));
      EXPECT_TRUE(d.ended);
    };
    EXPECT_EQ(s.session->runDialog(row.dialog, {}), row.result);
    EXPECT_EQ(seen, row.checked);
    EXPECT_FALSE(s.rig.ui.isOpen(row.dialog)) << "the window closes with the dialog";
  }
}

TEST(SheetSession, EnterGivesTheDefaultButtonUnlessItIsDisabledAndQuittingEndsDialogs) {
  SessionRig s;
  std::vector<std::optional<int>> enter;
  s.front.inDialog = [&](SheetDialog& d) {
    enter.push_back(s.session->enterCommand(d.window));
    s.rig.ui.setEnabled(d.window, ids::kScEnter, false);
    enter.push_back(s.session->enterCommand(d.window));
    // Nested runs of the same dialog are refused.
    EXPECT_EQ(s.session->runDialog(d.window, {}), 0);
    s.session->requestQuit();
  };
  EXPECT_EQ(s.session->runDialog(WindowId::SingleChannel, {}), 0);
  EXPECT_EQ(enter, (std::vector<std::optional<int>>{ids::kScEnter, std::nullopt}));
  EXPECT_EQ(s.front.events, std::vector<std::string>{"ended 0"});
  EXPECT_EQ(s.rig.ctx.app.sheetClosing.load(), 1);
  s.front.inDialog = [](SheetDialog&) { ADD_FAILURE() << "no dialog runs once quitting"; };
  EXPECT_EQ(s.session->runDialog(WindowId::FsaModify, {}), 0);
}

TEST(SheetSession, WorkersRequestsAreShownOnTheUiThreadAndLetGoWhenTheSheetEnds) {
  SessionRig s;
  s.front.boxAnswer = 7;
  EXPECT_EQ(s.fromWorker([&] { return s.rig.ui.messageBox(std::nullopt, "Power off?", "WARN", 0x34); },
                         [&] { EXPECT_TRUE(s.session->serveRequests()); }),
            7);
  EXPECT_EQ(s.fromWorker([&] { return s.rig.ui.openFile("Open", "*.bin"); },
                         [&] { EXPECT_TRUE(s.session->serveRequests()); }),
            std::optional<std::string>("/chosen"));
  // The script's way: the answer comes with a later line.
  EXPECT_EQ(s.fromWorker([&] { return s.rig.ui.openFile("Again", ""); },
                         [&] { EXPECT_TRUE(s.session->answerFile(std::nullopt)); }),
            std::nullopt);
  EXPECT_FALSE(s.session->answerFile("/x")) << "no file request waits";
  EXPECT_FALSE(s.session->serveRequests());
  EXPECT_EQ(s.front.events, (std::vector<std::string>{"box Power off?", "file Open"}));
  // The sheet's end lets a waiting worker go with the closed box's answer.
  EXPECT_EQ(s.fromWorker([&] { return s.rig.ui.messageBox(std::nullopt, "Retry?", "", 0x05); },
                         [&] { s.session->endSheet(3); }),
            2);
  EXPECT_EQ(s.session->exitCode(), 3);
  EXPECT_EQ(s.rig.ui.messageBox(std::nullopt, "late", "", 0x04), 6) << "once ended no box is shown";
}

TEST(SheetSession, BoxAnswersByButtonSet) {
  // type: OK, OK/Cancel, Abort/Retry/Ignore, Yes/No/Cancel, Yes/No, Retry/Cancel
  constexpr int first[] = {1, 1, 3, 6, 6, 4};
  constexpr int closed[] = {1, 2, 3, 2, 6, 2};
  for (unsigned type = 0; type < 6; ++type) {
    EXPECT_EQ(firstBoxAnswer(type | 0x30), first[type]) << type;
    EXPECT_EQ(closedBoxAnswer(type), closed[type]) << type;
  }
}

}  // namespace
}  // namespace ferrolan
