#include "platform/device_root.h"

#include <sys/stat.h>

namespace ferrolan {

namespace {

bool climbsOut(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string localPath(const std::string& root, std::string_view devicePath) {
  if (climbsOut(devicePath)) return {};
  std::string out = root.empty() ? std::string(".") : root;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  std::string rest(devicePath);
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (rest.empty() || rest.front() != '/') out += '/';
  out += rest;
  return out;
}

bool fileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

std::string resolvePortDevice(const std::string& root, std::string_view name) {
  if (!name.empty() && name.front() == '/') {
    std::string path(name);
    while (!path.empty() && path.back() == ':') path.pop_back();
    return path;
  }
  // "COMn:" exactly, n a single digit.
  if (name.size() == 5 && name.substr(0, 3) == "COM" && name[3] >= '0' && name[3] <= '9' && name[4] == ':') {
    const std::string link = localPath(root, std::string("/dev/COM") + name[3]);
    // A link there that is dangling or loops is this port failing to open,
    // not a reason to write to whatever the host has as ttyS<n-1>.
    struct stat st{};
    if (::lstat(link.c_str(), &st) == 0) return link;
    const int n = name[3] == '0' ? 10 : name[3] - '0';
    return "/dev/ttyS" + std::to_string(n - 1);
  }
  return {};
}

}  // namespace ferrolan
