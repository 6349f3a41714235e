#include "datapath/data_path.h"

#include <algorithm>
#include <cstring>

namespace ferrolan {

void SentenceStore::store(StoreSlot slot, std::string_view line) {
  const auto i = static_cast<size_t>(slot);
  if (i >= slots_.size()) return;
  StoredLine s;
  s.length = std::min(line.size(), s.chars.size());
  std::memcpy(s.chars.data(), line.data(), s.length);
  std::lock_guard l(m_);
  slots_[i] = s;
}

StoredLine SentenceStore::read(StoreSlot slot) const {
  const auto i = static_cast<size_t>(slot);
  if (i >= slots_.size()) return {};
  std::lock_guard l(m_);
  return slots_[i];
}

StoredLine SentenceStore::gsvText(int part) const {
  if (part < 1 || part > 5) return {};
  return read(static_cast<StoreSlot>(static_cast<int>(StoreSlot::Gsv1) + part - 1));
}

void VbiCopies::putMeasurement(FrameView frame, int32_t length) {
  std::lock_guard l(m_);
  measurementLength_ = length;
  std::memcpy(measurement_.data(), frame.data(), kVbiCopySize);
}

void VbiCopies::putSolution(FrameView frame) {
  std::lock_guard l(m_);
  const int s = selector_.load();
  std::memcpy(pvt_[static_cast<size_t>(s)].data(), frame.data(), kVbiCopySize);
  selector_.store((s + 1) % 3);
}

int32_t VbiCopies::measurement(VbiCopy& out) const {
  std::lock_guard l(m_);
  out = measurement_;
  return measurementLength_;
}

void VbiCopies::selectedSolution(VbiCopy& out) const {
  std::lock_guard l(m_);
  out = pvt_[static_cast<size_t>(selector_.load())];
}

void VbiCopies::solution(int copy, VbiCopy& out) const {
  if (copy < 0 || copy > 2) return;
  std::lock_guard l(m_);
  out = pvt_[static_cast<size_t>(copy)];
}

void SentenceEventSlots::publish(int index, const EventHandle& event) {
  if (index < 0 || index >= sentenceEvents::kCount) return;
  std::lock_guard l(m_);
  slots_[static_cast<size_t>(index)] = event;
}

void SentenceEventSlots::signal(int index) {
  if (index < 0 || index >= sentenceEvents::kCount) return;
  EventHandle e;
  {
    std::lock_guard l(m_);
    e = slots_[static_cast<size_t>(index)].lock();
  }
  if (e) e->set();
}

void DisplayBarrier::publish(const EventHandle& event) {
  std::lock_guard l(m_);
  event_ = event;
}

bool DisplayBarrier::post(std::function<void()> routine) {
  EventHandle e;
  {
    std::lock_guard l(m_);
    e = event_.lock();
    if (!e) return false;
    posted_.push_back(std::move(routine));
  }
  e->set();
  return true;
}

void DisplayBarrier::runPosted() {
  std::vector<std::function<void()>> due;
  {
    std::lock_guard l(m_);
    due.swap(posted_);
  }
  for (auto& routine : due) routine();
}

}  // namespace ferrolan
