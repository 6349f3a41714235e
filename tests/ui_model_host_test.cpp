// A front end's host may go away while workers still ask it things.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/ui_model.h"

namespace ferrolan {
namespace {

// A host whose box stays up until released, and that notes when it is gone.
class SlowHost final : public UiHost {
 public:
  int messageBox(const MessageBoxRequest&) override {
    std::unique_lock l(m_);
    entered_ = true;
    cv_.notify_all();
    cv_.wait(l, [this] { return released_; });
    finished_ = true;
    return 7;
  }
  void waitEntered() {
    std::unique_lock l(m_);
    cv_.wait(l, [this] { return entered_; });
  }
  void release() {
    std::lock_guard l(m_);
    released_ = true;
    cv_.notify_all();
  }
  bool finished() {
    std::lock_guard l(m_);
    return finished_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool entered_ = false, released_ = false, finished_ = false;
};

TEST(UiModelHost, ReplacingTheHostWaitsForCallsInsideItThenLaterCallsGoWithout) {
  UiModel ui;
  auto host = std::make_unique<SlowHost>();
  ui.setHost(host.get());
  int answer = 0;
  std::thread worker([&] { answer = ui.messageBox(WindowId::TextPage, "Open File Failed!", "Error"); });
  host->waitEntered();
  std::atomic<bool> finishedWhenReplaced{false}, replacing{false};
  std::thread gui([&] {
    replacing = true;
    ui.setHost(nullptr);
    // Only now may the host be destroyed: its call must be over.
    finishedWhenReplaced = host->finished();
  });
  while (!replacing.load()) std::this_thread::yield();
  host->release();
  gui.join();
  worker.join();
  EXPECT_TRUE(finishedWhenReplaced.load());
  EXPECT_EQ(answer, 7);
  host.reset();
  EXPECT_EQ(ui.messageBox(std::nullopt, "x", "y"), kIdOk);
  EXPECT_EQ(ui.openFile("Specify a file", "*.bin"), std::nullopt);
}

}  // namespace
}  // namespace ferrolan
