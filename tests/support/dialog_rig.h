#pragma once
// One dialog on the UI model, opened from its template with its procedure
// and driven by clicks, for the dialogs' tests.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"
#include "ui/dialog_host.h"

namespace ferrolan {

struct EndRecorder final : DialogHost {
  int runDialog(WindowId, DialogProcedures) override { return 0; }
  void endDialog(WindowId, int result) override { ended.push_back(result); }
  std::vector<int> ended;
};

// One dialog opened from its template with its procedure, the scripted
// port attached, every write stamped with the virtual time it left at.
struct DialogRig {
  test::ScriptedRig rig;
  EndRecorder host;
  WindowId window;
  DialogProcedures procedures;
  std::vector<std::pair<uint32_t, std::string>> sent;

  DialogRig(WindowId w, const std::function<DialogProcedures(Context&, DialogHost&)>& make) : window(w) {
    rig.attach();
    rig.port->onWrite([this](ScriptedPort&, const ScriptedPort::Bytes& b) {
      sent.emplace_back(rig.clock.tickCount(), std::string(b.begin(), b.end()));
    });
    procedures = make(rig.ctx, host);
    rig.ui.openWindow(w, initialControls(static_cast<int>(w)));
    procedures.initialized(w);
  }
  void click(int id) { procedures.command(window, id); }
  void check(int id) {
    rig.ui.setChecked(window, id, !rig.ui.checked(window, id));
    click(id);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& [at, text] : sent) out.push_back(text);
    return out;
  }
};

}  // namespace ferrolan
