// The terminal front end in a real terminal: the program under tmux, with
// ferrolan-sim as the receiver, driven by keys and read off the screen.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/tool_console.h"

#ifdef FERROLAN_TMUX_PATH

namespace ferrolan {
namespace {

// A tmux server of the test's own, on a private socket: one per instance,
// as a server told to end may still hold its socket when the next starts.
int tmuxCount = 0;
struct Tmux {
  std::string socket = "ferrolan-tui-" + std::to_string(::getpid()) + "-" + std::to_string(++tmuxCount);
  ~Tmux() { run("kill-server"); }
  std::string run(const std::string& args) const {
    const std::string command = std::string(FERROLAN_TMUX_PATH) + " -L " + socket + " " + args + " 2>&1";
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      ::pclose(p);
    }
    return out;
  }
  void keys(const std::string& k) const { run("send-keys " + k); }
  std::string screen() const { return run("capture-pane -p"); }
  // Polls the screen until `want` holds; false after a generous deadline.
  bool until(const std::function<bool(const std::string&)>& want, std::string* last = nullptr) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string s;
    while (std::chrono::steady_clock::now() < deadline) {
      s = screen();
      if (want(s)) {
        if (last) *last = s;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ADD_FAILURE() << "the screen never got there:\n" << s;
    return false;
  }
  bool shows(const std::string& text, std::string* last = nullptr) const {
    return until([&](const std::string& s) { return s.find(text) != std::string::npos; }, last);
  }
};

std::vector<std::string> linesOf(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// The reference screens keep the lines that do not move with the data.
std::vector<std::string> reference(const std::string& name) {
  std::ifstream f(std::string(FERROLAN_TESTDATA_DIR) + "/tui/" + name);
  std::stringstream s;
  s << f.rdbuf();
  return linesOf(s.str());
}

// A used satellite's bar, four cells of it, as UTF-8 shows it.
const std::string kUsedBar = " \u2588\u2588\u2588\u2588";

// Line pieces as the pane holds them: UTF-8 box pieces, or the VT100 line-drawing
// codes where the locale has no UTF-8 and curses shifts into the terminal's set.
bool drawn(const std::string& screen, const std::string& utf8, const std::string& vt100) {
  return screen.find(utf8) != std::string::npos || screen.find(vt100) != std::string::npos;
}

void startProgram(const Tmux& t, const Tool& tool) {
  const std::string command = "LC_ALL=C.UTF-8 " + std::string(FERROLAN_PROGRAM_PATH) + " --tool --tui --root " +
                              tool.root.string() +
                              "; echo ferrolan-ended $?; exec sleep 600";
  t.run("new-session -d -x 100 -y 30 '" + command + "'");
}

// From the Text page: the Info page, then Setup's first item, the GPS Comm
// Setting dialog.
bool openComPortSetup(const Tmux& t) {
  t.keys("2");
  if (!t.shows("Setup   Command   MISC   Help")) return false;
  t.keys("m");
  if (!t.shows("GPS Comm Setting")) return false;
  t.keys("Enter");
  return t.shows("COM Port Setup");
}

TEST(TuiTerminal, ConnectsShowsTheFixBarsAndSkyThenQuitsToTheNormalScreen) {
  Tool tool;
  tool.startSim();
  Tmux t;
  startProgram(t, tool);
  std::string s;
  ASSERT_TRUE(t.shows(" F1 text ", &s));
  ASSERT_TRUE(openComPortSetup(t));
  // The dialog's frame in line pieces, its title on the top edge.
  ASSERT_TRUE(
      t.until([](const std::string& s) { return drawn(s, "\u250c\u2500COM Port Setup", "lqCOM Port Setup"); }));
  t.keys("Down");
  ASSERT_TRUE(t.shows("COM2:"));
  t.keys("Tab");
  t.keys("Tab");
  // Connect: the dialog closes once the receiver answers.
  t.keys("Enter");
  ASSERT_TRUE(t.until([](const std::string& s) { return s.find("COM Port Setup") == std::string::npos; }));
  // A fix in the fields, a used satellite's bar, its label below the bars.
  ASSERT_TRUE(t.until(
      [](const std::string& s) { return s.find("3D fix") != std::string::npos && drawn(s, kUsedBar, " aaaa"); },
      &s));
  if (std::getenv("FERROLAN_TUI_SCREENS")) std::ofstream(std::string(std::getenv("FERROLAN_TUI_SCREENS")) + "/info.txt") << s;
  const auto info = linesOf(s), infoReference = reference("info.txt");
  ASSERT_GE(info.size(), 30u);
  ASSERT_GE(infoReference.size(), 30u);
  for (size_t row : {size_t{0}, size_t{1}, info.size() - 1}) EXPECT_EQ(info[row], infoReference[row]) << row;
  std::string label;
  for (const std::string& l : info)
    if (label.empty() && !drawn(l, kUsedBar, " aaaa") && l.find("   ") == 0) {
      std::istringstream words(l);
      std::string w;
      while (label.empty() && words >> w)
        if (w.size() == 2 && std::isdigit(static_cast<unsigned char>(w[0]))) label = w;
    }
  ASSERT_FALSE(label.empty()) << s;
  // The same satellite on the plot, inside its rings and cross.
  t.keys("3");
  ASSERT_TRUE(t.until(
      [&](const std::string& s) { return drawn(s, "\u2500\u253c\u2500", "qnq") && s.find(label) != std::string::npos; },
      &s));
  if (std::getenv("FERROLAN_TUI_SCREENS")) std::ofstream(std::string(std::getenv("FERROLAN_TUI_SCREENS")) + "/sky.txt") << s;
  t.keys("q");
  ASSERT_TRUE(t.shows("ferrolan-ended 0", &s));
  EXPECT_EQ(t.run("display -p '#{alternate_on}'"), "0\n");
  EXPECT_EQ(s.find("Tab/arrows move"), std::string::npos) << "the sheet is left on the screen:\n" << s;
}

TEST(TuiTerminal, APastedPathArrivesWhole) {
  Tool tool;
  Tmux t;
  startProgram(t, tool);
  ASSERT_TRUE(t.shows("Tab/arrows move"));
  ASSERT_TRUE(openComPortSetup(t));
  // The port box has the focus; the path comes in one burst.
  t.run("set-buffer /dev/ttyUSB0");
  t.run("paste-buffer");
  EXPECT_TRUE(t.shows("/dev/ttyUSB0"));
  t.keys("q");
}

TEST(TuiTerminal, EveryWayOutLeavesTheTerminalAsItWas) {
  struct Row {
    const char* keys;
    const char* ended;
  };
  // q through the sheet's close, Ctrl-C through the program's signal path,
  // Setup > Exit through the shutdown's quit, a crash signal (SEGV: sent to
  // the program, not a key).
  const Row rows[] = {{"q", "ferrolan-ended 0"},
                      {"C-c", "ferrolan-ended 130"},
                      {"2 m Up Enter", "ferrolan-ended 0"},
                      {"SEGV", "ferrolan-ended 139"}};
  Tool tool;
  for (const Row& r : rows) {
    Tmux t;
    startProgram(t, tool);
    ASSERT_TRUE(t.shows("Tab/arrows move"));
    std::istringstream keys(r.keys);
    for (std::string k; keys >> k;) {
      if (k == "SEGV") {
        // The program is the pane's shell's only child.
        const std::string shell = t.run("display -p '#{pane_pid}'");
        std::ifstream children("/proc/" + shell.substr(0, shell.find('\n')) + "/task/" +
                               shell.substr(0, shell.find('\n')) + "/children");
        int pid = 0;
        ASSERT_TRUE(children >> pid) << shell;
        ASSERT_EQ(::kill(pid, SIGSEGV), 0);
        continue;
      }
      t.keys(k);
      if (k == "m") {
        ASSERT_TRUE(t.shows("GPS Comm Setting"));
      }
    }
    std::string s;
    ASSERT_TRUE(t.shows(r.ended, &s)) << r.keys;
    EXPECT_EQ(t.run("display -p '#{alternate_on}'"), "0\n") << r.keys;
    EXPECT_EQ(s.find("Tab/arrows move"), std::string::npos) << r.keys << ":\n" << s;
  }
}

}  // namespace
}  // namespace ferrolan

#endif  // FERROLAN_TMUX_PATH
