// The port watcher on a real inotify descriptor in a temporary folder, and
// the pattern and identity helpers over real files and links. udev's side
// needs a tty appearing on real hardware, so it is not exercised here.

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/port_watch.h"
#include "platform/process.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

// Long enough that only a wake (or a broken watcher) ends the wait.
constexpr uint32_t kLongMs = 60000;

struct TempFolder {
  fs::path dir = makeTempDir("ferrolan-watch-");
  ~TempFolder() { removeTree(dir.string()); }
};

// Each change wakes the waiter; the names removed (deleted or renamed
// away) are kept until taken, also when a name is made again at once.
TEST(PortWatch, EachChangeOfAWatchedFolderWakesTheWaiter) {
  const struct {
    const char* name;
    std::function<void(const fs::path&)> act;
    std::set<std::string> removed;
  } rows[] = {
      {"link made", [](const fs::path& d) { fs::create_symlink("/dev/null", d / "COM2"); }, {}},
      {"link removed", [](const fs::path& d) { fs::remove(d / "COM3"); }, {"COM3"}},
      {"link removed and made again",
       [](const fs::path& d) {
         fs::remove(d / "COM3");
         fs::create_symlink("/dev/null", d / "COM3");
       },
       {"COM3"}},
      {"link replaced by a rename",
       [](const fs::path& d) {
         fs::create_symlink("/dev/zero", d / "COM3.new");
         fs::rename(d / "COM3.new", d / "COM3");
       },
       {"COM3.new"}},
      {"mode changed", [](const fs::path& d) { fs::permissions(d / "plain", fs::perms::owner_read); }, {}},
      {"folder removed", [](const fs::path& d) { fs::remove_all(d); }, {"COM3", "plain"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder t;
    fs::create_symlink("/dev/null", t.dir / "COM3");
    std::ofstream(t.dir / "plain") << "x";
    PortWatch w;
    w.keepRemovedNames();
    ASSERT_TRUE(w.watchFolder(t.dir.string()));
    std::thread actor([&] { row.act(t.dir); });
    EXPECT_TRUE(w.waitForChange(kLongMs, nullptr));
    actor.join();
    while (w.waitForChange(50, nullptr)) {
    }
    std::set<std::string> removed;
    for (const std::string& name : row.removed) removed.insert(t.dir.string() + "/" + name);
    EXPECT_EQ(w.takeRemovedNames(), removed);
    EXPECT_TRUE(w.takeRemovedNames().empty()) << "taken once";
  }
}

TEST(PortWatch, NothingHappeningTimesOutAndACancelEndsTheWait) {
  TempFolder t;
  PortWatch w;
  EXPECT_FALSE(w.watchFolder((t.dir / "missing").string()));
  EXPECT_FALSE(w.watchFolder(""));
  ASSERT_TRUE(w.watchFolder(t.dir.string()));
  EXPECT_FALSE(w.waitForChange(100, nullptr));
  // What arrived is taken by the wake: the next wait has no news.
  fs::create_symlink("/dev/null", t.dir / "COM2");
  fs::remove(t.dir / "COM2");
  EXPECT_TRUE(w.waitForChange(kLongMs, nullptr));
  EXPECT_FALSE(w.waitForChange(100, nullptr));

  CancelToken early;
  early.cancel();
  EXPECT_FALSE(w.waitForChange(kLongMs, &early));
  CancelToken late;
  std::thread canceller([&] { late.cancel(); });
  EXPECT_FALSE(w.waitForChange(kLongMs, &late));
  canceller.join();
  // A change that is there does not hide a cancel.
  fs::create_symlink("/dev/null", t.dir / "COM4");
  EXPECT_FALSE(w.waitForChange(kLongMs, &late));
}

TEST(PortWatch, PatternsExpandToExistingNamesAndLinksShareTheirTargetsIdentity) {
  TempFolder t;
  const std::string d = t.dir.string();
  for (const char* f : {"ttyA", "ttyB"}) std::ofstream(t.dir / f) << f;
  fs::create_symlink(t.dir / "ttyA", t.dir / "link");
  fs::create_symlink(t.dir / "nowhere", t.dir / "dangling");
  fs::create_symlink("/dev/null", t.dir / "null");

  using Names = std::vector<std::string>;
  const std::pair<Names, Names> globs[] = {  // the patterns, and the names they give
      {{d + "/tty*"}, {d + "/ttyA", d + "/ttyB"}},
      {{d + "/none*"}, {}},
      {{d + "/ttyB"}, {d + "/ttyB"}},
      {{d + "/missing"}, {}},
      {{d + "/dangling"}, {d + "/dangling"}},
      {{d + "/ttyB", d + "/tty?", ""}, {d + "/ttyB", d + "/ttyA"}},
      {{}, {}},
  };
  for (const auto& [patterns, want] : globs)
    EXPECT_EQ(expandPortPatterns(patterns), want) << ::testing::PrintToString(patterns);

  const struct {
    std::string a, b;
    bool same;
  } ids[] = {{d + "/link", d + "/ttyA", true},
             {d + "/ttyA", d + "/ttyB", false},
             {d + "/null", "/dev/null", true},
             {"/dev/null", "/dev/zero", false}};
  for (const auto& row : ids) {
    const std::string a = deviceIdentity(row.a), b = deviceIdentity(row.b);
    EXPECT_TRUE(!a.empty() && !b.empty() && (a == b) == row.same) << row.a << " / " << row.b << ": " << a << " / " << b;
  }
  EXPECT_EQ(deviceIdentity("/dev/null").rfind("c:", 0), 0u);
  for (const std::string& gone : {d + "/dangling", d + "/missing", std::string()}) EXPECT_EQ(deviceIdentity(gone), "");

  // A link made again to the same device: the same device, a new name.
  const std::string before = nameIdentity(d + "/null");
  ASSERT_FALSE(before.empty());
  fs::rename(d + "/null", d + "/null-old");  // its inode stays taken
  fs::create_symlink("/dev/null", d + "/null");
  EXPECT_NE(nameIdentity(d + "/null"), before);
  EXPECT_EQ(deviceIdentity(d + "/null"), deviceIdentity("/dev/null"));
  EXPECT_EQ(nameIdentity(d + "/missing"), "");
}

}  // namespace
}  // namespace ferrolan
