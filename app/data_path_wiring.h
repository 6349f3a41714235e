#pragma once
// Plugs the data path into the process: the receive and display threads
// that connectReceiver starts, and the refresh routines of the Info and Sky
// pages with the clearing of the satellite display.

namespace ferrolan {

struct Context;

void registerDataPath(Context& ctx);
// The refresh routines and the clearing alone; registerDataPath runs it.
void registerDisplays(Context& ctx);

}  // namespace ferrolan
