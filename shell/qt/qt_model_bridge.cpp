#include "shell/qt/qt_model_bridge.h"

#include <QMetaObject>
#include <QTimer>

namespace ferrolan::qt {

namespace {
// Changes that arrive within this many milliseconds share one repaint.
constexpr int kCoalesceMs = 15;
}  // namespace

ModelBridge::ModelBridge(UiModel& ui, QObject* parent) : QObject(parent), ui_(ui) {
  listener_ = ui_.addListener([this](const UiChange& c) { onChange(c); });
}

ModelBridge::~ModelBridge() { ui_.removeListener(listener_); }

void ModelBridge::onChange(const UiChange& change) {
  bool post = false;
  {
    std::lock_guard l(m_);
    Pending& p = pending_[change.window];
    switch (change.kind) {
      case UiChangeKind::WindowOpened:
      case UiChangeKind::WindowClosed:
      case UiChangeKind::Repaint:
        p.all = true;
        break;
      case UiChangeKind::Menu:
        p.menu.insert(change.control);
        break;
      default:
        p.controls.insert(change.control);
        break;
    }
    if (!posted_) post = posted_ = true;
  }
  if (post) {
    // Queued: runs on the GUI thread whichever thread wrote the model.
    QMetaObject::invokeMethod(
        this, [this] { QTimer::singleShot(kCoalesceMs, this, &ModelBridge::flush); }, Qt::QueuedConnection);
  }
}

void ModelBridge::flush() {
  std::map<WindowId, Pending> work;
  {
    std::lock_guard l(m_);
    work.swap(pending_);
    posted_ = false;
  }
  if (work.empty()) return;
  ++flushes_;
  for (auto& [window, p] : work) {
    auto it = views_.find(window);
    if (it != views_.end()) it->second->refresh(p.all, p.controls, p.menu);
  }
}

void ModelBridge::attach(WindowId window, ModelView* view) { views_[window] = view; }

void ModelBridge::detach(WindowId window, ModelView* view) {
  auto it = views_.find(window);
  if (it != views_.end() && it->second == view) views_.erase(it);
}

ModelView* ModelBridge::view(WindowId window) const {
  auto it = views_.find(window);
  return it == views_.end() ? nullptr : it->second;
}

}  // namespace ferrolan::qt
