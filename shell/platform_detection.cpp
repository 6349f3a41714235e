#include "shell/platform_detection.h"

#include "shell/resources.h"

#include "app/context.h"

namespace ferrolan {

namespace {
constexpr const char* kRotationKey = "System\\GDI\\Rotation";
}

void detectPlatform(Context& ctx, const PlatformIdentity& identity) {
  AppState& app = ctx.app;
  if (!identity.isWindowsCe) {
    app.isPocketPC = 0;
  } else if (identity.platformType) {
    const std::string& t = *identity.platformType;
    app.isPocketPC = (t == "PocketPC" || t == "Palm PC2") ? 1 : 0;
  }
  app.isPortrait = 0;
  if (app.isPocketPC != 1) return;
  if (!ctx.registry.keyExists(kRotationKey)) {
    app.isPortrait = 1;
    return;
  }
  uint32_t angle = 0;
  if (!ctx.registry.getDword(kRotationKey, "Angle", angle)) return;
  const uint8_t low = static_cast<uint8_t>(angle & 0xFF);
  if (low == 0 || low == 180) app.isPortrait = 1;
}

Layout chooseLayout(int isPocketPC, int isPortrait) {
  if (isPocketPC == 1 && isPortrait == 0) return Layout::PocketLandscape;
  if (isPortrait == 1) return Layout::PocketPortrait;
  return Layout::Generic;
}

int pageTemplate(WindowId page, Layout layout) {
  // The page records come from the resources, the one table of templates.
  const res::DialogTemplate* t = res::templateFor(page, layout);
  return t && t->isPage ? t->id : 0;
}

}  // namespace ferrolan
