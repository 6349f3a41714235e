#pragma once
// Plugs the data path into the process: the receive and display threads
// that connectReceiver starts.

namespace ferrolan {

struct Context;

void registerDataPath(Context& ctx);

}  // namespace ferrolan
