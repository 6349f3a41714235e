#include "shell/console_sheet.h"

#include "app/context.h"
#include "platform/process.h"
#include "shell/console_front_end.h"
#include "shell/front_end.h"
#include "shell/page_templates.h"
#include "shell/shutdown.h"

namespace ferrolan {

int runConsoleSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures) {
  ConsoleFrontEnd console(ctx.ui, ctx.clock, stdout, stderr, stderrIsTerminal(), terminalColumns());
  // The run ends when the page's worker does; the quit has nothing left to end.
  ctx.app.postQuit = [](int) {};
  ctx.ui.openWindow(WindowId::TextPage, initialControls(sheet.templates[0]));
  if (procedures.created) procedures.created(WindowId::TextPage);
  if (auto worker = ctx.app.autoUpdateThread.get()) worker->wait();
  if (procedures.closed) procedures.closed(WindowId::TextPage);
  runShutdown(ctx);  // a second run does nothing
  return console.status() == "OK" ? 0 : 1;
}

}  // namespace ferrolan
