// The four update procedures against the simulated receiver on the virtual
// clock: every section by every path the receiver can take, what ends up
// in its flash, and the status the procedure leaves.
#include "link/serial_session.h"
#include "tests/support/files.h"
#include "tests/support/sim_line.h"
#include "tests/support/test_support.h"
#include "update/update_procedures.h"

namespace ferrolan {
namespace {

using sim::Section;
using sim::StartState;

// The receiver as the user finds it, and how many times the user answers
// a request to power-cycle it (a few seconds after the request).
struct Setup {
  StartState start = StartState::Firmware;
  bool kernel = true;
  bool printsZ = true;
  bool vbi = false;
  bool refuse = false;
  sim::Generation generation = sim::Generation::PII;
  int powerCycles = 0;
  size_t cutAfter = 0;  // the line dies after this many bytes (0: never)
  sim::XmodemFaults xmodem = {};
};

struct UpdateRig {
  VirtualClock clock{1000};
  test::TempDir dir;
  const std::string& root = dir.path;
  std::unique_ptr<test::SimLine> line;
  std::unique_ptr<test::SimLineOpener> opener;
  UiModel ui;
  test::RecordingHost host;
  std::unique_ptr<Context> ctx;
  std::vector<std::string> statuses;
  int cyclesLeft = 0;

