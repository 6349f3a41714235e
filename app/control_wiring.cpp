#include "app/control_wiring.h"

#include "app/context.h"
#include "control/command_thread.h"
#include "control/data_log.h"

namespace ferrolan {

void registerCommandThread(Context& ctx) {
  ctx.hooks.commandThread = [&ctx](WorkerControl& ctl) { runCommandThread(ctx, ctl); };
}

void registerDataLog(Context& ctx) {
  ctx.dataPath.streamLog = &ctx.dataLog;
  ctx.hooks.closeLogAtExit = [&ctx] { closeLogAtExit(ctx); };
}

}  // namespace ferrolan
