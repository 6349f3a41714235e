#pragma once
// The thread-safe UI model: windows named by template id, controls by id,
// drawing surfaces as display lists, message boxes through a host. Worker
// threads write here; front ends (Qt, console, tests) render it and hear of
// each change through listeners, on the writer's thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ids.h"

namespace ferrolan {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Color&) const = default;
};

// One drawing primitive in window pixels, GDI-style.
struct DrawOp {
  enum class Kind { FillRect, Ellipse, Line, Text };
  Kind kind = Kind::FillRect;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // rectangle, or line from (x1,y1) to (x2,y2)
  Color pen{};
  int penWidth = 1;
  bool nullPen = false;
  Color brush{};
  bool nullBrush = false;  // hollow: outline only
  std::string text;
  unsigned format = 0;     // DrawText flags (kDtBottom ...)
  Color textColor{};
  bool transparentBackground = true;
  bool operator==(const DrawOp&) const = default;
};

inline constexpr unsigned kDtLeft = 0x0, kDtCenter = 0x1, kDtRight = 0x2, kDtVCenter = 0x4, kDtBottom = 0x8,
                          kDtSingleLine = 0x20, kDtNoClip = 0x100;

struct ControlState {
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  int progress = 0;
  // A deque: the TextLog takes every received sentence at its top.
  std::deque<std::string> items;
  int selection = -1;
  int horizontalExtent = 0;
  std::vector<DrawOp> surface;  // owner-drawn content (signal bars)
  // The client area in the surface's pixels, for owner drawing; 0 when the
  // window's template does not say.
  int clientWidth = 0, clientHeight = 0;
};

struct ClientSize {
  int width = 0, height = 0;
};

enum class UiChangeKind {
  WindowOpened, WindowClosed, Text, Enabled, Visible, Checked, Progress,
  ListAppend, ListInsertTop, ListReset, ListItems, Selection, Extent,
  Surface, Menu, Repaint,
};

struct UiChange {
  WindowId window;
  int control = 0;  // 0 for the window itself (its own surface, its menu)
  UiChangeKind kind;
  std::string text;
  int value = 0;
  uint64_t seq = 0;  // the order in which the model made the change, from 1
};

// Message box types and answers, as the platform numbers them.
inline constexpr unsigned kMbOk = 0x0, kMbIconError = 0x10, kMbIconWarning = 0x30;
inline constexpr int kIdOk = 1;

struct MessageBoxRequest {
  std::optional<WindowId> owner;
  std::string text;
  std::string caption;
  unsigned type = kMbOk;
};

// What a front end provides: modal interaction on its own thread. Calls may
// come from any thread and block until the user answers.
class UiHost {
 public:
  virtual ~UiHost() = default;
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // File-open dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> openFile(const std::string& /*title*/, const std::string& /*filter*/) {
    return std::nullopt;
  }
};

class UiModel {
 public:
  using Listener = std::function<void(const UiChange&)>;
  static constexpr size_t kMaxListItems = 10000;

  // Returns once no call is inside the previous host any more, so that
  // host may then be destroyed.
  void setHost(UiHost* host);
  int addListener(Listener fn);
  void removeListener(int id);
  // The seq of the latest change made; listeners hear each seq once.
  uint64_t lastChange() const;
  // A listener and the list it starts from, taken together: the changes it
  // hears are those with a seq above `seq`, which the items do not hold yet.
  struct Subscription {
    int id = 0;
    std::vector<std::string> items;
    uint64_t seq = 0;
  };
  Subscription addListenerWithItems(WindowId w, int control, Listener fn);

  // A window's controls exist while it is open; writes to a window that is
  // not open go nowhere, as they would to a missing dialog.
  void openWindow(WindowId w, const std::vector<std::pair<int, ControlState>>& controls = {});
  void closeWindow(WindowId w);
  bool isOpen(WindowId w) const;
  bool hasControl(WindowId w, int control) const;
  std::optional<ControlState> control(WindowId w, int control) const;

