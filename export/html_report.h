#pragma once
// A log's figures and plots as one HTML page that opens anywhere, a USB
// stick with no network included: no script, no font, style sheet, image or
// address outside the file; the plots are inline SVG, the style inline CSS
// that follows the browser's light or dark theme and prints a plot a page.

#include <string>

#include "export/log_summary.h"

namespace ferrolan::track {

// Ticks at round values (1, 2 or 5 times a power of ten) from `first` to
// first + step * (count - 1), covering [lo, hi] with about `target`
// intervals. An empty or reversed range is widened around its value.
struct Ticks {
  double first = 0, step = 1;
  int count = 2;
  double last() const { return first + step * (count - 1); }
  double at(int i) const;  // exactly 0 where it is zero, not 1e-17
  int decimals() const;    // of a tick's label: 1 for a step of 0.5
};
Ticks niceTicks(double lo, double hi, int target = 5);

// The longest round length (1, 2 or 5 times a power of ten) not past
// `metres`, for a scale bar; 0 when there is none.
double roundLength(double metres);
// "50 cm", "2 m", "500 m", "1 km".
std::string lengthText(double metres);

// The unit of a time axis over a span of seconds: seconds up to two
// minutes, minutes up to two hours, hours beyond.
struct TimeUnit {
  const char* name;
  double seconds;
};
TimeUnit timeUnitFor(double spanSeconds);

// `title` (the log's name) is escaped; any byte that starts no valid UTF-8
// sequence shows as U+FFFD.
std::string htmlReport(const Summary& s, const std::string& title);

}  // namespace ferrolan::track
