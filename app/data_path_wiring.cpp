#include "app/data_path_wiring.h"

#include "app/context.h"
#include "datapath/receive_thread.h"
#include "datapath/sentence_dispatch.h"

namespace ferrolan {

void registerDataPath(Context& ctx) {
  ctx.session.receiveEntry = [&ctx](WorkerControl& ctl) { runReceiveThread(ctx, ctl); };
  ctx.session.displayEntry = [&ctx](WorkerControl& ctl) { runDisplayThread(ctx, ctl); };
}

}  // namespace ferrolan
