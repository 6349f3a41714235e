#include "shell/shutdown.h"

#include "app/context.h"

namespace ferrolan {

void runShutdown(Context& ctx) {
  if (ctx.hooks.closeLogAtExit) ctx.hooks.closeLogAtExit();
  // The unattended update is not stopped: it ends with the process.
  for (SharedHandle<Worker>* h : {&ctx.session.receiveThread, &ctx.session.displayThread,
                                  &ctx.session.commandThread, &ctx.app.updateThread}) {
    if (auto w = h->take()) w->stop();
  }
  if (auto port = ctx.session.portHandle.take()) {
    port->close();
    ctx.session.connected = 0;
  }
  ctx.update.updateFile.reset();
  for (std::string_view name : kShutdownEventOrder) ctx.openEvents.close(std::string(name));
  if (ctx.hooks.closeDriverHandles) ctx.hooks.closeDriverHandles();
}

}  // namespace ferrolan

namespace ferrolan {

void shutDownAndQuit(Context& ctx) {
  ctx.app.sheetClosing = 1;
  runShutdown(ctx);
  // Without a registered quit the program would go on with nothing running.
  if (ctx.app.postQuit)
    ctx.app.postQuit(0);
  else
    ctx.textLog.append(kNoQuitText);
}

}  // namespace ferrolan
