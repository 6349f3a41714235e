#include "shell/startup.h"

#include "app/context.h"
#include "shell/shutdown.h"
#include "shell/tool_pages.h"
#include "update/auto_update.h"
#include "update/auto_update_config.h"

namespace ferrolan {

SheetDescription startUp(Context& ctx, const StartupOptions& options) {
  ctx.app.appInstance = true;
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
  // A playback has no receiver to update: it plays the log instead.
  if (ctx.hooks.playback) {
    worker->start(ctx.hooks.playback);
    ctx.app.playbackThread.set(worker);
    return;
  }
  worker->start([&ctx](WorkerControl&) { AutoUpdateThread(ctx); });
  ctx.app.autoUpdateThread.set(worker);
}

PageProcedures makePageProcedures(Context& ctx) {
  PageProcedures p;
  // The front end's host, known once it has started.
  auto host = std::make_shared<SheetHost*>(nullptr);
  p.started = [host](SheetHost& h) { *host = &h; };
  p.created = [&ctx](WindowId page) {
    if (page == WindowId::TextPage)
      createTextPage(ctx);
    else
      createToolPage(ctx, page);
  };
  p.activated = [&ctx](WindowId page, bool active) { activateToolPage(ctx, page, active); };
  p.command = [&ctx, host](WindowId page, int command) { dispatchCommand(ctx, *host, page, command); };
  p.closed = [&ctx](WindowId) { shutDownAndQuit(ctx); };
  return p;
}

}  // namespace ferrolan
