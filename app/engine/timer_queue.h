// The page's setTimeout/setInterval tasks, ordered by due time and then by
// the order they were added, so that tasks with equal delays run in the
// order script created them. One platform timer, armed for the earliest
// task, drives the queue (see CPage::OnTimer).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "app/engine/engine_com.h"

namespace omb::engine {

struct TimerCallback {
  unique_variant code;  // a function (VT_DISPATCH) or source text (VT_BSTR)
  std::vector<unique_variant> args;
};

struct TimerTask {
  LONG id = 0;
  ULONGLONG due = 0;
  ULONGLONG sequence = 0;
  UINT interval = 0;  // 0 for a one-shot task
  std::shared_ptr<const TimerCallback> callback;
};

class CTimerQueue {
 public:
  // Adds a task due delay ms after now; answers its id (1, 2, ...).
  LONG Add(std::shared_ptr<const TimerCallback> callback, UINT delay, bool repeat, ULONGLONG now);
  bool Remove(LONG id) noexcept;
  void Clear() noexcept { tasks_.clear(); }
  bool Empty() const noexcept { return tasks_.empty(); }
  std::optional<ULONGLONG> NextDue() const noexcept;
  // The sequence number the next added task will get; tasks added from now
  // on are not taken by TakeDue calls limited to this value.
  ULONGLONG NextSequence() const noexcept { return nextSequence_; }
  // Takes the earliest task due at now that was added before sequenceLimit;
  // a repeating task is rescheduled, a one-shot task removed.
  bool TakeDue(ULONGLONG now, ULONGLONG sequenceLimit, TimerTask* task);

 private:
  std::vector<TimerTask> tasks_;
  LONG nextId_ = 1;
  ULONGLONG nextSequence_ = 0;
};

}  // namespace omb::engine
