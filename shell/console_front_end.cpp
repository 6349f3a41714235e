#include "shell/console_front_end.h"

#include <algorithm>

#include "core/text.h"

namespace ferrolan {

namespace {

// A closed or failing output loses the text, never the update: the error
// is cleared so that the next line tries again.
void emit(std::FILE* f, const std::string& text) {
  if (std::fputs(text.c_str(), f) < 0 || std::fflush(f) != 0) std::clearerr(f);
}

}  // namespace

std::string consoleLine(std::string_view text) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\r' || c == '\n' || c == '\t')
      out += ' ';
    else if (c < 0x20 || c == 0x7F)
      out += '.';
    else
      out += ch;
  }
  return out;
}

std::string renderProgressBar(int percent, double secondsLeft, int width) {
  const int pct = std::clamp(percent, 0, 100);
  std::string tail = format(" %3d%%", pct);
  if (secondsLeft >= 0) {
    const long s = static_cast<long>(secondsLeft + 0.5);
    tail += format("  %ld:%02ld left", s / 60, s % 60);
  }
  // One column short of the width, so the terminal never wraps the line.
  const int barWidth = std::max(10, width - 3 - static_cast<int>(tail.size()));
  const int filled = barWidth * pct / 100;
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(barWidth - filled), '-') +
         "]" + tail;
}

ConsoleFrontEnd::ConsoleFrontEnd(UiModel& ui, Clock& clock, std::FILE* out, std::FILE* err, bool drawProgress,
                                 int columns)
    : ui_(ui), clock_(clock), out_(out), err_(err), drawProgress_(drawProgress), columns_(columns) {
  // The log from its first line: what the list holds now, then the changes
  // the list does not hold yet. Changes told before the items are out wait
  // in early_; no lock is held across the model's.
  auto sub = ui_.addListenerWithItems(WindowId::TextPage, ids::kTextLog, [this](const UiChange& c) { onChange(c); });
  std::lock_guard l(m_);
  listener_ = sub.id;
  fromSeq_ = sub.seq;
  for (const auto& line : sub.items) emit(out_, consoleLine(line) + "\n");
  started_ = true;
  for (const auto& c : early_) show(c);
  early_.clear();
}

ConsoleFrontEnd::~ConsoleFrontEnd() {
  ui_.removeListener(listener_);
  std::lock_guard l(m_);
  clearBar();
}

std::string ConsoleFrontEnd::status() const {
  std::lock_guard l(m_);
  return status_;
}

void ConsoleFrontEnd::clearBar() {
  if (!barShown_) return;
  emit(err_, "\r\x1b[K");
  barShown_ = false;
}

void ConsoleFrontEnd::onChange(const UiChange& c) {
  if (c.window != WindowId::TextPage) return;
  std::lock_guard l(m_);
  if (!started_) {
    early_.push_back(c);
    return;
  }
  show(c);
}

void ConsoleFrontEnd::show(const UiChange& c) {
  if (c.seq <= fromSeq_) return;
  switch (c.kind) {
    case UiChangeKind::ListAppend:
    case UiChangeKind::ListInsertTop:
      if (c.control != ids::kTextLog) return;
      clearBar();
      emit(out_, consoleLine(c.text) + "\n");
      break;
    case UiChangeKind::Text:
      if (c.control != ids::kTextStatus) return;
      status_ = c.text;
      clearBar();
      emit(out_, consoleLine(c.text) + "\n");
      break;
    case UiChangeKind::Progress: {
      if (c.control != ids::kTextProgress || !drawProgress_) return;
      const int pct = std::clamp(c.value, 0, 100);
      const uint32_t now = clock_.tickCount();
      if (pct == 0 || progressStartValue_ < 0 || pct < progressStartValue_) {
        progressStartValue_ = pct;
        progressStartTick_ = now;
      }
      if (pct == lastPercent_ && barShown_) return;
      lastPercent_ = pct;
      double left = -1;
      const int done = pct - progressStartValue_;
      const double spent = (now - progressStartTick_) / 1000.0;
      if (done > 0 && spent > 0.5) left = spent / done * (100 - pct);
      emit(err_, "\r" + renderProgressBar(pct, left, columns_));
      barShown_ = true;
      break;
    }
    default:
      break;
  }
}

}  // namespace ferrolan
