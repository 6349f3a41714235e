#include "link/settings_dialogs.h"

#include <string>
#include <vector>

#include "core/text.h"
#include "link/command_sentences.h"
#include "link/link_context.h"
#include "link/serial_session.h"
#include "platform/line_speeds.h"
#include "ui/dialog_lists.h"
#include "ui/ids.h"

namespace ferrolan {

static_assert(std::size(kRateList) == kRateCodes.size());

DialogProcedures comPortSetupProcedures(LinkContext& ctx, DialogHost& host) {
  DialogProcedures p;
  p.initialized = [&ctx](WindowId w) {
    const auto ports = listOf(kPortList);
    const auto bauds = listOf(kBaudList);
    fillList(ctx.ui, w, ids::kComPortBox, ports, findEntry(ports, ctx.session.portName.get()));
    fillList(ctx.ui, w, ids::kComBaudBox, bauds, findEntry(bauds, ctx.session.baudText.get()));
    if (ctx.session.connected)
      ctx.ui.setText(w, ids::kComStatus, ctx.session.protocolMode == ProtocolMode::Nmea ? "Receive NMEA" : "Receive VBI");
  };
  p.command = [&ctx, &host](WindowId w, int command) {
    switch (command) {
      case ids::kComConnect:
        ctx.ui.setText(w, ids::kComStatus, "Please wait");
        ctx.ui.repaint(w);
        if (ctx.session.dualPortActive) {
          // The shared-port driver's debug port must carry the binary stream.
          connectReceiver(ctx);
          sendSwitchToVbi(ctx);
          ctx.session.protocolMode = ProtocolMode::Vbi;
        }
        if (connectReceiver(ctx)) host.endDialog(w, ids::kOk);
        break;
      case ids::kComDisconnect:
        ctx.ui.setText(w, ids::kComStatus, "Not connect");
        ctx.ui.repaint(w);
        disconnectReceiver(ctx);
        break;
      case ids::kOk:
      case ids::kCancel:
        host.endDialog(w, command);
        break;
      default:
        break;
    }
  };
  return p;
}

DialogProcedures singleChannelProcedures(LinkContext& ctx, DialogHost& host) {
  DialogProcedures p;
  p.initialized = [&ctx](WindowId w) {
    std::vector<std::string> satellites;
    for (int id = 1; id <= kSatelliteIds; ++id) satellites.push_back(std::to_string(id));
    fillList(ctx.ui, w, ids::kScIdBox, std::move(satellites), kSatelliteIds - 1);
  };
  p.command = [&ctx, &host](WindowId w, int command) {
    switch (command) {
      case ids::kScEnter: {
        writeText(ctx, kLeaveSingleChannel);
        const std::string id = bounded(ctx.ui.text(w, ids::kScIdBox), kDialogTextCapacity);
        writeText(ctx, composeSentence("$PKRV08," + id));
        host.endDialog(w, command);
        break;
      }
      case ids::kScExit:
        writeText(ctx, kLeaveSingleChannel);
        host.endDialog(w, command);
        break;
      case ids::kCancel:
        host.endDialog(w, command);
        break;
      default:
        break;
    }
  };
  return p;
}

DialogProcedures fsaModifyProcedures(LinkContext& ctx, DialogHost& host) {
  DialogProcedures p;
  p.initialized = [&ctx](WindowId w) {
    fillList(ctx.ui, w, ids::kFsaBaudBox, listOf(kBaudList), 1);
    ctx.ui.setEnabled(w, ids::kFsaBaudBox, false);
    for (const RateBox& r : kRateBoxes) {
      fillList(ctx.ui, w, r.box, listOf(kRateList), r.initial);
      ctx.ui.setEnabled(w, r.box, false);
    }
    ctx.ui.setChecked(w, ids::kFsaChangeBaud, false);
    ctx.ui.setChecked(w, ids::kFsaChangeOutput, false);
  };
  p.command = [&ctx, &host](WindowId w, int command) {
    switch (command) {
      case ids::kFsaChangeBaud:
        ctx.ui.setEnabled(w, ids::kFsaBaudBox, ctx.ui.checked(w, ids::kFsaChangeBaud));
        break;
      case ids::kFsaChangeOutput: {
        const bool on = ctx.ui.checked(w, ids::kFsaChangeOutput);
        for (const RateBox& r : kRateBoxes) ctx.ui.setEnabled(w, r.box, on);
        break;
      }
      case ids::kOk:
        if (ctx.ui.checked(w, ids::kFsaChangeBaud)) {
          const int baud = decimalValue(bounded(ctx.ui.text(w, ids::kFsaBaudBox), kDialogTextCapacity));
          if (const LineSpeed* s = baud > 0 ? lineSpeedFor(static_cast<uint32_t>(baud)) : nullptr)
            writeText(ctx, composeSentence(format("$PKRV09,2,%d", s->storedCode)));
          ctx.clock.sleepMs(kStoredBaudPauseMs);
          writeText(ctx, kFsaClosingSentence);
        }
        if (ctx.ui.checked(w, ids::kFsaChangeOutput)) {
          for (const RateBox& r : kRateBoxes) {
            // A typed text has no position in the list: that item is left
            // as the receiver has it rather than sent with a guessed code.
            const int position = ctx.ui.selection(w, r.box);
            if (position < 0 || position >= static_cast<int>(kRateCodes.size())) continue;
            writeText(ctx, composeSentence(format("$PKRV09,%d,%d", r.item, kRateCodes[static_cast<size_t>(position)])));
            ctx.clock.sleepMs(kRatePauseMs);
          }
          writeText(ctx, kFsaClosingSentence);
        }
        host.endDialog(w, command);
        break;
      case ids::kCancel:
        host.endDialog(w, command);
        break;
      default:
        break;
    }
  };
  return p;
}

}  // namespace ferrolan
