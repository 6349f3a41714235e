// `ferrolan --demo --console` as a user runs it: several at once, and
// interrupted half-way.

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "shell/demo.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

// The demo with its standard error on the same pipe as its output; the
// line pacing off (FERROLAN_DEMO_UNPACED) so that it takes seconds.
bool startDemo(ChildProcess& demo) {
  ChildOptions o;
  o.stderrToStdout = true;
  return demo.start({"env", "FERROLAN_DEMO_UNPACED=1", FERROLAN_PROGRAM_PATH, "--demo", "--console"}, o);
}

TEST(Demo, SeveralAtOnceAllEndOk) {
  constexpr int kDemos = 6;
  std::vector<std::unique_ptr<ChildProcess>> demos;
  std::vector<std::vector<std::string>> lines(kDemos);
  for (int i = 0; i < kDemos; ++i) {
    demos.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(startDemo(*demos.back()));
  }
  // Each ends by itself: the update's own limits bound it.
  for (bool open = true; open;) {
    open = false;
    for (int i = 0; i < kDemos; ++i) {
      std::string line;
      while (demos[i]->readLine(line, 20)) lines[i].push_back(line);
      open = open || demos[i]->running();
    }
  }
  for (int i = 0; i < kDemos; ++i) {
    SCOPED_TRACE(i);
    std::string line;
    while (demos[i]->readLine(line, 100)) lines[i].push_back(line);
    EXPECT_EQ(demos[i]->exitCode(), 0);
    EXPECT_NE(std::find(lines[i].begin(), lines[i].end(), "OK"), lines[i].end());
    EXPECT_EQ(std::find(lines[i].begin(), lines[i].end(), "Failed To Get Version"), lines[i].end());
  }
}

// The simulator's pid: the demo's one child.
int childOf(int parent) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(e.path() / "stat");
    std::string all((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = all.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(all.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
      return std::atoi(e.path().filename().c_str());
  }
  return -1;
}

bool alive(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = all.rfind(')');
  return close != std::string::npos && all.find_first_not_of(' ', close + 1) != std::string::npos &&
         all[all.find_first_not_of(' ', close + 1)] != 'Z';
}

TEST(Demo, InterruptedItRemovesItsFolderAndStopsTheSimulator) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ChildProcess demo;
    ASSERT_TRUE(startDemo(demo));
    const std::string marker = "ferrolan: demo device root ";
    std::string line, root;
    while (root.empty() && demo.readLine(line, 30000))
      if (line.rfind(marker, 0) == 0) root = line.substr(marker.size(), line.find(',') - marker.size());
    ASSERT_FALSE(root.empty());
    ASSERT_TRUE(fs::exists(root));
    const int sim = childOf(demo.pid());
    ASSERT_GT(sim, 0);
    ASSERT_TRUE(alive(sim));
    ::kill(demo.pid(), signal);
    ASSERT_TRUE(demo.wait(30000));
    EXPECT_EQ(demo.exitCode(), 128 + signal);
    EXPECT_FALSE(fs::exists(root)) << root;
    EXPECT_FALSE(alive(sim));
  }
}

// Stand-ins for the simulator that report a line and make the link late,
// or never: the demo starts the update only once COM1 leads to the line.
TEST(Demo, StartsOnlyOnceTheLinkLeadsToTheReportedLine) {
  struct Case {
    const char* name;
    const char* script;  // $2 is the --link path
    bool ready;
  };
  const Case cases[] = {
      {"link_after_the_report", "echo /dev/null; sleep 0.5; ln -s /dev/null \"$2\"; exec sleep 30", true},
      {"stale_link_replaced_late",
       "ln -s /dev/zero \"$2\"; echo /dev/null; sleep 0.5; ln -sfn /dev/null \"$2\"; exec sleep 30", true},
      {"no_link_and_gone", "echo /dev/null; exit 0", false},
  };
  const std::string dir = makeTempDir("ferrolan-fake-sim-");
  ASSERT_FALSE(dir.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sim = dir + "/" + c.name;
    std::ofstream(sim) << "#!/bin/sh\n" << c.script << "\n";
    fs::permissions(sim, fs::perms::owner_all);
    DemoSetup demo;
    std::string error;
    ASSERT_EQ(demo.start(sim, error), c.ready) << error;
    if (c.ready) {
      EXPECT_EQ(demo.line(), "/dev/null");
      EXPECT_EQ(fs::canonical(demo.root() + "/dev/COM1"), "/dev/null");
    } else {
      EXPECT_NE(error.find("does not lead to"), std::string::npos) << error;
    }
  }
  removeTree(dir);
}

}  // namespace
}  // namespace ferrolan
