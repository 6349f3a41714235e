#pragma once
// The shutdown sequence: every handle is tested before use and marked
// invalid after, so the sequence may run twice.

namespace ferrolan {

struct Context;

// The named events in the order shutdown closes them.
inline constexpr const char* kShutdownEventOrder[] = {
    "gpsEvtHotStart", "gpsEvtWarmStart", "gpsEvtColdStart", "gpsEvtReset",      "gpsEvtFWUpdate",
    "gpsEvtFKUpdate", "gpsEvtSPUpdate",  "gpsEvtAllUpdate", "gpsEvtFWVersion",  "gpsEvtStartLog",
    "gpsEvtStopLog",  "gpsEvtToNMEA",    "gpsEvtToVBI",     "gpsEvtGPAPB",      "gpsEvtGPBOD",
    "gpsEvtGPGGA",    "gpsEvtGPGLL",     "gpsEvtGPGSA",     "gpsEvtGPGSV",      "gpsEvtGPRMB",
    "gpsEvtGPRMC",    "gpsEvtGPRTE",     "gpsEvtGPWPL",     "gpsEvtSVMEASDATA", "gpsEvtSVSOLUDATA",
    "gpsEvtBaudRate",
};

void runShutdown(Context& ctx);

}  // namespace ferrolan
