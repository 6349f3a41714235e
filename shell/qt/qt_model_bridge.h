#pragma once
// Carries UI model changes to the widgets. The model's listeners run on the
// writer's thread; this only records which controls changed and posts one
// queued flush, so a flood of writes costs the GUI one refresh per control.

#include <QObject>

#include <map>
#include <mutex>
#include <set>

#include "ui/ui_model.h"

namespace ferrolan::qt {

// What a rendered window does with a flush.
class ModelView {
 public:
  virtual ~ModelView() = default;
  // all: the window was (re)opened; controls and menu commands changed.
  virtual void refresh(bool all, const std::set<int>& controls, const std::set<int>& menu) = 0;
};

class ModelBridge : public QObject {
  Q_OBJECT
 public:
  explicit ModelBridge(UiModel& ui, QObject* parent = nullptr);
  ~ModelBridge() override;

  UiModel& ui() { return ui_; }
  // GUI thread only.
  void attach(WindowId window, ModelView* view);
  void detach(WindowId window, ModelView* view);
  ModelView* view(WindowId window) const;
  // Applies everything pending now; the queued flush does the same.
  void flush();
  int flushCount() const { return flushes_; }

 private:
  struct Pending {
    bool all = false;
    std::set<int> controls;
    std::set<int> menu;
  };
  void onChange(const UiChange& change);

  UiModel& ui_;
  int listener_ = 0;
  std::mutex m_;
  std::map<WindowId, Pending> pending_;
  bool posted_ = false;
  std::map<WindowId, ModelView*> views_;
  int flushes_ = 0;
};

}  // namespace ferrolan::qt
