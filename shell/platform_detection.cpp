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
    app.isPocketPC = false;
  } else if (identity.platformType) {
    const std::string& t = *identity.platformType;
    app.isPocketPC = t == "PocketPC" || t == "Palm PC2";
  }
  app.isPortrait = false;
  if (!app.isPocketPC) return;
  if (!ctx.registry.keyExists(kRotationKey)) {
    app.isPortrait = true;
    return;
  }
  uint32_t angle = 0;
  if (!ctx.registry.getDword(kRotationKey, "Angle", angle)) return;
  const uint8_t low = static_cast<uint8_t>(angle & 0xFF);
  if (low == 0 || low == 180) app.isPortrait = true;
}

Layout chooseLayout(bool isPocketPC, bool isPortrait) {
  if (isPocketPC && !isPortrait) return Layout::PocketLandscape;
  if (isPortrait) return Layout::PocketPortrait;
  return Layout::Generic;
}

int pageTemplate(WindowId page, Layout layout) {
  // The page records come from the resources, the one table of templates.
  const res::DialogTemplate* t = res::templateFor(page, layout);
  return t && t->isPage ? t->id : 0;
}

}  // namespace ferrolan
