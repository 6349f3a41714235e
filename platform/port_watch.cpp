#include "platform/port_watch.h"

#include <glob.h>
#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace ferrolan {

namespace {

constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF;

// udevd's control socket: without it the monitor opens but nothing ever
// sends to it.
constexpr const char* kUdevControl = "/run/udev/control";

}  // namespace

PortWatch::PortWatch() {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (::access(kUdevControl, F_OK) != 0) return;
  udev_ = ::udev_new();
  if (!udev_) return;
  monitor_ = ::udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ && ::udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) >= 0 &&
      ::udev_monitor_enable_receiving(monitor_) >= 0)
    udevActive_ = true;
}

PortWatch::~PortWatch() {
  if (monitor_) ::udev_monitor_unref(monitor_);
  if (udev_) ::udev_unref(udev_);
  if (inotify_ >= 0) ::close(inotify_);
}

bool PortWatch::watchFolder(const std::string& dir) {
  if (inotify_ < 0 || dir.empty()) return false;
  const int wd = ::inotify_add_watch(inotify_, dir.c_str(), kFolderEvents | IN_ONLYDIR);
  if (wd < 0) return false;
  std::lock_guard l(m_);
  folders_[wd] = dir;
  return true;
}

void PortWatch::keepRemovedNames() {
  std::lock_guard l(m_);
  keepRemoved_ = true;
}

std::set<std::string> PortWatch::takeRemovedNames() {
  std::lock_guard l(m_);
  return std::exchange(removed_, {});
}

bool PortWatch::drainFolders() {
  // Beyond whether anything came, only the names removed matter.
  alignas(inotify_event) char buf[4096];
  bool any = false;
  for (;;) {
    const ssize_t n = ::read(inotify_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return any;
    any = true;
    std::lock_guard l(m_);
    if (!keepRemoved_) continue;
    // The kernel hands out whole events; each record's length is checked
    // against what was read all the same.
    for (size_t at = 0; at + sizeof(inotify_event) <= static_cast<size_t>(n);) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
      const size_t size = sizeof(inotify_event) + e->len;
      if (at + size > static_cast<size_t>(n)) break;
      const auto folder = folders_.find(e->wd);
      if ((e->mask & (IN_DELETE | IN_MOVED_FROM)) && e->len > 0 && folder != folders_.end()) {
        const std::string name(e->name, ::strnlen(e->name, e->len));
        removed_.insert((folder->second == "/" ? "" : folder->second) + "/" + name);
      }
      at += size;
    }
  }
}

bool PortWatch::drainUdev() {
  bool any = false;
  // The monitor's socket is non-blocking: null once nothing is left.
  while (udev_device* d = ::udev_monitor_receive_device(monitor_)) {
    ::udev_device_unref(d);
    any = true;
  }
  return any;
}

bool PortWatch::waitForChange(uint32_t timeoutMs, CancelToken* cancel) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd fds[3] = {{inotify_, POLLIN, 0},
                   {udevActive_ ? ::udev_monitor_get_fd(monitor_) : -1, POLLIN, 0},
                   {cancel ? cancel->waitHandle() : -1, POLLIN, 0}};
  for (;;) {
    if (cancel && cancel->cancelled()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    const int r = ::poll(fds, 3, static_cast<int>(std::min<long long>(left, 1 << 30)));
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    if (fds[2].revents) return false;
    // Both drained, so neither reports the same news again.
    const bool folders = (fds[0].revents & POLLIN) && drainFolders();
    const bool devices = (fds[1].revents & POLLIN) && drainUdev();
    if (folders || devices) return true;
    // A descriptor in error would wake every poll: leave it out.
    for (int i = 0; i < 2; ++i)
      if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) fds[i].fd = -1;
  }
}

std::vector<std::string> expandPortPatterns(const std::vector<std::string>& patterns) {
  std::vector<std::string> out;
  for (const std::string& pattern : patterns) {
    if (pattern.empty()) continue;
    glob_t g{};
    if (::glob(pattern.c_str(), 0, nullptr, &g) == 0) {
      for (size_t i = 0; i < g.gl_pathc; ++i) {
        std::string name = g.gl_pathv[i];
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(std::move(name));
      }
    }
    ::globfree(&g);
  }
  return out;
}

std::string deviceIdentity(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  if (S_ISCHR(st.st_mode)) return "c:" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  return "f:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string folderOfName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameIdentity(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace ferrolan
