#pragma once
// Shared test fixtures: a context on a virtual clock with scripted ports and
// a UI host that records message boxes.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/context.h"
#include "tests/support/scripted_port.h"
#include "platform/tty_port.h"
#include "shell/page_templates.h"

namespace ferrolan::test {

class RecordingHost final : public UiHost {
 public:
  int messageBox(const MessageBoxRequest& r) override {
    std::lock_guard l(m_);
    boxes_.push_back(r);
    return kIdOk;
  }
  std::optional<std::string> openFile(const std::string& title, const std::string& filter) override {
    std::lock_guard l(m_);
    fileDialogs_.emplace_back(title, filter);
    return nextFile_;
  }
  std::vector<MessageBoxRequest> boxes() const {
    std::lock_guard l(m_);
    return boxes_;
  }
  void setNextFile(std::optional<std::string> f) {
    std::lock_guard l(m_);
    nextFile_ = std::move(f);
  }
  std::vector<std::pair<std::string, std::string>> fileDialogs() const {
    std::lock_guard l(m_);
    return fileDialogs_;
  }

 private:
  mutable std::mutex m_;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<std::pair<std::string, std::string>> fileDialogs_;
  std::optional<std::string> nextFile_;
};

// Polls `done` for up to ten seconds and says whether it came true; the
// deadline only ends a broken run, the caller's expectations judge it.
template <typename Pred>
bool eventually(Pred done) {
  for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

// A context whose port is a script and whose clock is virtual. The Text
// page is open, as it is whenever the receiver routines run.
struct ScriptedRig {
  std::string root;  // the device root; empty for the current folder
  VirtualClock clock{1000};
  ScriptedPortOpener opener;
  UiModel ui;
  RecordingHost host;
  Context ctx{clock, opener, ui, root, ""};
  std::shared_ptr<ScriptedPort> port = std::make_shared<ScriptedPort>(clock);

  explicit ScriptedRig(std::string deviceRoot = "") : root(std::move(deviceRoot)) {
    ui.setHost(&host);
    ui.openWindow(WindowId::TextPage, initialControls(static_cast<int>(WindowId::TextPage)));
  }
  // Makes the scripted port the open receiver port.
  void attach() { ctx.session.portHandle.set(port); }
  std::vector<std::string> log() const { return ctx.textLog.lines(); }
  std::string lastLog() const {
    auto l = log();
    return l.empty() ? std::string() : l.back();
  }
};

// A context on the real clock whose ports are real terminals, for tests
// against a peer on a pseudo-terminal.
struct LiveRig {
  explicit LiveRig(const std::string& root = "") : opener(root), ctx(clock, opener, ui, root, "") {
    ui.openWindow(WindowId::TextPage, initialControls(static_cast<int>(WindowId::TextPage)));
  }
  SystemClock clock;
  TtyPortOpener opener;
  UiModel ui;
  Context ctx;
};

}  // namespace ferrolan::test
