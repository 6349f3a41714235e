#include "platform/worker.h"

namespace ferrolan {

bool WorkerControl::checkpoint() {
  std::unique_lock l(m_);
  while (suspendCount_ > 0 && !cancel_.cancelled()) {
    parked_ = true;
    cv_.notify_all();
    cv_.wait(l);
  }
  parked_ = false;
  return !cancel_.cancelled();
}

std::shared_ptr<WorkerControl> Worker::control() const {
  std::lock_guard l(m_);
  return ctl_;
}

bool Worker::isCurrentThread() const {
  std::lock_guard l(m_);
  return threadId_ == std::this_thread::get_id();
}

bool Worker::start(Body body) {
  std::lock_guard tl(threadMutex_);
  if (running()) return false;
  if (thread_.joinable()) thread_.join();
  auto ctl = std::make_shared<WorkerControl>();
  ctl->cancel_.addListener([c = ctl.get()] {
    { std::lock_guard l(c->m_); }
    c->cv_.notify_all();
  });
  // The thread waits for m_ so that its id is known before its body runs.
  std::lock_guard l(m_);
  thread_ = std::thread([this, ctl, body = std::move(body)] {
    { std::lock_guard started(m_); }
    body(*ctl);
    std::lock_guard l(ctl->m_);
    ctl->finished_ = true;
    ctl->cv_.notify_all();
  });
  ctl_ = ctl;
  threadId_ = thread_.get_id();
  return true;
}

void Worker::suspend() {
  auto ctl = control();
  if (!ctl || isCurrentThread()) return;
  std::unique_lock l(ctl->m_);
  ++ctl->suspendCount_;
  ctl->cv_.wait(l, [&] { return ctl->parked_ || ctl->finished_; });
}

void Worker::resume() {
  auto ctl = control();
  if (!ctl) return;
  std::lock_guard l(ctl->m_);
  if (ctl->suspendCount_ > 0) --ctl->suspendCount_;
  ctl->cv_.notify_all();
}

void Worker::stop() {
  auto ctl = control();
  if (ctl) ctl->cancel_.cancel();
  if (isCurrentThread()) return;  // a worker stopping itself just returns afterwards
  std::lock_guard tl(threadMutex_);
  if (thread_.joinable()) {
    thread_.join();
  }
}

Worker::~Worker() {
  stop();
  std::lock_guard tl(threadMutex_);
  if (thread_.joinable()) thread_.detach();  // only when destroyed by its own thread
}

void Worker::wait() {
  auto ctl = control();
  if (!ctl || isCurrentThread()) return;
  std::unique_lock l(ctl->m_);
  ctl->cv_.wait(l, [&] { return ctl->finished_; });
}

bool Worker::running() const {
  auto ctl = control();
  if (!ctl) return false;
  std::lock_guard l(ctl->m_);
  return !ctl->finished_;
}

}  // namespace ferrolan