  explicit UpdateRig(const Setup& s) : cyclesLeft(s.powerCycles) {
    sim::ReceiverConfig cfg;
    cfg.start = s.start;
    cfg.kernelInstalled = s.kernel;
    cfg.kernel.printsZ = s.printsZ;
    cfg.startInVbi = s.vbi;
    cfg.refuseUpdate = s.refuse;
    cfg.generation = s.generation;
    cfg.storeDir = root;
    line = std::make_unique<test::SimLine>(clock, cfg);
    if (s.cutAfter) line->cutAfter(s.cutAfter);
    line->withReceiver([&](sim::Receiver& rx) {
      rx.setXmodemFaults(s.xmodem);
      return 0;
    });
    opener = std::make_unique<test::SimLineOpener>(*line);
    ctx = std::make_unique<Context>(clock, *opener, ui, root, "");
    ui.setHost(&host);
    ui.openWindow(WindowId::TextPage, initialControls(static_cast<int>(WindowId::TextPage)));
    ui.openWindow(WindowId::UpdateFirmware, initialControls(static_cast<int>(WindowId::UpdateFirmware)));
    ui.addListener([this](const UiChange& c) {
      if (c.window != WindowId::UpdateFirmware || c.control != ids::kUpdStatus || c.kind != UiChangeKind::Text)
        return;
      statuses.push_back(c.text);
      const bool asked =
          c.text.find("Off And On") != std::string::npos || c.text.find("Off and On") != std::string::npos;
      if (asked && cyclesLeft-- > 0) line->powerCycleAt(clock.tickCount() + 3200);
    });
    ctx->session.protocolMode = s.vbi ? ProtocolMode::Vbi : ProtocolMode::Nmea;
    ctx->session.portName.set("COM1:");
    openPort(*ctx, "COM1:", 9600);
  }
};

struct Row {
  const char* name;
  void (*procedure)(UpdateContext&);
  Setup setup;
  size_t fileSize;
  const char* status;                 // the last status
  std::optional<Section> stored;      // the section that received the file
  const char* also = nullptr;         // a status on the way
  std::optional<Section> first = {};  // an upload before it (the loader)
};

TEST(UpdateProcedures, EachSectionByEachPathStoresTheFile) {
  using G = sim::Generation;
  using enum Section;
  const auto none = std::nullopt;
  const Row rows[] = {
      {"kernel by command, menu", updateFlashKernel, {}, 16384, "Update Completed.", FlashKernel,
       "Command ACK Recived"},
      {"kernel by command, no Z", updateFlashKernel, {.printsZ = false}, 16384, "Update FK Completed.", FlashKernel},
      {"kernel by VBI command", updateFlashKernel, {.vbi = true}, 16384, "Update Completed.", FlashKernel,
       "Send VBI Commmand."},
      {"kernel after power cycle", updateFlashKernel, {.start = StartState::BootRom, .powerCycles = 1}, 16384,
       "Update Completed.", FlashKernel, "Please Turn Off And On Power!"},
      {"kernel through the boot ROM", updateFlashKernel,
       {.start = StartState::BootRom, .kernel = false, .generation = G::PI, .powerCycles = 1}, 524288,
       "Update  Completed. Please Exit AP", AllImage, "No Flash Kernel,Go to I-ROM.", Loader},
      {"kernel through a PII boot ROM", updateFlashKernel,
       {.start = StartState::BootRom, .kernel = false, .generation = G::PII, .powerCycles = 1}, 524288,
       "Update  Failed.Please Exit AP", none, "Start to update All-Image."},
      {"FSA by command", updateFsa, {}, 8192, "Update FSA success...!", Fsa, "Command ACK Recived"},
      {"FSA by VBI command", updateFsa, {.vbi = true}, 8192, "Update FSA success...!", Fsa, "Send VBI Command"},
      // The FSA command's VBI form is never acknowledged: a refusing
      // receiver shows only when no upload is asked for.
      {"FSA refused", updateFsa, {.refuse = true}, 8192, "Please update FW again!", none, "Update FSA fail... "},
      {"kernel refused", updateFlashKernel, {.refuse = true}, 16384, "Fail in gpsSendVBICommand", none},
      {"FSA from the kernel menu", updateFsa, {.start = StartState::FlashKernel}, 8192, "Update Completed.", Fsa,
       "Go to Flash-Kernel."},
      {"FSA, no kernel", updateFsa, {.start = StartState::BootRom, .kernel = false}, 8192,
       "Please update Flash-Kernel first.", none},
      {"firmware by command, menu", updateFirmware, {}, 409600, "Update FW Completed.", Firmware, "Go to Flash-Kernel"},
      {"firmware by command, no Z", updateFirmware, {.printsZ = false}, 491520, "Update FW Completed.", Firmware,
       "Flash erased."},
      {"firmware after power cycle", updateFirmware, {.start = StartState::BootRom, .powerCycles = 1}, 409600,
       "Update FW Completed.", Firmware, "Power Off and On Device!"},
      {"firmware, no kernel", updateFirmware, {.start = StartState::BootRom, .kernel = false, .powerCycles = 1},
       409600, "Update Flash-Kernel First.", none},
      {"all-image by command", updateAllImage, {}, 524288, "Update FW Completed.", AllImage, "Wait..."},
      {"all-image in VBI mode", updateAllImage, {.vbi = true}, 524288, "Fail in gpsSendNMEACommand", none},
      {"all-image from the kernel menu", updateAllImage, {.start = StartState::BootRom, .powerCycles = 1}, 524288,
       "Update Completed", AllImage, "zzz received."},
      {"all-image through a PII boot ROM", updateAllImage,
       {.start = StartState::BootRom, .kernel = false, .generation = G::PII, .powerCycles = 2}, 524288,
       "Update  Completed.", AllImage, "Update mode PII     ", Loader},
      {"all-image through a PI boot ROM", updateAllImage,
       {.start = StartState::BootRom, .kernel = false, .generation = G::PI, .powerCycles = 2}, 524288,
       "Update  Completed.", AllImage, "Update mode PI     ", Loader},
      // Faults: the line dies mid-transfer, the receiver NAKs every block,
      // or it loses one acknowledgement (which a resend repairs).
      {"firmware, cable pulled", updateFirmware, {.printsZ = false, .cutAfter = 200000}, 409600, "Update FW Failed.",
       none},
      {"FSA, NAK storm", updateFsa, {.xmodem = {.nakStorm = true}}, 8192, "Please update FW again!", none},
      {"FSA, one ACK lost", updateFsa, {.xmodem = {.loseAckOfBlock = 3}}, 8192, "Update FSA success...!", Fsa},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UpdateRig rig(row.setup);
    auto data = test::pattern(row.fileSize, static_cast<uint32_t>(row.fileSize));
    if (row.procedure == updateFlashKernel && row.fileSize < 65536) std::copy_n("FRK", 3, data.begin() + 28);
    const std::string path = rig.dir.file("image.bin", std::string(data.begin(), data.end()));
    rig.ui.setText(WindowId::UpdateFirmware, ids::kUpdFileName, path);
    rig.host.setNextFile(path);  // the boot ROM path asks again
    row.procedure(*rig.ctx);

    ASSERT_FALSE(rig.statuses.empty());
    EXPECT_EQ(rig.statuses.back(), row.status)
        << testing::PrintToString(rig.statuses) << testing::PrintToString(rig.ctx->textLog.lines());
    if (row.also) {
      EXPECT_NE(std::find(rig.statuses.begin(), rig.statuses.end(), row.also), rig.statuses.end()) << row.also;
    }
    const auto images = rig.line->withReceiver([](sim::Receiver& rx) { return rx.images(); });
    ASSERT_EQ(images.size(), static_cast<size_t>(row.stored.has_value()) + row.first.has_value());
    if (row.first) {
      EXPECT_EQ(images.front().section, *row.first);
    }
    if (!row.stored) continue;
    EXPECT_EQ(images.back().section, *row.stored);
    // The file, then zero fill to the last 1024-byte block.
    auto expected = data;
    expected.resize((data.size() + 1023) / 1024 * 1024, 0);
    EXPECT_TRUE(test::readBytes(images.back().path) == expected);
  }
}

TEST(UpdateProcedures, WaitsAndEchoesAsTheUserSeesThem) {
  // A silent receiver without a kernel: the stream probe, the pause and the
  // kernel's wait, and no request to power-cycle.
  UpdateRig fsa({.start = StartState::BootRom, .kernel = false});
  const uint32_t start = fsa.clock.tickCount();
  updateFsa(*fsa.ctx);
  const uint32_t seconds = (fsa.clock.tickCount() - start) / 1000;
  EXPECT_GE(seconds, 22u);
  EXPECT_LE(seconds, 24u);
  for (const auto& s : fsa.statuses) EXPECT_EQ(s.find("Power"), std::string::npos) << s;

  // The echo: lines after reads L-1, 2L-1, ...; the rest is not shown.
  struct EchoRow {
    std::string arriving;
    int n, l;
    std::vector<std::string> lines;
  };
  const EchoRow echoes[] = {
      {"abcdefgh", 8, 4, {"abc", "defg"}},
      {"abcdefgh", 6, 4, {"abc"}},
      {"ab", 5, 3, {"ab", ""}},
      // A zero byte shows as nothing; Latin-1 bytes as their characters.
      {std::string("a\0b\xe9", 4), 4, 4, {"ab"}},
      {"\xe9t\xe9", 4, 4, {"\xc3\xa9t\xc3\xa9"}},
  };
  for (const EchoRow& e : echoes) {
    test::ScriptedRig rig;
    rig.attach();
    rig.port->receive(e.arriving);
    rig.ctx.textLog.reset();
    const std::string all = echoReceiverText(rig.ctx, e.n, e.l);
    EXPECT_EQ(rig.log(), e.lines) << e.arriving;
    EXPECT_EQ(all, e.arriving.substr(0, static_cast<size_t>(e.n)));
  }
}

TEST(UpdateProcedures, StopsTheWorkersAndLeavesNoPortWhenTheReopenFails) {
  UpdateRig rig({.start = StartState::BootRom});
  // The port name no longer opens: the procedure ends at the reopen.
  struct NoPorts final : PortOpener {
    std::shared_ptr<Port> open(const std::string&) override { return nullptr; }
  } none;
  Context ctx(rig.clock, none, rig.ui, rig.root, "");
  ctx.session.portHandle.set(rig.ctx->session.portHandle.get());
  std::vector<std::shared_ptr<Worker>> workers;
  for (auto* h : {&ctx.session.receiveThread, &ctx.session.displayThread, &ctx.session.commandThread}) {
    auto w = std::make_shared<Worker>();
    w->start([](WorkerControl& ctl) {
      while (ctl.checkpoint()) ctl.cancelToken().cancelled();
    });
    h->set(w);
    workers.push_back(w);
  }
  updateFirmware(ctx);
  EXPECT_EQ(rig.statuses.back(), "COM port open Failed!");
  for (const auto& w : workers) EXPECT_FALSE(w->running());
  EXPECT_FALSE(ctx.session.receiveThread.valid() || ctx.session.displayThread.valid() ||
               ctx.session.commandThread.valid() || ctx.session.portHandle.valid());
}

}  // namespace
}  // namespace ferrolan
