#pragma once
// Makes a device root for a run against a receiver: the card folder, an
// AutoUpdate.ini from given values, files on the card, and dev/COMn links.
// The demo and the tests build their roots with it.

#include <string>
#include <string_view>

namespace ferrolan {

struct AutoUpdateIniValues {
  std::string firmware;    // [AUTOUPDATE]
  std::string firmwareP2;  // [AUTOUPDATEP2]
  std::string com = "COM1";
  std::string baud = "9600";
};

class DeviceRootBuilder {
 public:
  explicit DeviceRootBuilder(std::string root, std::string cardFolder = "SDMMC");

  // Each answers false, with the reason in error(), when it cannot write.
  // The card folder and dev/, for a peer that makes its own link there.
  bool makeFolders();
  bool writeAutoUpdateIni(const AutoUpdateIniValues& values);
  bool writeCardFile(const std::string& name, std::string_view bytes);
  // <root>/dev/<com> -> device, replacing what was there.
  bool linkPort(const std::string& com, const std::string& device);

  const std::string& root() const { return root_; }
  std::string cardPath(const std::string& name = {}) const;
  std::string portPath(const std::string& com) const;
  const std::string& error() const { return error_; }

 private:
  bool write(const std::string& path, std::string_view bytes);

  std::string root_;
  std::string card_;
  std::string error_;
};

}  // namespace ferrolan
