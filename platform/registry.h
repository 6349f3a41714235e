#pragma once
// HKEY_LOCAL_MACHINE, kept as a REGEDIT4 text file in the device root.
// A missing file is an empty registry; every write replaces the file
// atomically (temporary file, then rename). Key names ignore letter case.
// A file over kRegistryFileLimit, or one that is not a regular file (FIFO,
// device), reads as an empty registry too, but is never replaced: writes
// then change only the memory copy and answer false.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ferrolan {

inline constexpr size_t kRegistryFileLimit = 1024 * 1024;  // bytes

class Registry {
 public:
  using Value = std::variant<std::string, uint32_t>;  // REG_SZ or REG_DWORD

  // An empty path keeps the registry in memory only.
  explicit Registry(std::string filePath = {});

  bool keyExists(const std::string& key) const;
  bool getString(const std::string& key, const std::string& name, std::string& out) const;
  bool getDword(const std::string& key, const std::string& name, uint32_t& out) const;
  std::optional<Value> get(const std::string& key, const std::string& name) const;
  std::vector<std::string> subKeys(const std::string& key) const;

  bool createKey(const std::string& key);
  bool setString(const std::string& key, const std::string& name, const std::string& value);
  bool setDword(const std::string& key, const std::string& name, uint32_t value);
  bool setValue(const std::string& key, const std::string& name, Value value);
  bool deleteKey(const std::string& key);  // with its sub-keys

  // Reloads from the file (for tests that write it by hand); false when
  // the file was refused or had lines it did not understand.
  bool reload();
  const std::string& filePath() const { return path_; }

  // REGEDIT4 text of the whole registry, and its parser.
  std::string serialize() const;
  bool parse(const std::string& text);

 private:
  struct Key {
    std::string name;  // as first written
    std::map<std::string, std::pair<std::string, Value>> values;  // lower-case name -> (name, value)
  };
  bool saveLocked() const;
  bool parseLocked(const std::string& text);
  std::string serializeLocked() const;

  std::string path_;
  mutable std::mutex m_;
  bool refused_ = false;  // the file is there but was not read: keep it
  std::map<std::string, Key> keys_;  // lower-case path -> key
};

}  // namespace ferrolan
