#pragma once
// Wakes a waiting thread when serial ports may have come or gone: udev's
// tty events where udev runs, and inotify on the folders that hold port
// names (links such as /dev/serial/by-id/* or a device root's dev/COM2).
// It says "look again", not what changed: a caller re-checks the paths it
// cares about after each wake.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/cancel.h"

struct udev;
struct udev_monitor;

namespace ferrolan {

class PortWatch {
 public:
  // Without udev (a container, a chroot) it watches folders only.
  PortWatch();
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // Names made, removed, renamed or changed in `dir`, and `dir` itself
  // going; false when it cannot be watched (missing, not a folder).
  bool watchFolder(const std::string& dir);
  // True once something may have changed; false after timeoutMs with
  // nothing, or when `cancel` (may be null) fires. What arrived is taken,
  // so the next call waits for news.
  bool waitForChange(uint32_t timeoutMs, CancelToken* cancel);
  // udev's tty events are watched (udevd runs here).
  bool udevAvailable() const { return udevActive_; }
  // From now on, the names removed from the watched folders (deleted or
  // renamed away) are kept, as "FOLDER/NAME", until taken: a name removed
  // and made again between two looks is then still known to have gone, even
  // where the filesystem hands the new one the old inode number.
  void keepRemovedNames();
  // The names removed since the last call; any thread.
  std::set<std::string> takeRemovedNames();

 private:
  bool drainFolders();
  bool drainUdev();

  std::mutex m_;  // guards the three below, which the waiting thread uses
  std::map<int, std::string> folders_;  // by watch descriptor
  std::set<std::string> removed_;
  bool keepRemoved_ = false;
  struct ::udev* udev_ = nullptr;
  struct ::udev_monitor* monitor_ = nullptr;
  bool udevActive_ = false;
  int inotify_ = -1;
};

// Every existing name the patterns match (glob(3)), in order, each once; a
// pattern that matches nothing adds nothing, a plain path adds itself when
// that name exists (a link counts even when it leads nowhere).
std::vector<std::string> expandPortPatterns(const std::vector<std::string>& patterns);

// What `path` leads to, through links: "c:MAJOR:MINOR" for a character
// device, "f:DEV:INODE" for anything else; empty when nothing is there. Two
// names of one device answer the same.
std::string deviceIdentity(const std::string& path);

// The folder that holds the name `path` (what to watch for it): "." for a
// bare name, "/" for one at the root.
std::string folderOfName(const std::string& path);

// The name itself, not what it leads to ("DEV:INODE"); empty when there is
// no such name. A link or device node made again is a new name even when it
// leads to the same device (a pseudo-terminal's number is soon reused).
std::string nameIdentity(const std::string& path);

}  // namespace ferrolan
