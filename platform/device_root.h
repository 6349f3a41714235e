#pragma once
// The device root: the folder that stands for the handheld's file system.
// A device path "\A\B" is <root>/A/B; port names "COMn:" map to devices.

#include <string>
#include <string_view>

namespace ferrolan {

// "\SDMMC\AutoUpdate.ini" -> "<root>/SDMMC/AutoUpdate.ini". Empty for a
// path with a ".." component (either separator): nothing opens there, so
// callers see a path that would climb out of the root as a missing file.
std::string localPath(const std::string& root, std::string_view devicePath);

// "COMn:" -> <root>/dev/COMn when that name exists, even as a link that
// leads nowhere (its open then fails), else /dev/ttyS<n-1> ("COM0:" is
// the tenth). A name that begins with "/" is a device path; trailing ":"
// added by the configuration reader is dropped. Empty for anything else.
std::string resolvePortDevice(const std::string& root, std::string_view name);

bool fileExists(const std::string& path);

}  // namespace ferrolan
