#include "tests/support/scripted_port.h"

#include <algorithm>

namespace ferrolan {

void ScriptedPort::receiveAt(uint32_t tick, std::string_view bytes) {
  std::lock_guard l(m_);
  for (char c : bytes) pending_.push_back({tick, static_cast<uint8_t>(c)});
  lastAt_ = std::max(lastAt_, tick);
}

void ScriptedPort::receive(std::string_view bytes, uint32_t delayMs) {
  uint32_t base;
  {
    std::lock_guard l(m_);
    base = pending_.empty() ? clock_.tickCount() : std::max(lastAt_, clock_.tickCount());
  }
  receiveAt(base + delayMs, bytes);
}

void ScriptedPort::receive(const Bytes& bytes, uint32_t delayMs) {
  receive(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), delayMs);
}

void ScriptedPort::onWrite(WriteHook hook) {
  std::lock_guard l(m_);
  hook_ = std::move(hook);
}

std::vector<ScriptedPort::Bytes> ScriptedPort::writeCalls() const {
  std::lock_guard l(m_);
  return writes_;
}

ScriptedPort::Bytes ScriptedPort::written() const {
  std::lock_guard l(m_);
  Bytes all;
  for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
  return all;
}

std::string ScriptedPort::writtenText() const {
  Bytes all = written();
  return std::string(all.begin(), all.end());
}

uint32_t ScriptedPort::readTimeoutMs(size_t n) const {
  return timeouts_.readMultiplierMs * static_cast<uint32_t>(n) + timeouts_.readConstantMs;
}

bool ScriptedPort::readByte(uint8_t& out) {
  uint8_t b;
  if (read(&b, 1) != 1) return false;
  out = b;
  return true;
}

size_t ScriptedPort::read(uint8_t* buf, size_t max) {
  std::unique_lock l(m_);
  if (closed_) return 0;
  ++readCalls_;
  const uint32_t start = clock_.tickCount();
  const uint32_t limit = readTimeoutMs(max);
  if (hungUp_ || max == 0) {
    l.unlock();
    clock_.advance(limit);
    return 0;
  }
  size_t got = 0;
  uint32_t finishedAt = start + limit;
  while (got < max && !pending_.empty()) {
    const uint32_t due = pending_.front().at;
    // A byte already due, or one that arrives within the remaining time-out.
    const bool inTime = static_cast<int32_t>(due - start) <= 0 || due - start < limit;
    if (!inTime) break;
    buf[got++] = pending_.front().byte;
    pending_.pop_front();
    finishedAt = static_cast<int32_t>(due - start) > 0 ? due : start;
  }
  if (got < max) finishedAt = start + limit;  // a short read waits out its time-out
  l.unlock();
  const uint32_t now = clock_.tickCount();
  if (static_cast<int32_t>(finishedAt - now) > 0) clock_.advance(finishedAt - now);
  return got;
}

bool ScriptedPort::write(const uint8_t* data, size_t n) {
  WriteHook hook;
  Bytes call(data, data + n);
  {
    std::lock_guard l(m_);
    if (closed_) return false;
    if (hungUp_ || n > writeBudget_) {
      writeBudget_ = 0;
      return false;
    }
    if (writeBudget_ != SIZE_MAX) writeBudget_ -= n;
    writes_.push_back(call);
    hook = hook_;
  }
  if (hook) hook(*this, call);
  return true;
}

bool ScriptedPort::getTimeouts(PortTimeouts& out) {
  std::lock_guard l(m_);
  if (closed_) return false;
  if (failGetTimeouts_) return false;
  out = timeouts_;
  return true;
}

bool ScriptedPort::setTimeouts(const PortTimeouts& t) {
  std::lock_guard l(m_);
  if (closed_) return false;
  if (failSetTimeouts_) return false;
  timeouts_ = t;
  return true;
}

bool ScriptedPort::getLineSettings(LineSettings& out) {
  std::lock_guard l(m_);
  if (closed_) return false;
  if (failGetLine_) return false;
  out = line_;
  return true;
}

bool ScriptedPort::setLineSettings(const LineSettings& s) {
  std::lock_guard l(m_);
  if (closed_) return false;
  // A real driver refuses a rate it cannot set; 0 is never one.
  if (failSetLine_ || s.baud == 0) return false;
  line_ = s;
  return true;
}

bool ScriptedPort::purge(unsigned flags) {
  std::lock_guard l(m_);
  if (closed_) return false;
  purges_.push_back(flags);
  if (flags & (kPurgeRxClear | kPurgeRxAbort)) {
    const uint32_t now = clock_.tickCount();
    // Only bytes that have already arrived are in the driver's buffer.
    std::erase_if(pending_, [now](const Pending& p) { return static_cast<int32_t>(p.at - now) <= 0; });
  }
  return true;
}

void ScriptedPort::close() {
  std::lock_guard l(m_);
  closed_ = true;
}

std::shared_ptr<Port> ScriptedPortOpener::open(const std::string& name) {
  std::lock_guard l(m_);
  opened_.push_back(name);
  for (auto it = ports_.begin(); it != ports_.end(); ++it) {
    if (it->first == name) {
      auto p = it->second;
      ports_.erase(it);
      return p;
    }
  }
  return nullptr;
}

void ScriptedPortOpener::add(const std::string& name, std::shared_ptr<ScriptedPort> port) {
  std::lock_guard l(m_);
  ports_.emplace_back(name, std::move(port));
}

std::vector<std::string> ScriptedPortOpener::opened() const {
  std::lock_guard l(m_);
  return opened_;
}

}  // namespace ferrolan
