#pragma once
// Start-up: platform detection, the configuration file, and the sheet to
// show; and the page procedures the front end calls.

#include "shell/front_end.h"
#include "shell/platform_detection.h"

namespace ferrolan {

struct Context;

inline constexpr const char* kSheetCaption = "Auto Update FW";
inline constexpr int kTextLogExtent = 500;
// The line a closing sheet adds when no front end registered its quit.
inline constexpr const char* kNoQuitText = "No front end registered to quit..";

struct StartupOptions {
  int pageCount = 1;  // 1: the unattended update; 3: the interactive tool
  PlatformIdentity identity;
};

// Runs the start-up steps and describes the sheet to show.
SheetDescription startUp(Context& ctx, const StartupOptions& options);

// The page procedures of the sheet. Closing any page, or its OK/Cancel,
// runs the shutdown and posts the quit with 0.
PageProcedures makePageProcedures(Context& ctx);

// The Text page's creation: the list box's extent, the lines written
// before the page existed, then its worker.
void createTextPage(Context& ctx);

}  // namespace ferrolan
