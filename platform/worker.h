#pragma once
// Worker threads with a cooperative protocol in place of suspend/terminate:
// the worker parks at safe points between port reads; suspend() returns only
// once it is parked, so the caller then owns the port; stop() wakes it at
// once and joins. No thread is ever killed.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/cancel.h"

namespace ferrolan {

class WorkerControl {
 public:
  // A safe point: parks while suspended; false once a stop is requested,
  // after which the body must return without touching shared state.
  bool checkpoint();
  bool stopRequested() const { return cancel_.cancelled(); }
  // Fires on stop; pass it to blocking reads and event waits.
  CancelToken& cancelToken() { return cancel_; }

 private:
  friend class Worker;
  CancelToken cancel_;
  std::mutex m_;
  std::condition_variable cv_;
  int suspendCount_ = 0;  // suspends from several threads nest, as they count
  bool parked_ = false;
  bool finished_ = false;
};

class Worker {
 public:
  using Body = std::function<void(WorkerControl&)>;
  Worker() = default;
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts a new thread running body; false if one is still running.
  bool start(Body body);
  // Returns once the worker is parked at a checkpoint or has finished.
  // From the worker's own thread it does nothing.
  void suspend();
  // Undoes one suspend; the worker runs again when none is left.
  void resume();
  // Requests the stop, wakes the worker and joins it. Safe to call twice.
  void stop();
  bool running() const;
  // Waits until the body has returned, without asking it to stop.
  void wait();
  bool isCurrentThread() const;

 private:
  std::shared_ptr<WorkerControl> control() const;
  mutable std::mutex m_;    // guards ctl_ and threadId_
  std::mutex threadMutex_;  // guards thread_ (start and join)
  std::shared_ptr<WorkerControl> ctl_;
  std::thread::id threadId_;
  std::thread thread_;
};

}  // namespace ferrolan
