#include "platform/device_root_builder.h"

#include <filesystem>
#include <fstream>

namespace ferrolan {

namespace fs = std::filesystem;

DeviceRootBuilder::DeviceRootBuilder(std::string root, std::string cardFolder)
    : root_(std::move(root)), card_(std::move(cardFolder)) {}

std::string DeviceRootBuilder::cardPath(const std::string& name) const {
  return (fs::path(root_) / card_ / name).string();
}

std::string DeviceRootBuilder::portPath(const std::string& com) const { return (fs::path(root_) / "dev" / com).string(); }

bool DeviceRootBuilder::makeFolders() {
  std::error_code ec;
  for (const fs::path& dir : {fs::path(root_) / card_, fs::path(root_) / "dev"}) {
    fs::create_directories(dir, ec);
    if (ec) {
      error_ = "cannot make " + dir.string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

bool DeviceRootBuilder::write(const std::string& path, std::string_view bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error_ = "cannot write " + path;
    return false;
  }
  return true;
}

bool DeviceRootBuilder::writeAutoUpdateIni(const AutoUpdateIniValues& v) {
  // One blank after each key, CR LF after each value, as the reader expects.
  const std::string text = "[AUTOUPDATE] " + v.firmware + "\r\n[AUTOUPDATEP2] " + v.firmwareP2 + "\r\n[COM] " + v.com +
                           "\r\n[BAUDRATE] " + v.baud + "\r\n";
  return write(cardPath("AutoUpdate.ini"), text);
}

bool DeviceRootBuilder::writeCardFile(const std::string& name, std::string_view bytes) {
  return write(cardPath(name), bytes);
}

bool DeviceRootBuilder::linkPort(const std::string& com, const std::string& device) {
  const fs::path link = portPath(com);
  std::error_code ec;
  fs::create_directories(link.parent_path(), ec);
  fs::remove(link, ec);
  fs::create_symlink(device, link, ec);
  if (ec) {
    error_ = "cannot link " + link.string() + " to " + device + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace ferrolan
