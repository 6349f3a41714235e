#include "app/data_path_wiring.h"

#include "app/context.h"
#include "control/data_log.h"
#include "datapath/receive_thread.h"
#include "datapath/sentence_dispatch.h"

namespace ferrolan {

void registerDataPath(Context& ctx) {
  ctx.session.receiveEntry = [&ctx](WorkerControl& ctl) { runReceiveThread(ctx, ctl); };
  ctx.session.displayEntry = [&ctx](WorkerControl& ctl) { runDisplayThread(ctx, ctl); };
}

void registerDataLog(Context& ctx) {
  ctx.dataPath.streamLog = &ctx.dataLog;
  ctx.hooks.closeLogAtExit = [&ctx] { closeLogAtExit(ctx); };
}

}  // namespace ferrolan
