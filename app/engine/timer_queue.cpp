#include "app/engine/timer_queue.h"

#include <algorithm>

namespace omb::engine {

LONG CTimerQueue::Add(std::shared_ptr<const TimerCallback> callback, UINT delay, bool repeat,
                      ULONGLONG now) {
  const LONG id = nextId_;
  nextId_ = nextId_ == LONG_MAX ? 1 : nextId_ + 1;
  tasks_.push_back(TimerTask{id, now + delay, nextSequence_++, repeat ? std::max(delay, 1u) : 0,
                             std::move(callback)});
  return id;
}

bool CTimerQueue::Remove(LONG id) noexcept {
  const auto it =
      std::find_if(tasks_.begin(), tasks_.end(), [id](const TimerTask& t) { return t.id == id; });
  if (it == tasks_.end()) return false;
  tasks_.erase(it);
  return true;
}

std::optional<ULONGLONG> CTimerQueue::NextDue() const noexcept {
  std::optional<ULONGLONG> due;
  for (const TimerTask& t : tasks_)
    if (!due || t.due < *due) due = t.due;
  return due;
}

bool CTimerQueue::TakeDue(ULONGLONG now, ULONGLONG sequenceLimit, TimerTask* task) {
  auto best = tasks_.end();
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
    if (it->due > now || it->sequence >= sequenceLimit) continue;
    if (best == tasks_.end() || it->due < best->due ||
        (it->due == best->due && it->sequence < best->sequence))
      best = it;
  }
  if (best == tasks_.end()) return false;
  *task = *best;
  if (best->interval) {
    best->due = now + best->interval;
    best->sequence = nextSequence_++;
  } else {
    tasks_.erase(best);
  }
  return true;
}

}  // namespace omb::engine
