#pragma once
// The reconnect: once a connected receiver's port has gone, a worker waits
// for the same name to lead to a device again, connects as before at the
// same rate, says so once, and lets a raw log that was running go on.

#include "datapath/data_path_context.h"
#include "link/link_context.h"
#include "platform/worker.h"

namespace ferrolan {

// Ends once connected again, or when stopped (a Connect or Disconnect by
// hand, the shutdown). Waits on a port watcher, never by polling: a wake
// re-checks the name, and a slow look now and then covers a device whose
// folder nobody watches.
void runReconnect(DataPathContext& data, LinkContext& link, WorkerControl& ctl);

}  // namespace ferrolan
