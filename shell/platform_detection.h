#pragma once
// What kind of device this is and how its screen is turned, and the page
// templates that follow from it.

#include <optional>
#include <string>

#include "shell/front_end.h"

namespace ferrolan {

struct Context;

// What the platform reports about itself. Linux is not the handheld's
// system, so by default this says "not CE"; --platform-type pretends it is.
struct PlatformIdentity {
  bool isWindowsCe = false;
  // The platform type string; empty when the query fails.
  std::optional<std::string> platformType;
};

// Sets isPocketPC and isPortrait (the rotation comes from the registry).
void detectPlatform(Context& ctx, const PlatformIdentity& identity);

Layout chooseLayout(bool isPocketPC, bool isPortrait);

// The template id of a page (Text, Info, Sky) in a layout.
int pageTemplate(WindowId page, Layout layout);

}  // namespace ferrolan
