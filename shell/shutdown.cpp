#include "shell/shutdown.h"

#include "app/context.h"

namespace ferrolan {

void runShutdown(Context& ctx) {
  // First, so that no line comes back and no log goes on behind the rest.
  stopReconnect(ctx.session);
  if (ctx.hooks.closeLogAtExit) ctx.hooks.closeLogAtExit();
  // The unattended update is not stopped: it ends with the process. So
  // does a firmware update, on its own thread or on the command thread: it
  // looks at no stop request, and waiting for it could take minutes after
  // the user asked to leave.
  const bool updating = ctx.update.procedureRunning > 0;
  for (SharedHandle<Worker>* h : {&ctx.app.playbackThread, &ctx.session.receiveThread, &ctx.session.displayThread,
                                  &ctx.session.commandThread, &ctx.app.updateThread}) {
    if (updating && (h == &ctx.session.commandThread || h == &ctx.app.updateThread)) continue;
    if (auto w = h->take()) w->stop();
  }
  if (!updating) {  // else the port and the file belong to the update
    if (auto port = ctx.session.portHandle.take()) {
      port->close();
      ctx.session.connected = false;
    }
    ctx.update.updateFile.reset();
  }
  for (std::string_view name : kShutdownEventOrder) ctx.openEvents.close(std::string(name));
  if (ctx.hooks.closeDriverHandles) ctx.hooks.closeDriverHandles();
}

}  // namespace ferrolan

namespace ferrolan {

void shutDownAndQuit(Context& ctx) {
  ctx.app.sheetClosing = true;
  runShutdown(ctx);
  // Without a registered quit the program would go on with nothing running.
  if (ctx.app.postQuit)
    ctx.app.postQuit(0);
  else
    ctx.textLog.append(kNoQuitText);
}

}  // namespace ferrolan
