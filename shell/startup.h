#pragma once
// Start-up: platform detection, the configuration file, and the sheet to
// show; and the page procedures the front end calls.

#include "shell/front_end.h"
#include "shell/platform_detection.h"
#include "shell/shutdown.h"

namespace ferrolan {

struct Context;

inline constexpr const char* kSheetCaption = "Auto Update FW";
inline constexpr int kTextLogExtent = 500;

struct StartupOptions {
  int pageCount = 1;  // 1: the unattended update; 3: the interactive tool
  PlatformIdentity identity;
};

// Runs the start-up steps and describes the sheet to show.
SheetDescription startUp(Context& ctx, const StartupOptions& options);

// The page procedures of the sheet: the Text page's, and with three pages
// the Info and Sky pages' with the command dispatcher. Closing any page,
// or its OK/Cancel, runs the shutdown and posts the quit with 0.
PageProcedures makePageProcedures(Context& ctx);

// The Text page's creation: the list box's extent, the lines written
// before the page existed, then its worker.
void createTextPage(Context& ctx);

}  // namespace ferrolan