  void setText(WindowId w, int control, std::string_view text);
  std::string text(WindowId w, int control) const;
  void setEnabled(WindowId w, int control, bool on);
  bool enabled(WindowId w, int control) const;
  void setVisible(WindowId w, int control, bool on);
  bool visible(WindowId w, int control) const;
  void setChecked(WindowId w, int control, bool on);
  bool checked(WindowId w, int control) const;
  void setProgress(WindowId w, int control, int position);
  int progress(WindowId w, int control) const;
  void setHorizontalExtent(WindowId w, int control, int extent);

  // False when the window is not open and the line went nowhere.
  bool listAppend(WindowId w, int control, std::string_view line);
  bool listInsertTop(WindowId w, int control, std::string_view line);
  bool listReset(WindowId w, int control);
  void setItems(WindowId w, int control, std::vector<std::string> items);
  std::vector<std::string> items(WindowId w, int control) const;
  // A selection change carries the selected entry's text (empty for none).
  void setSelection(WindowId w, int control, int index);
  // Text the user typed into a drop-down's edit field: it then has no
  // selected position, whatever the text reads.
  void typeText(WindowId w, int control, std::string_view text);
  int selection(WindowId w, int control) const;

  // Display lists: control 0 is the window's own surface.
  void setSurface(WindowId w, int control, std::vector<DrawOp> ops);
  std::vector<DrawOp> surface(WindowId w, int control) const;
  // Draws over what the surface shows, as painting on a control does: the
  // ops are added on top, and earlier ops that an added fill hides
  // completely are dropped, so a surface painted again and again stays
  // small. At most kMaxSurfaceOps are kept (the oldest go).
  static constexpr size_t kMaxSurfaceOps = 512;
  void drawOnSurface(WindowId w, int control, const std::vector<DrawOp>& ops);
  ClientSize clientSize(WindowId w, int control) const;

  // Menu items of a page's command bar: enabled or greyed.
  void setMenuEnabled(WindowId w, int command, bool on);
  bool menuEnabled(WindowId w, int command) const;

  void repaint(WindowId w);
  int messageBox(std::optional<WindowId> owner, std::string_view text, std::string_view caption,
                 unsigned type = kMbOk);
  std::optional<std::string> openFile(const std::string& title, const std::string& filter);

 private:
  struct Window {
    std::map<int, ControlState> controls;
    std::map<int, bool> menu;
  };
  // Runs edit on the control under the lock; notifies when it answers true.
  template <typename Edit>
  bool edit(WindowId w, int control, UiChangeKind kind, std::string_view text, int value, Edit&& fn);
  template <typename Read, typename T>
  T read(WindowId w, int control, T fallback, Read&& fn) const;
  void notify(const UiChange& change);
  template <typename Call, typename T>
  T withHost(T fallback, Call&& call);

  mutable std::mutex m_;
  std::map<WindowId, Window> windows_;
  uint64_t changes_ = 0;  // seq of the latest change
  std::mutex listenersMutex_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
  UiHost* host_ = nullptr;
  int hostUsers_ = 0;  // calls inside host_ now; setHost waits for them
  std::condition_variable hostIdle_;
};

// The TextLog: list box 1032 on the Text page, the common sink of progress
// and failure lines. Lines written before the page exists (start-up reads
// the configuration first) are kept until the page takes them.
class TextLog {
 public:
  explicit TextLog(UiModel& ui) : ui_(ui) {}
  void append(std::string_view line) {
    if (!ui_.listAppend(WindowId::TextPage, ids::kTextLog, line)) keep(false, line);
  }
  void insertTop(std::string_view line) {
    if (!ui_.listInsertTop(WindowId::TextPage, ids::kTextLog, line)) keep(true, line);
  }
  void reset();
  std::vector<std::string> lines() const { return ui_.items(WindowId::TextPage, ids::kTextLog); }
  // Writes the kept lines into the open page, in the order and the way they
  // were written, once.
  void replayEarlyLines();

 private:
  void keep(bool top, std::string_view line);

  UiModel& ui_;
  std::mutex m_;
  std::vector<std::pair<bool, std::string>> early_;  // (insert at top, line)
};

}  // namespace ferrolan
