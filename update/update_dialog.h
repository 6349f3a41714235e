#pragma once
// The Update Firmware dialog: the section, the file and its checks, then
// the UpdateThread that runs the section's procedure. Leaving the dialog
// ends the application, as the update texts tell the user to.

#include <array>
#include <cstdint>
#include <functional>

#include "ui/dialog_host.h"
#include "ui/ids.h"

namespace ferrolan {

struct UpdateContext;

// What a section's file must be. The radios are listed in the order the
// dialog looks at them.
struct SectionFileCheck {
  int radio;
  uint64_t minSize, maxSize;
  bool kernelSignature;  // bytes 28..30 are "FRK"
};

inline constexpr std::array<SectionFileCheck, 4> kSectionFileChecks{{
    {ids::kUpdFirmware, 409600, 491520, false},
    {ids::kUpdAllImage, 524288, 524288, false},
    {ids::kUpdFsa, 8192, 8192, false},
    {ids::kUpdFlashKernel, 16384, 32768, true},
}};
inline constexpr size_t kSignatureOffset = 28;

// What the dialog asks of the application.
struct UpdateDialogActions {
  // Runs the body on a new thread; false when it cannot be started.
  std::function<bool(std::function<void()> body)> startThread;
  // The application's shutdown and quit.
  std::function<void()> quit;
};

DialogProcedures updateFirmwareProcedures(UpdateContext& ctx, DialogHost& host, UpdateDialogActions actions);

// The UpdateThread's body: the procedure of the first checked section.
void runUpdateThread(UpdateContext& ctx);

// An update asked for from the menu, with no dialog to name the file: the
// file is chosen first and checked as the dialog checks it for that
// section (the radio's id), and nothing reaches the receiver without one.
void updateFromMenu(UpdateContext& ctx, int sectionRadio, void (*procedure)(UpdateContext&));

}  // namespace ferrolan
