#pragma once
// The one-page configuration without a display: TextLog lines and status
// texts to standard output as they come, the progress bar on standard error
// when that is a terminal.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "ui/ui_model.h"

namespace ferrolan {

// One TextLog line as one output line: a trailing "\r\n" ends it; other
// line breaks inside it become blanks, other control bytes are shown as '.'.
std::string consoleLine(std::string_view text);

// "[#######-------]  45%  0:31 left" fitted into width columns;
// secondsLeft < 0 leaves the estimate out.
std::string renderProgressBar(int percent, double secondsLeft, int width);

class ConsoleFrontEnd {
 public:
  ConsoleFrontEnd(UiModel& ui, Clock& clock, std::FILE* out, std::FILE* err, bool drawProgress, int columns);
  ~ConsoleFrontEnd();
  ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
  ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

  std::string status() const;

 private:
  void onChange(const UiChange& change);
  void show(const UiChange& change);  // under m_
  void clearBar();

  UiModel& ui_;
  Clock& clock_;
  std::FILE* out_;
  std::FILE* err_;
  bool drawProgress_;
  int columns_;
  int listener_ = 0;
  mutable std::mutex m_;
  uint64_t fromSeq_ = 0;  // changes up to this one were in the list at the start
  bool started_ = false;
  std::vector<UiChange> early_;  // told before the list's items were out
  std::string status_;
  bool barShown_ = false;
  int lastPercent_ = -1;
  uint32_t progressStartTick_ = 0;
  int progressStartValue_ = -1;
};

}  // namespace ferrolan
