#pragma once
// The real program under its scripted console, with ferrolan-sim on a
// pseudo-terminal as the receiver, for the tests that drive the tool.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_root_builder.h"
#include "platform/process.h"

namespace ferrolan {

namespace fs = std::filesystem;

// The program under a script, its output read line by line.
struct Tool {
  fs::path root;
  ChildProcess sim, program;
  std::vector<std::string> out;

  Tool() {
    root = makeTempDir("ferrolan-tool-");
    DeviceRootBuilder card(root.string());
    EXPECT_TRUE(card.makeFolders());
    // COM1 and COM8 name nothing: the Text page's unattended update ends at
    // once, and a connect to COM8 fails, whatever serial ports the machine has.
    for (const char* com : {"COM1", "COM8"}) fs::create_symlink(root / "nowhere", card.portPath(com));
  }
  ~Tool() {
    program.stop();
    sim.stop();
    removeTree(root.string());
  }
  void startSim(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {FERROLAN_SIM_PATH, "--link", DeviceRootBuilder(root.string()).portPath("COM2")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ChildOptions o;
    o.stdinPipe = true;
    ASSERT_TRUE(sim.start(argv, o));
    std::string line;
    ASSERT_TRUE(sim.readLine(line, 10000));
  }
  // With inputClosed the program starts with descriptor 0 closed; `extra`
  // goes on its command line.
  void start(bool inputClosed = false, const std::vector<std::string>& extra = {}) {
    ChildOptions o;
    o.stdinPipe = !inputClosed;
    std::vector<std::string> argv = {FERROLAN_PROGRAM_PATH, "--tool", "--console", "--root", root.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    if (inputClosed) argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$@\" <&-", "sh"});
    ASSERT_TRUE(program.start(argv, o));
  }
  void send(const std::string& line) { ASSERT_TRUE(program.writeLine(line)); }
  // Reads until a printed line matches; false when the program ends, stays
  // silent for the time-out, or keeps printing other lines past it.
  template <typename Match>
  bool readUntil(Match match, std::string& found, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (std::chrono::steady_clock::now() < end && program.readLine(line, timeoutMs)) {
      out.push_back(line);
      if (match(line)) {
        found = line;
        return true;
      }
    }
    return false;
  }
  bool until(const std::string& want, int timeoutMs = 30000) {
    std::string found;
    return readUntil([&](const std::string& l) { return l == want; }, found, timeoutMs);
  }
  // As until, for the first line that starts with `prefix`; answers it.
  std::string untilPrefix(const std::string& prefix, int timeoutMs = 30000) {
    std::string found;
    if (readUntil([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, found, timeoutMs)) return found;
    ADD_FAILURE() << "nothing printed starts with " << prefix << lastLines();
    return {};
  }
  // The tail of what was printed, for a failure message.
  std::string lastLines(size_t n = 12) const {
    std::string s = "\nlast printed:";
    for (size_t i = out.size() > n ? out.size() - n : 0; i < out.size(); ++i) s += "\n  " + out[i];
    return s;
  }
  // Sends each line and reads until its answer; stops at the first missing.
  bool steps(const std::vector<std::pair<std::string, std::string>>& rows) {
    for (const auto& [in, want] : rows) {
      send(in);
      if (!until(want)) {
        ADD_FAILURE() << in << " did not print " << want << lastLines();
        return false;
      }
    }
    return true;
  }
  // Info page, COM Port Setup, the simulator's line at 9600, Connect.
  bool connect() {
    return steps({
        {"page info", "open info"},
        {"cmd 40001", "open dlg104"},
        {"set 1002 COM2:", "select dlg104:1002 1 COM2:"},
        {"set 1003 9600", "select dlg104:1003 1 9600"},
        {"click 1000", "text dlg104:1004 Receive NMEA"},
    });
  }
  bool printed(const std::string& line) const { return std::find(out.begin(), out.end(), line) != out.end(); }
  // The simulator's state line, polled until it holds `part`.
  bool simState(const std::string& part, int tries = 100) {
    std::string line;
    for (int i = 0; i < tries; ++i) {
      if (i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      sim.writeLine("state");
      while (sim.readLine(line, 2000))
        if (line.rfind("state ", 0) == 0) break;
      if (line.find(part) != std::string::npos) return true;
    }
    ADD_FAILURE() << "simulator state: " << line << "\nwanted: " << part;
    return false;
  }
};

}  // namespace ferrolan
