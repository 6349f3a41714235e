#pragma once
// The process-wide receiver port. Several threads take copies of it; the
// handle is what closes it, so that dropping the port really ends the line
// for every copy and frees the device for the next open.

#include <memory>
#include <mutex>

#include "platform/port.h"

namespace ferrolan {

class PortHandle {
 public:
  std::shared_ptr<Port> get() const;
  // Holds `p` and closes the port it replaces (unless that is `p` itself).
  void set(std::shared_ptr<Port> p);
  // Empties the handle and hands back what it held, open: closing it is
  // then the caller's business.
  std::shared_ptr<Port> take();
  // Empties the handle and closes what it held.
  void reset();
  bool valid() const;

 private:
  mutable std::mutex m_;
  std::shared_ptr<Port> port_;
};

}  // namespace ferrolan
