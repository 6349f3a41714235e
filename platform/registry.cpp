#include "platform/registry.h"

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/regular_file.h"

namespace ferrolan {

namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string normalise(std::string key) {
  while (!key.empty() && key.back() == '\\') key.pop_back();
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  return key;
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// Reads a quoted string that starts at s[i] == '"'; leaves i past the quote.
bool readQuoted(const std::string& s, size_t& i, std::string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  out.clear();
  while (i < s.size()) {
    char c = s[i++];
    if (c == '\\' && i < s.size()) {
      out += s[i++];
    } else if (c == '"') {
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

}  // namespace

Registry::Registry(std::string filePath) : path_(std::move(filePath)) { reload(); }

bool Registry::reload() {
  std::lock_guard l(m_);
  keys_.clear();
  refused_ = false;
  if (path_.empty()) return true;
  std::string text;
  switch (readRegularFile(path_, kRegistryFileLimit, text)) {
    case FileRead::Ok:
      return parseLocked(text);
    case FileRead::Missing:
      return true;  // no file: empty registry
    case FileRead::NotRegular:
    case FileRead::TooBig:
      break;
  }
  refused_ = true;
  return false;
}

bool Registry::parse(const std::string& text) {
  std::lock_guard l(m_);
  keys_.clear();
  return parseLocked(text);
}

bool Registry::parseLocked(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  Key* current = nullptr;
  bool ok = true;
  const std::string rootPrefix = lower(kRoot);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line == "REGEDIT4") continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      const bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      if (lower(path.substr(0, rootPrefix.size())) != rootPrefix) {
        current = nullptr;  // other hives are not ours
        continue;
      }
      path = normalise(path.substr(rootPrefix.size()));
      if (remove) {
        current = nullptr;
        continue;
      }
      Key& k = keys_[lower(path)];
      if (k.name.empty()) k.name = path;
      current = &k;
      continue;
    }
    if (!current || line[0] != '"') {
      ok = false;  // a line we do not understand is skipped, not fatal
      continue;
    }
    size_t i = 0;
    std::string name;
    if (!readQuoted(line, i, name) || i >= line.size() || line[i] != '=') {
      ok = false;
      continue;
    }
    ++i;
    if (i < line.size() && line[i] == '"') {
      std::string value;
      if (!readQuoted(line, i, value)) {
        ok = false;
        continue;
      }
      current->values[lower(name)] = {name, value};
    } else if (line.compare(i, 6, "dword:") == 0) {
      const std::string hex = line.substr(i + 6);
      if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        ok = false;
        continue;
      }
      current->values[lower(name)] = {name, static_cast<uint32_t>(std::stoul(hex, nullptr, 16))};
    } else {
      ok = false;
    }
  }
  return ok;
}

std::string Registry::serializeLocked() const {
  std::string out = "REGEDIT4\r\n";
  for (const auto& [_, key] : keys_) {
    out += "\r\n[";
    out += kRoot;
    if (!key.name.empty()) out += "\\" + key.name;
    out += "]\r\n";
    for (const auto& [__, nv] : key.values) {
      out += "\"" + escape(nv.first) + "\"=";
      if (const auto* s = std::get_if<std::string>(&nv.second)) {
        out += "\"" + escape(*s) + "\"";
      } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", std::get<uint32_t>(nv.second));
        out += buf;
      }
      out += "\r\n";
    }
  }
  return out;
}

std::string Registry::serialize() const {
  std::lock_guard l(m_);
  return serializeLocked();
}

bool Registry::saveLocked() const {
  if (path_.empty()) return true;
  if (refused_) return false;
  const std::string tmp = path_ + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << serializeLocked();
    out.flush();
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path_.c_str()) == 0;
}

bool Registry::keyExists(const std::string& key) const {
  std::lock_guard l(m_);
  return keys_.count(lower(normalise(key))) != 0;
}

std::optional<Registry::Value> Registry::get(const std::string& key, const std::string& name) const {
  std::lock_guard l(m_);
  auto k = keys_.find(lower(normalise(key)));
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.values.find(lower(name));
  if (v == k->second.values.end()) return std::nullopt;
  return v->second.second;
}

bool Registry::getString(const std::string& key, const std::string& name, std::string& out) const {
  auto v = get(key, name);
  if (!v || !std::holds_alternative<std::string>(*v)) return false;
  out = std::get<std::string>(*v);
  return true;
}

bool Registry::getDword(const std::string& key, const std::string& name, uint32_t& out) const {
  auto v = get(key, name);
  if (!v || !std::holds_alternative<uint32_t>(*v)) return false;
  out = std::get<uint32_t>(*v);
  return true;
}

std::vector<std::string> Registry::subKeys(const std::string& key) const {
  std::lock_guard l(m_);
  const std::string prefix = lower(normalise(key));
  std::vector<std::string> out;
  for (const auto& [path, k] : keys_) {
    if (prefix.empty() ? path.empty() : (path.size() <= prefix.size() + 1 || path.compare(0, prefix.size(), prefix) != 0 ||
                                         path[prefix.size()] != '\\'))
      continue;
    const std::string rest = k.name.substr(prefix.empty() ? 0 : prefix.size() + 1);
    const std::string child = rest.substr(0, rest.find('\\'));
    if (std::find(out.begin(), out.end(), child) == out.end()) out.push_back(child);
  }
  return out;
}

bool Registry::createKey(const std::string& key) {
  std::lock_guard l(m_);
  const std::string path = normalise(key);
  Key& k = keys_[lower(path)];
  if (!k.name.empty() || path.empty()) return true;
  k.name = path;
  return saveLocked();
}

bool Registry::setValue(const std::string& key, const std::string& name, Value value) {
  std::lock_guard l(m_);
  const std::string path = normalise(key);
  Key& k = keys_[lower(path)];
  if (k.name.empty()) k.name = path;
  k.values[lower(name)] = {name, std::move(value)};
  return saveLocked();
}

bool Registry::setString(const std::string& key, const std::string& name, const std::string& value) {
  return setValue(key, name, value);
}

bool Registry::setDword(const std::string& key, const std::string& name, uint32_t value) {
  return setValue(key, name, value);
}

bool Registry::deleteKey(const std::string& key) {
  std::lock_guard l(m_);
  const std::string prefix = lower(normalise(key));
  bool any = false;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == prefix || (it->first.size() > prefix.size() && it->first.compare(0, prefix.size(), prefix) == 0 &&
                                it->first[prefix.size()] == '\\')) {
      it = keys_.erase(it);
      any = true;
    } else {
      ++it;
    }
  }
  return any && saveLocked();
}

}  // namespace ferrolan
