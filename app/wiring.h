#pragma once
// Where the subsystems plug into the process: the entries and hooks that
// the link, the pages and the shutdown call, set once after the Context is
// built.

namespace ferrolan {

struct Context;

// Everything below, as the program runs it.
void registerAll(Context& ctx);

// The receive and display threads that connectReceiver starts, the
// reconnect a lost line starts, and the display routines.
void registerDataPath(Context& ctx);
// The refresh routines of the Info and Sky pages and the clearing of the
// satellite display alone; registerDataPath runs it.
void registerDisplays(Context& ctx);
// The command thread that the Info and Sky pages start.
void registerCommandThread(Context& ctx);
// The raw log: fed by the receive thread, closed by the shutdown.
void registerDataLog(Context& ctx);
// The long-term ephemeris upload that the command thread runs for
// gpsEvtReset.
void registerEphemerisUpload(Context& ctx);

// The device manager that runs the shared-port driver, and the shutdown's
// letting go of its devices.
void registerDriver(Context& ctx);

}  // namespace ferrolan
