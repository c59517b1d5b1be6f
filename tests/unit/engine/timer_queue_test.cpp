#include "app/engine/timer_queue.h"

#include <gtest/gtest.h>

namespace omb::engine {
namespace {

std::shared_ptr<const TimerCallback> Callback() { return std::make_shared<TimerCallback>(); }

std::vector<LONG> TakeAll(CTimerQueue& queue, ULONGLONG now, ULONGLONG limit) {
  std::vector<LONG> ids;
  TimerTask task;
  while (queue.TakeDue(now, limit, &task)) ids.push_back(task.id);
  return ids;
}

TEST(TimerQueue, DueTimeFirstThenOrderOfCreation) {
  CTimerQueue queue;
  const LONG late = queue.Add(Callback(), 50, false, 1000);
  const LONG a = queue.Add(Callback(), 0, false, 1000);
  const LONG b = queue.Add(Callback(), 0, false, 1000);
  const LONG middle = queue.Add(Callback(), 20, false, 1005);
  EXPECT_EQ(queue.NextDue(), 1000u);
  EXPECT_EQ(TakeAll(queue, 1010, queue.NextSequence()), (std::vector<LONG>{a, b}));
  EXPECT_EQ(TakeAll(queue, 2000, queue.NextSequence()), (std::vector<LONG>{middle, late}));
  EXPECT_TRUE(queue.Empty());
}

TEST(TimerQueue, TasksAddedDuringARunWaitForTheNextRun) {
  CTimerQueue queue;
  queue.Add(Callback(), 0, false, 0);
  const ULONGLONG limit = queue.NextSequence();
  TimerTask task;
  ASSERT_TRUE(queue.TakeDue(10, limit, &task));
  const LONG added = queue.Add(Callback(), 0, false, 10);  // a callback that sets a new timeout
  EXPECT_FALSE(queue.TakeDue(10, limit, &task));
  EXPECT_EQ(TakeAll(queue, 10, queue.NextSequence()), (std::vector<LONG>{added}));
}

TEST(TimerQueue, IntervalsRescheduleFromTheirRunUntilRemoved) {
  CTimerQueue queue;
  const LONG id = queue.Add(Callback(), 30, true, 0);
  TimerTask task;
  ASSERT_TRUE(queue.TakeDue(35, queue.NextSequence(), &task));
  EXPECT_EQ(task.interval, 30u);
  EXPECT_EQ(queue.NextDue(), 65u);
  EXPECT_FALSE(queue.TakeDue(64, queue.NextSequence(), &task));
  EXPECT_TRUE(queue.Remove(id));
  EXPECT_FALSE(queue.Remove(id));
  EXPECT_FALSE(queue.NextDue());
}

TEST(TimerQueue, ZeroIntervalDoesNotSpin) {
  CTimerQueue queue;
  queue.Add(Callback(), 0, true, 0);
  EXPECT_EQ(TakeAll(queue, 0, queue.NextSequence()).size(), 1u);  // rescheduled past now
  EXPECT_EQ(queue.NextDue(), 1u);
}

}  // namespace
}  // namespace omb::engine
