#pragma once
// The receive thread: the one continuous reader of the receiver's port
// while connected. It reads one byte per call and, by the protocol mode,
// frames NMEA lines (shown at the top of the TextLog, logged, dispatched)
// or VBI frames (handed to the binary intake, their names added at the end
// of the TextLog, every byte fed to the raw log).

#include "datapath/data_path_context.h"
#include "platform/worker.h"

namespace ferrolan {

// The line the thread adds when the device goes away under it.
inline constexpr const char* kLineLostText = "COM port lost: the receiver is disconnected..";
// The line the reconnect adds when that port has come back and is connected again.
inline constexpr const char* kLineBackText = "COM port back: connected again..";

// Runs while the session is connected; parks between reads when held. A
// line that hangs up ends the connection: the raw log is written out, the
// port closed, `connected` cleared, and the reconnect started.
void runReceiveThread(DataPathContext& ctx, WorkerControl& ctl);

}  // namespace ferrolan
