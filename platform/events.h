#pragma once
// Named auto-reset events. Creating a name that is already open gives the
// same event; an event lives while any handle to it is held.

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/cancel.h"

namespace ferrolan {

class EventRegistry;

class Event {
 public:
  const std::string& name() const { return name_; }
  void set();
  // Consumes the signal if there is one.
  bool tryConsume();

 private:
  friend class EventRegistry;
  Event(EventRegistry& reg, std::string name) : reg_(reg), name_(std::move(name)) {}
  EventRegistry& reg_;
  std::string name_;
  bool signalled_ = false;  // guarded by reg_.mutex_
};

using EventHandle = std::shared_ptr<Event>;

class EventRegistry {
 public:
  EventHandle create(const std::string& name);

  static constexpr int kTimeout = -1;
  static constexpr int kCancelled = -2;
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;
  // Waits until one of the events is signalled; returns the lowest index
  // that is, consuming that signal only. kTimeout after timeoutMs (real
  // time), kCancelled when `cancel` fires. Null entries are skipped.
  int waitForAny(std::span<const EventHandle> events, uint32_t timeoutMs = kInfinite,
                 CancelToken* cancel = nullptr);

 private:
  friend class Event;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::map<std::string, std::weak_ptr<Event>> byName_;
};

// The named events this process holds open, so that shutdown can close
// them by name.
class OpenEvents {
 public:
  explicit OpenEvents(EventRegistry& reg) : reg_(reg) {}
  EventHandle open(const std::string& name);
  EventHandle get(const std::string& name) const;
  bool close(const std::string& name);  // false when it was not open

 private:
  EventRegistry& reg_;
  mutable std::mutex m_;
  std::map<std::string, EventHandle> open_;
};

}  // namespace ferrolan
