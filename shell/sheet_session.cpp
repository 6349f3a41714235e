#include "shell/sheet_session.h"

#include <algorithm>

#include "app/context.h"

namespace ferrolan {

int firstBoxAnswer(unsigned type) {
  switch (type & 0xF) {
    case 2: return 3;  // Abort
    case 3:
    case 4: return 6;  // Yes
    case 5: return 4;  // Retry
    default: return kIdOk;
  }
}

int closedBoxAnswer(unsigned type) {
  switch (type & 0xF) {
    case 1:
    case 3:
    case 5: return 2;  // the sets with Cancel
    default: return firstBoxAnswer(type);
  }
}

SheetSession::SheetSession(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures,
                           SheetFrontEnd& frontEnd)
    : ctx_(ctx), sheet_(sheet), procedures_(procedures), frontEnd_(frontEnd), uiThread_(std::this_thread::get_id()) {
  const size_t count = static_cast<size_t>(std::clamp(sheet_.pageCount, 0, static_cast<int>(sheet_.pages.size())));
  for (size_t i = 0; i < count; ++i) {
    const res::DialogTemplate* tpl = res::findTemplate(sheet_.templates[i]);
    if (!tpl || tpl->window != sheet_.pages[i]) tpl = res::templateFor(sheet_.pages[i], sheet_.layout);
    if (tpl) pages_.push_back({sheet_.pages[i], tpl});
  }
  ctx_.ui.setHost(this);
  ctx_.app.postQuit = [this](int code) { endSheet(code); };
}

SheetSession::~SheetSession() {
  ctx_.app.postQuit = nullptr;
  ctx_.ui.setHost(nullptr);
  // Workers still asking are let go before this goes.
  {
    std::lock_guard l(m_);
    quit_ = true;
  }
  answered_.notify_all();
}

const SheetPage* SheetSession::activePage() const {
  return active_ < 0 ? nullptr : &pages_[static_cast<size_t>(active_)];
}

SheetDialog* SheetSession::dialog(WindowId window) const {
  for (SheetDialog* d : dialogs_)
    if (d->window == window) return d;
  return nullptr;
}

bool SheetSession::isPage(WindowId window) const {
  return std::any_of(pages_.begin(), pages_.end(), [&](const SheetPage& p) { return p.window == window; });
}

void SheetSession::start() {
  if (started_) return;
  started_ = true;
  uiThread_ = std::this_thread::get_id();
  if (procedures_.started) procedures_.started(*this);
  if (!pages_.empty()) showPage(0);
}

void SheetSession::showPage(size_t index) {
  if (index >= pages_.size() || static_cast<int>(index) == active_ || closed_) return;
  if (active_ >= 0 && procedures_.activated) procedures_.activated(pages_[static_cast<size_t>(active_)].window, false);
  SheetPage& p = pages_[index];
  if (!p.created) {
    p.created = true;
    ctx_.ui.openWindow(p.window, res::initialControls(*p.tpl));
    frontEnd_.pageOpened(p);
    if (procedures_.created) procedures_.created(p.window);
  }
  active_ = static_cast<int>(index);
  if (procedures_.activated) procedures_.activated(p.window, true);
}

void SheetSession::command(WindowId window, int id) {
  if (isPage(window)) {
    if (procedures_.command) procedures_.command(window, id);
    return;
  }
  SheetDialog* d = dialog(window);
  if (!d) return;
  if (d->procedures.command)
    d->procedures.command(window, id);
  else if (id == ids::kOk || id == ids::kCancel)
    endDialog(window, id);
}

void SheetSession::press(WindowId window, int id) {
  using K = res::ControlKind;
  const SheetDialog* d = dialog(window);
  const res::DialogTemplate* tpl = d ? d->tpl : nullptr;
  for (const SheetPage& p : pages_)
    if (p.window == window) tpl = p.tpl;
  const res::ControlTemplate* c = tpl && id != ids::kStatic ? res::findControl(*tpl, id) : nullptr;
  if (!c || !ctx_.ui.enabled(window, id)) return;
  if (c->kind == K::CheckBox) ctx_.ui.setChecked(window, id, !ctx_.ui.checked(window, id));
  if (c->kind == K::RadioButton) {
    // An auto radio button checks itself and clears the others.
    for (const res::ControlTemplate& other : tpl->controls)
      if (other.kind == K::RadioButton && other.id != id) ctx_.ui.setChecked(window, other.id, false);
    ctx_.ui.setChecked(window, id, true);
  }
  command(window, id);
}

std::optional<int> SheetSession::enterCommand(WindowId window) const {
  const SheetDialog* d = dialog(window);
  if (!d) return std::nullopt;
  int id = ids::kOk;
  for (const res::ControlTemplate& c : d->tpl->controls)
    if (c.kind == res::ControlKind::DefaultButton) id = c.id;
  if (auto s = ctx_.ui.control(window, id); s && (!s->enabled || !s->visible)) return std::nullopt;
  return id;
}

void SheetSession::requestQuit() {
  {
    std::lock_guard l(m_);
    quit_ = true;
  }
  answered_.notify_all();
  // Commands stop at once; open dialogs end and the rows that opened them
  // go no further.
  ctx_.app.sheetClosing = true;
  for (SheetDialog* d : dialogs_) {
    if (d->ended) continue;
    d->ended = true;
    frontEnd_.dialogEnded(*d);
  }
}

void SheetSession::closeSheet() {
  requestQuit();
  if (closed_) return;
  closed_ = true;
  // Every page that was shown hears the close (the shutdown runs there),
  // then its window closes.
  for (const SheetPage& p : pages_)
    if (p.created && procedures_.closed) procedures_.closed(p.window);
  for (const SheetPage& p : pages_)
    if (p.created) ctx_.ui.closeWindow(p.window);
}

void SheetSession::endSheet(int exitCode) {
  exitCode_ = exitCode;
  {
    std::lock_guard l(m_);
    sheetEnded_ = true;
  }
  answered_.notify_all();
  frontEnd_.sheetEnding();
}

int SheetSession::runDialog(WindowId window, DialogProcedures procedures) {
  const res::DialogTemplate* tpl = res::templateFor(window, sheet_.layout);
  if (!tpl || tpl->isPage || stopped() || dialog(window)) return 0;
  SheetDialog d{window, tpl, std::move(procedures)};
  ctx_.ui.openWindow(window, res::initialControls(*tpl));
  dialogs_.push_back(&d);
  frontEnd_.dialogOpened(d);
  if (d.procedures.initialized) d.procedures.initialized(window);
  if (!d.ended && !stopped()) frontEnd_.runDialog(d);
  std::erase(dialogs_, &d);
  frontEnd_.dialogClosed(d);
  ctx_.ui.closeWindow(window);
  return d.result;
}

void SheetSession::endDialog(WindowId window, int result) {
  for (SheetDialog* d : dialogs_) {
    if (d->window != window || d->ended) continue;
    d->ended = true;
    d->result = result;
    frontEnd_.dialogEnded(*d);
  }
}

int SheetSession::messageBox(const MessageBoxRequest& request) {
  if (frontEnd_.answersBoxesAnywhere()) return frontEnd_.showBox(request);
  if (onUiThread()) return stopped() ? closedBoxAnswer(request.type) : frontEnd_.showBox(request);
  SheetRequest r;
  r.box = request;
  auto w = ask(std::move(r));
  return w ? w->answer : closedBoxAnswer(request.type);
}

std::optional<std::string> SheetSession::openFile(const std::string& title, const std::string& filter) {
  if (onUiThread()) return stopped() ? std::nullopt : frontEnd_.showFile(title, filter);
  SheetRequest r;
  r.file = true;
  r.title = title;
  r.filter = filter;
  auto w = ask(std::move(r));
  return w ? w->path : std::nullopt;
}

std::optional<SheetSession::Waiting> SheetSession::ask(SheetRequest request) {
  Waiting w;
  w.request = std::move(request);
  std::unique_lock l(m_);
  if (stopped()) return std::nullopt;
  waiting_.push_back(&w);
  frontEnd_.requestWaiting(w.request);
  answered_.wait(l, [&] { return w.done || stopped(); });
  // The UI thread may hold it still (a box it shows): it looks here first.
  std::erase(waiting_, &w);
  if (serving_ == &w) serving_ = nullptr;
  if (!w.done) return std::nullopt;
  return w;
}

bool SheetSession::serveRequests() {
  SheetRequest request;
  {
    std::lock_guard l(m_);
    if (waiting_.empty() || serving_) return false;
    serving_ = waiting_.front();
    waiting_.pop_front();
    request = serving_->request;
  }
  int box = 0;
  std::optional<std::string> path;
  if (request.file)
    path = frontEnd_.showFile(request.title, request.filter);
  else
    box = frontEnd_.showBox(request.box);
  {
    std::lock_guard l(m_);
    // Gone when its worker was let go meanwhile.
    if (serving_) {
      serving_->done = true;
      serving_->answer = box;
      serving_->path = std::move(path);
      serving_ = nullptr;
    }
  }
  answered_.notify_all();
  return true;
}

bool SheetSession::answerFile(std::optional<std::string> path) {
  {
    std::lock_guard l(m_);
    auto it = std::find_if(waiting_.begin(), waiting_.end(), [](const Waiting* w) { return w->request.file; });
    if (it == waiting_.end()) return false;
    (*it)->done = true;
    (*it)->path = std::move(path);
    waiting_.erase(it);
  }
  answered_.notify_all();
  return true;
}

}  // namespace ferrolan
