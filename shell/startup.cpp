#include "shell/startup.h"

#include "app/context.h"
#include "shell/shutdown.h"
#include "update/auto_update.h"
#include "update/auto_update_config.h"

namespace ferrolan {

SheetDescription startUp(Context& ctx, const StartupOptions& options) {
  ctx.app.appInstance = 1;
  detectPlatform(ctx, options.identity);
  readAutoUpdateConfig(ctx);  // its result does not stop start-up

  SheetDescription sheet;
  sheet.caption = kSheetCaption;
  sheet.pageCount = options.pageCount == 3 ? 3 : 1;
  sheet.layout = chooseLayout(ctx.app.isPocketPC, ctx.app.isPortrait);
  for (size_t i = 0; i < sheet.pages.size(); ++i) sheet.templates[i] = pageTemplate(sheet.pages[i], sheet.layout);
  return sheet;
}

void createTextPage(Context& ctx) {
  ctx.ui.setHorizontalExtent(WindowId::TextPage, ids::kTextLog, kTextLogExtent);
  // Start-up's lines (a missing configuration, say) came before the page.
  ctx.textLog.replayEarlyLines();
  auto worker = std::make_shared<Worker>();
  worker->start([&ctx](WorkerControl&) { AutoUpdateThread(ctx); });
  ctx.app.autoUpdateThread.set(worker);
}

PageProcedures makePageProcedures(Context& ctx) {
  PageProcedures p;
  auto endSheet = [&ctx] {
    runShutdown(ctx);
    // The front end registers the quit message; without one the program
    // would go on with nothing running.
    if (ctx.app.postQuit)
      ctx.app.postQuit(0);
    else
      ctx.textLog.append(kNoQuitText);
  };
  p.created = [&ctx](WindowId page) {
    if (page == WindowId::TextPage) createTextPage(ctx);
    if (page == WindowId::InfoPage || page == WindowId::SkyPage) reportMissingEntries(ctx);
  };
  p.command = [endSheet](WindowId, int command) {
    if (command == ids::kOk || command == ids::kCancel) endSheet();
  };
  p.closed = [endSheet](WindowId) { endSheet(); };
  return p;
}

}  // namespace ferrolan
