#include "shell/platform_detection.h"

#include "core/context.h"

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
  struct Row {
    WindowId page;
    int generic, portrait, landscape;
  };
  static constexpr Row kPages[] = {
      {WindowId::TextPage, 110, 119, 122},
      {WindowId::InfoPage, 106, 118, 120},
      {WindowId::SkyPage, 108, 115, 121},
  };
  for (const Row& r : kPages) {
    if (r.page != page) continue;
    switch (layout) {
      case Layout::Generic: return r.generic;
      case Layout::PocketPortrait: return r.portrait;
      case Layout::PocketLandscape: return r.landscape;
    }
  }
  return 0;
}

}  // namespace ferrolan
