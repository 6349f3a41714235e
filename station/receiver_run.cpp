#include "station/receiver_run.h"

#include <chrono>
#include <string_view>

#include "app/context.h"
#include "shell/page_templates.h"
#include "shell/platform_detection.h"
#include "update/auto_update.h"
#include "update/auto_update_config.h"

namespace ferrolan {

namespace {

constexpr uint32_t kStoppedStepMs = 60000;
constexpr std::string_view kVersionPrefix = "Current FW:";

}  // namespace

uint32_t RunClock::tickCount() {
  std::lock_guard l(m_);
  if (stopped_) skipped_ += kStoppedStepMs;
  return system_.tickCount() + skipped_;
}

void RunClock::sleepMs(uint32_t ms) {
  std::unique_lock l(m_);
  cv_.wait_for(l, std::chrono::milliseconds(ms), [this] { return stopped_; });
}

void RunClock::stop() {
  {
    std::lock_guard l(m_);
    stopped_ = true;
  }
  cv_.notify_all();
}

std::shared_ptr<Port> RunPorts::open(const std::string& name) {
  {
    std::lock_guard l(m_);
    if (closed_) {
      failure_ = "interrupted";
      return nullptr;
    }
  }
  std::string why;
  std::shared_ptr<Port> port = ttys_.open(name, &why);
  std::lock_guard l(m_);
  if (!port) {
    failure_ = why;
    return nullptr;
  }
  if (closed_) {  // interrupted while it opened
    port->close();
    failure_ = "interrupted";
    return nullptr;
  }
  opened_.push_back(port);
  return port;
}

void RunPorts::closeAll() {
  std::vector<std::shared_ptr<Port>> open;
  {
    std::lock_guard l(m_);
    closed_ = true;
    for (auto& w : opened_)
      if (auto p = w.lock()) open.push_back(std::move(p));
    opened_.clear();
  }
  for (auto& p : open) p->close();
}

std::string RunPorts::lastFailure() const {
  std::lock_guard l(m_);
  return failure_;
}

const char* runResultText(RunResult r) {
  switch (r) {
    case RunResult::Running: return "running";
    case RunResult::Ok: return "OK";
    case RunResult::Fail: return "FAIL";
    case RunResult::Interrupted: return "interrupted";
  }
  return "FAIL";
}

// Everything the run's context tells its pages, gathered for the station.
struct ReceiverRun::Watcher {
  mutable std::mutex m;
  RunView view;
  Sha256 digest;
  uint64_t digested = 0;
  uint32_t transferStarted = 0;
  bool transferring = false;
  std::string status;  // the Text page's status: "OK", "FAIL"

  void onChange(const UiChange& c, uint32_t now) {
    std::lock_guard l(m);
    if (c.window == WindowId::TextPage && c.control == ids::kTextLog &&
        (c.kind == UiChangeKind::ListAppend || c.kind == UiChangeKind::ListInsertTop)) {
      view.stage = c.text;
    } else if (c.window == WindowId::TextPage && c.control == ids::kTextStatus && c.kind == UiChangeKind::Text) {
      status = c.text;
    } else if (c.window == WindowId::InfoPage && c.control == ids::kInfoVersion && c.kind == UiChangeKind::Text &&
               std::string_view(c.text).starts_with(kVersionPrefix)) {
      view.version = c.text.substr(kVersionPrefix.size());
    } else if (c.window == WindowId::TextPage && c.control == ids::kTextProgress && c.kind == UiChangeKind::Progress) {
      if (!transferring) {
        transferring = true;
        transferStarted = now;
      }
      view.percent = c.value;
      const uint32_t spent = now - transferStarted;
      view.secondsLeft = c.value > 0 ? static_cast<uint32_t>(uint64_t{spent} * (100 - std::min(c.value, 100)) /
                                                              static_cast<uint64_t>(c.value) / 1000)
                                     : 0;
    }
  }
};

ReceiverRun::ReceiverRun(RunSetup setup)
    : setup_(std::move(setup)), ports_(setup_.root), watcher_(std::make_unique<Watcher>()) {
  watcher_->view.port = setup_.port;
}

ReceiverRun::~ReceiverRun() = default;

void ReceiverRun::run() {
  Watcher& w = *watcher_;
  if (!setup_.refusal.empty()) {
    std::lock_guard l(w.m);
    w.view.stage = w.view.failure = setup_.refusal;
    w.view.result = RunResult::Fail;
    return;
  }
  UiModel ui;
  const int listener = ui.addListener([this, &w](const UiChange& c) { w.onChange(c, clock_.tickCount()); });
  for (WindowId page : {WindowId::TextPage, WindowId::InfoPage})
    ui.openWindow(page, initialControls(pageTemplate(page, Layout::Generic)));
  Context ctx(clock_, ports_, ui, setup_.root);
  ctx.update.watch.opened = [&w](std::string_view path, uint64_t size) {
    std::lock_guard l(w.m);
    w.view.file = std::string(path);
    w.view.fileBytes = size;
    w.digest = Sha256();
    w.digested = 0;
  };
  ctx.update.watch.read = [&w](std::span<const uint8_t> bytes) {
    std::lock_guard l(w.m);
    w.digest.update(bytes);
    w.digested += bytes.size();
  };
  ctx.update.watch.acknowledged = [&w](uint64_t bytes) {
    std::lock_guard l(w.m);
    w.view.bytesSent = bytes;
  };
  // The files and the rate from the configuration; the port is ours.
  readAutoUpdateConfig(ctx);
  ctx.session.portName.set(setup_.port);
  AutoUpdateThread(ctx);
  ui.removeListener(listener);

  const std::string openFailure = ports_.lastFailure();
  std::lock_guard l(w.m);
  if (w.status == "OK") {
    w.view.result = RunResult::Ok;
  } else if (interrupted_) {
    w.view.result = RunResult::Interrupted;
    w.view.failure = "interrupted";
  } else {
    w.view.result = RunResult::Fail;
    w.view.failure = w.view.stage;
    if (!openFailure.empty()) w.view.failure += " (" + setup_.port + ": " + openFailure + ")";
  }
  if (w.view.result == RunResult::Ok && w.digested == w.view.fileBytes) w.view.sha256 = toHex(w.digest.finish());
}

void ReceiverRun::interrupt() {
  interrupted_ = true;
  clock_.stop();
  ports_.closeAll();
}

RunView ReceiverRun::view() const {
  std::lock_guard l(watcher_->m);
  return watcher_->view;
}

}  // namespace ferrolan
