#include "update/update_dialog.h"

#include <algorithm>

#include "update/update_context.h"
#include "update/update_procedures.h"

namespace ferrolan {

namespace {

using W = WindowId;

constexpr char kKernelSignature[] = "FRK";

static_assert(kSectionFileChecks[0].minSize == 409600 && kSectionFileChecks[0].maxSize == 491520);
static_assert(kSectionFileChecks[3].minSize == 16384 && kSectionFileChecks[3].maxSize == 32768);

void errorBox(UpdateContext& ctx, const char* text, const char* caption = "Error") {
  const bool open = ctx.ui.isOpen(W::UpdateFirmware);
  ctx.ui.messageBox(open ? std::optional<WindowId>(W::UpdateFirmware) : std::nullopt, text, caption, kMbOk);
}

const SectionFileCheck* checkedSection(UpdateContext& ctx) {
  for (const SectionFileCheck& c : kSectionFileChecks)
    if (ctx.ui.checked(W::UpdateFirmware, c.radio)) return &c;
  return nullptr;
}

bool hasKernelSignature(UpdateFile& file) {
  uint8_t head[32] = {};
  if (file.read(head, sizeof head) != static_cast<long>(sizeof head)) return false;
  return std::equal(kKernelSignature, kKernelSignature + 3, head + kSignatureOffset);
}

const SectionFileCheck* sectionCheck(int radio) {
  for (const SectionFileCheck& c : kSectionFileChecks)
    if (c.radio == radio) return &c;
  return nullptr;
}

// The section's checks on the open update file, which they close; the
// box's text when it fails.
const char* fileProblem(UpdateContext& ctx, const SectionFileCheck& section) {
  auto file = ctx.update.updateFile.get();
  const uint64_t size = file ? file->size() : 0;
  const bool sizeOk = file && size >= section.minSize && size <= section.maxSize;
  const bool signatureOk = !section.kernelSignature || (sizeOk && hasKernelSignature(*file));
  ctx.update.updateFile.reset();
  if (!sizeOk) return "Incorrect File Size!";
  if (!signatureOk) return "Incorrect Signature !";
  return nullptr;
}

// The checks of the Update button; true when the thread may start.
bool checkFile(UpdateContext& ctx) {
  if (!openNamedUpdateFile(ctx)) {
    errorBox(ctx, "Open File Failed!");
    return false;
  }
  const SectionFileCheck* section = checkedSection(ctx);
  if (!section) return true;  // nothing to check; the file stays open
  if (const char* problem = fileProblem(ctx, *section)) {
    errorBox(ctx, problem);
    return false;
  }
  return true;
}

}  // namespace

DialogProcedures updateFirmwareProcedures(UpdateContext& ctx, DialogHost& host, UpdateDialogActions actions) {
  DialogProcedures p;
  p.initialized = [&ctx](W w) {
    ctx.ui.setChecked(w, ids::kUpdFirmware, true);
    // Only FSA and the firmware can be chosen here; the other two
    // sections are updated from the menu.
    ctx.ui.setEnabled(w, ids::kUpdFlashKernel, false);
    ctx.ui.setEnabled(w, ids::kUpdFsa, true);
    ctx.ui.setEnabled(w, ids::kUpdFirmware, true);
    ctx.ui.setEnabled(w, ids::kUpdAllImage, false);
    ctx.ui.setText(w, ids::kUpdStatus, "Ready");
  };
  p.command = [&ctx, &host, actions = std::move(actions)](W w, int command) {
    switch (command) {
      case ids::kUpdLoadFile:
        if (auto path = ctx.ui.openFile(kUpdateFileTitle, kUpdateFileFilter))
          ctx.ui.setText(w, ids::kUpdFileName, *path);
        ctx.ui.setEnabled(w, ids::kUpdUpdate, true);
        return;
      case ids::kUpdUpdate:
        if (!checkFile(ctx)) return;
        // Counted from before the start, so that a shutdown in between
        // already leaves the thread alone.
        ++ctx.update.procedureRunning;
        if (!actions.startThread || !actions.startThread([&ctx] {
              runUpdateThread(ctx);
              --ctx.update.procedureRunning;
            })) {
          --ctx.update.procedureRunning;
          errorBox(ctx, "Create thread failed!", "Update");
          return;
        }
        ctx.ui.setEnabled(w, ids::kUpdUpdate, false);
        ctx.ui.setEnabled(w, ids::kUpdLoadFile, false);
        return;
      case ids::kCancel:
        host.endDialog(w, 0);
        if (actions.quit) actions.quit();
        return;
      default:
        return;
    }
  };
  return p;
}

void runUpdateThread(UpdateContext& ctx) {
  showUpdateStatus(ctx, "Connecting...");
  ctx.textLog.reset();
  struct Row {
    int radio;
    const char* status;
    void (*procedure)(UpdateContext&);
  };
  static constexpr Row kRows[] = {
      {ids::kUpdAllImage, "Update All-Image     !", updateAllImage},
      {ids::kUpdFirmware, "Update F/W     !", updateFirmware},
      {ids::kUpdFsa, "Update FSA     !", updateFsa},
      {ids::kUpdFlashKernel, "Update Flash Kernel!", updateFlashKernel},
  };
  for (const Row& r : kRows) {
    if (!ctx.ui.checked(W::UpdateFirmware, r.radio)) continue;
    showUpdateStatus(ctx, r.status);
    r.procedure(ctx);
    break;
  }
  ctx.update.updateFile.reset();
}

}  // namespace ferrolan

namespace ferrolan {

void updateFromMenu(UpdateContext& ctx, int sectionRadio, void (*procedure)(UpdateContext&)) {
  if (!ctx.ui.isOpen(W::UpdateFirmware)) {
    const auto path = ctx.ui.openFile(kUpdateFileTitle, kUpdateFileFilter);
    if (!path) {
      ctx.textLog.append("No file chosen: nothing was sent.");
      return;
    }
    ctx.update.menuFileName.set(*path);
    const SectionFileCheck* section = sectionCheck(sectionRadio);
    if (!openNamedUpdateFile(ctx)) {
      errorBox(ctx, "Open File Failed!");
      return;
    }
    if (const char* problem = section ? fileProblem(ctx, *section) : nullptr) {
      errorBox(ctx, problem);
      return;
    }
  }
  procedure(ctx);
}

}  // namespace ferrolan
