#include "app/wiring.h"

#include "app/context.h"
#include "control/command_thread.h"
#include "control/data_log.h"
#include "datapath/fix_display.h"
#include "datapath/receive_thread.h"
#include "datapath/reconnect.h"
#include "datapath/satellite_display.h"
#include "datapath/sentence_dispatch.h"
#include "driver/device_manager.h"
#include "ephemeris/ephemeris_upload.h"
#include "update/update_dialog.h"
#include "update/update_procedures.h"

namespace ferrolan {

void registerDriver(Context& ctx) {
  ctx.deviceManager = std::make_unique<ProcessDeviceManager>(ctx.root, ctx.registry, defaultPortdPath(), ctx.clock);
  ctx.hooks.closeDriverHandles = [&ctx] { closeDriverHandles(ctx.driverDevices); };
}

void registerAll(Context& ctx) {
  registerDataPath(ctx);
  registerDataLog(ctx);
  registerCommandThread(ctx);
  registerEphemerisUpload(ctx);
  registerDriver(ctx);
}

void registerDataPath(Context& ctx) {
  ctx.session.receiveEntry = [&ctx](WorkerControl& ctl) { runReceiveThread(ctx, ctl); };
  ctx.session.displayEntry = [&ctx](WorkerControl& ctl) { runDisplayThread(ctx, ctl); };
  ctx.session.reconnectEntry = [&ctx](WorkerControl& ctl) { runReconnect(ctx, ctx, ctl); };
  registerDisplays(ctx);
}

void registerDisplays(Context& ctx) {
  DisplayContext d{ctx, ctx.display, ctx.app.isPocketPC, ctx.app.isPortrait};
  auto routine = [d](void (*show)(DisplayContext&)) {
    return [d, show]() mutable { show(d); };
  };
  RefreshTable& r = ctx.dataPath.refresh;
  r[sentenceEvents::kGpGsa] = routine(showGsa);
  r[sentenceEvents::kGpGsv] = routine(showGsv);
  r[sentenceEvents::kGpRmc] = routine(showRmc);
  r[sentenceEvents::kSvMeasData] = routine(showSvMeasurements);
  r[sentenceEvents::kSvSoluData] = routine(showPvtSolution);
  ctx.session.clearSatelliteDisplay = routine(cleanDisplays);
}

void registerCommandThread(Context& ctx) {
  ctx.hooks.commandThread = [&ctx](WorkerControl& ctl) { runCommandThread(ctx, ctl); };
  CommandProcedures& p = ctx.commandProcedures;
  auto procedure = [&ctx](int section, void (*run)(UpdateContext&)) {
    return [&ctx, section, run] { updateFromMenu(ctx, section, run); };
  };
  p.firmwareUpdate = procedure(ids::kUpdFirmware, updateFirmware);
  p.flashKernelUpdate = procedure(ids::kUpdFlashKernel, updateFlashKernel);
  p.fsaUpdate = procedure(ids::kUpdFsa, updateFsa);
  p.allImageUpdate = procedure(ids::kUpdAllImage, updateAllImage);
}

// Its result is shown in the TextLog; nobody reads the answer.
void registerEphemerisUpload(Context& ctx) {
  ctx.commandProcedures.ephemerisUpload = [&ctx] { uploadEphemeris(ctx); };
}

void registerDataLog(Context& ctx) {
  ctx.dataPath.streamLog = &ctx.dataLog;
  ctx.hooks.closeLogAtExit = [&ctx] { closeLogAtExit(ctx); };
}

}  // namespace ferrolan
