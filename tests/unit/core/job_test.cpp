// Worker jobs calling script functions across apartments: the gtest thread
// plays the user-interface thread (single-threaded apartment, pumping
// messages while the worker runs).
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/job.h"
#include "app/core/script_object.h"
#include "tests/unit/core/recording_dispatch.h"

namespace {

// Pumps until every job has ended, both on its worker and back here.
::testing::AssertionResult JobsEnded(DWORD timeoutMs = 10000) {
  if (WaitForJobs(timeoutMs)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << RunningJobs() << " job(s) still running after "
                                       << timeoutMs << " ms";
}

// Runs the message loop until done() holds; fails saying what was awaited.
template <class F>
::testing::AssertionResult PumpUntil(F done, const char* what, DWORD timeoutMs = 10000) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return ::testing::AssertionFailure() << what << ": not within " << timeoutMs << " ms";
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return ::testing::AssertionSuccess();
}

class JobTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, com_.result()); }

  // Options {progress, success, fail, context} for the given functions.
  ComPtr<CObject> Options(RecordingDispatch* progress, RecordingDispatch* success,
                          RecordingDispatch* fail, const VARIANT& context) {
    auto options = New<CObject>();
    if (progress) {
      EXPECT_EQ(S_OK, options->SetMember(L"progress", ArgObject(progress)));
    }
    if (success) {
      EXPECT_EQ(S_OK, options->SetMember(L"success", ArgObject(success)));
    }
    if (fail) {
      EXPECT_EQ(S_OK, options->SetMember(L"fail", ArgObject(fail)));
    }
    EXPECT_EQ(S_OK, options->SetMember(L"context", context));
    return options;
  }

  omb::unique_coinit com_{COINIT_APARTMENTTHREADED};
};

TEST_F(JobTest, WorkerCallsRunOnTheUiThreadWithArgumentsAndAnswers) {
  auto progress = New<RecordingDispatch>();
  auto success = New<RecordingDispatch>();
  auto owner = New<RecordingDispatch>();
  omb::SetBool(progress->answer.put(), false);
  success->answerResult = DISP_E_EXCEPTION;  // the function threw
  const ULONG ownerRefs = owner->Refs();
  const ULONG progressRefs = progress->Refs();
  omb::unique_bstr context(SysAllocString(L"ctx"));

  DWORD worker = 0;
  bool hasFail = true;
  HRESULT progressHr = E_UNEXPECTED, successHr = E_UNEXPECTED, missingHr = E_UNEXPECTED;
  VARTYPE answerType = VT_ILLEGAL;
  bool answer = true;
  {
    auto options = Options(progress.Get(), success.Get(), nullptr, ArgString(context.get()));
    CScriptCallbacks callbacks(options.Get(), {L"progress", L"success", L"fail"});
    const HRESULT started = StartJob(
        callbacks, owner.Get(),
        [&](CJob& job) {
          worker = GetCurrentThreadId();
          hasFail = job.Has(L"fail");
          omb::unique_variant result;
          progressHr = job.Call(L"progress", {ArgDouble(1.5), ArgDouble(3)}, result.put());
          answerType = result.vt();
          answer = omb::IsTrue(*result);
          successHr = job.Call(L"success", {});
          missingHr = job.Call(L"fail", {ArgI4(E_FAIL)});
        });
    ASSERT_EQ(S_OK, started);
  }
  ASSERT_TRUE(JobsEnded());

  ASSERT_EQ(1u, progress->calls.size());
  const auto& call = progress->calls[0];
  EXPECT_EQ(GetCurrentThreadId(), call.thread);
  EXPECT_NE(worker, call.thread);
  EXPECT_EQ(DISPID_VALUE, call.id);
  EXPECT_EQ(DISPATCH_METHOD, call.flags);
  EXPECT_EQ((std::vector<std::wstring>{L"5:1.5", L"5:3", L"8:ctx"}), call.args);
  EXPECT_EQ(S_OK, progressHr);
  EXPECT_EQ(VT_BOOL, answerType);
  EXPECT_FALSE(answer);

  ASSERT_EQ(1u, success->calls.size());
  EXPECT_EQ((std::vector<std::wstring>{L"8:ctx"}), success->calls[0].args);
  EXPECT_EQ(DISP_E_EXCEPTION, successHr);
  EXPECT_FALSE(hasFail);
  EXPECT_EQ(S_FALSE, missingHr);

  EXPECT_EQ(progressRefs, progress->Refs());
  EXPECT_EQ(ownerRefs, owner->Refs());
}

TEST_F(JobTest, ReleasesFunctionsContextAndOwnerOnEveryPath) {
  auto progress = New<RecordingDispatch>();
  auto success = New<RecordingDispatch>();
  auto fail = New<RecordingDispatch>();
  auto contextObject = New<RecordingDispatch>();
  auto owner = New<RecordingDispatch>();
  const ULONG baseline = owner->Refs();  // every object starts alike

  for (bool throws : {false, true}) {
    {
      auto options = Options(progress.Get(), success.Get(), fail.Get(), ArgObject(contextObject.Get()));
      CScriptCallbacks callbacks(options.Get(), {L"progress", L"success", L"fail"});
      ASSERT_EQ(S_OK, StartJob(callbacks, owner.Get(), [throws](CJob&) {
        if (throws) throw std::runtime_error("work failed");
      }));
    }
    ASSERT_TRUE(JobsEnded());
    EXPECT_EQ(baseline, progress->Refs()) << throws;
    EXPECT_EQ(baseline, success->Refs()) << throws;
    EXPECT_EQ(baseline, fail->Refs()) << throws;
    EXPECT_EQ(baseline, contextObject->Refs()) << throws;
    EXPECT_EQ(baseline, owner->Refs()) << throws;
  }
  EXPECT_TRUE(success->calls.empty());
}

TEST_F(JobTest, ObjectContextReachesScriptAsTheSameObject) {
  auto success = New<RecordingDispatch>();
  auto contextObject = New<RecordingDispatch>();
  const ULONG contextRefs = contextObject->Refs();
  {
    auto options = Options(nullptr, success.Get(), nullptr, ArgObject(contextObject.Get()));
    CScriptCallbacks callbacks(options.Get(), {L"success"});
    ASSERT_EQ(S_OK, StartJob(callbacks, nullptr, [](CJob& job) { job.Call(L"success", {ArgI4(1)}); }));
  }
  ASSERT_TRUE(JobsEnded());
  ASSERT_EQ(1u, success->calls.size());
  ASSERT_EQ(2u, success->calls[0].objects.size());
  EXPECT_EQ(static_cast<IUnknown*>(contextObject.Get()), success->calls[0].objects[1]);
  EXPECT_EQ(contextRefs, contextObject->Refs());
}

TEST_F(JobTest, FailedStartLeavesTheFunctionsCallableAtOnce) {
  auto fail = New<RecordingDispatch>();
  auto owner = New<RecordingDispatch>();
  const ULONG ownerRefs = owner->Refs();
  omb::unique_bstr context(SysAllocString(L"c"));
  auto options = Options(nullptr, nullptr, fail.Get(), ArgString(context.get()));
  CScriptCallbacks callbacks(options.Get(), {L"progress", L"success", L"fail"});

  const HRESULT started = StartJob(nullptr, callbacks, owner.Get());
  EXPECT_EQ(E_INVALIDARG, started);
  EXPECT_EQ(ownerRefs, owner->Refs());
  EXPECT_EQ(S_OK, callbacks.Call(L"fail", {ArgI4(started)}));
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ(GetCurrentThreadId(), fail->calls[0].thread);
  EXPECT_EQ((std::vector<std::wstring>{L"3:-2147024809", L"8:c"}), fail->calls[0].args);
}

// Notes the thread that destroyed it.
class ReleaseWatch : public omb::ComObject<ReleaseWatch, IUnknown> {
 public:
  explicit ReleaseWatch(std::atomic<DWORD>* gone) : gone_(gone) {}
  ~ReleaseWatch() override { *gone_ = GetCurrentThreadId(); }

 private:
  std::atomic<DWORD>* gone_;
};

TEST_F(JobTest, TheOwnerAndWhatTheWorkCapturedAreReleasedOnTheStartingThread) {
  std::atomic<DWORD> ownerGone{0}, capturedGone{0}, worker{0};
  omb::unique_handle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  {
    auto owner = omb::Make<ReleaseWatch>(&ownerGone);
    auto captured = omb::Make<ReleaseWatch>(&capturedGone);
    CScriptCallbacks none;
    ASSERT_EQ(S_OK, StartJob(none, owner->Unknown(), [captured, go = go.get(), &worker](CJob&) {
      worker = GetCurrentThreadId();
      WaitForSingleObject(go, 10000);
    }));
  }  // from here the job holds the only references
  SetEvent(go.get());
  ASSERT_TRUE(JobsEnded());
  ASSERT_NE(0u, worker.load());
  EXPECT_EQ(GetCurrentThreadId(), ownerGone.load()) << "the owner's last release";
  EXPECT_EQ(GetCurrentThreadId(), capturedGone.load()) << "the work's captured state";
}

// A job waiting for something else wakes through the stop event.
TEST_F(JobTest, StoppedJobsWakeCallNoScriptAndNoNewJobStarts) {
  auto success = New<RecordingDispatch>();
  std::atomic<bool> woken{false}, sawStop{false}, hadFunction{true};
  std::atomic<HRESULT> callHr{S_OK};
  {
    auto options = Options(nullptr, success.Get(), nullptr, ArgI4(7));
    CScriptCallbacks callbacks(options.Get(), {L"success"});
    ASSERT_EQ(S_OK, StartJob(callbacks, nullptr, [&](CJob& job) {
      woken = WaitForSingleObject(job.StopEvent(), 10000) == WAIT_OBJECT_0;
      sawStop = job.Stopping();
      hadFunction = job.Object(L"success") != nullptr;
      callHr = job.Call(L"success", {});
    }));
  }
  StopJobs();
  omb::scope_exit resume([] { ResumeJobs(); });
  CScriptCallbacks none;
  EXPECT_EQ(E_ABORT, StartJob(none, nullptr, [](CJob&) {}));
  ASSERT_TRUE(JobsEnded());
  EXPECT_TRUE(woken);
  EXPECT_TRUE(sawStop);
  EXPECT_FALSE(hadFunction);
  EXPECT_EQ(E_ABORT, callHr.load());
  EXPECT_TRUE(success->calls.empty());
}

// Many jobs calling back while this thread pumps, over several lifetimes of
// the user-interface apartment (test fixtures, and a host at exit, tear it
// down): every call arrives, in every round. An apartment torn down while
// jobs still release their proxies into it leaves those workers waiting
// forever, and the platform may take the next apartment on this thread for
// the old one, so later jobs' calls went nowhere.
TEST(JobStressTest, EveryCallArrivesAcrossApartmentLifetimes) {
  constexpr int kRounds = 12;
  constexpr size_t kJobs = 8;
  for (int round = 0; round < kRounds; ++round) {
    omb::unique_coinit sta(COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, sta.result());
    std::vector<ComPtr<RecordingDispatch>> progress, success;
    for (size_t j = 0; j < kJobs; ++j) {
      progress.push_back(New<RecordingDispatch>());
      success.push_back(New<RecordingDispatch>());
      auto options = New<CObject>();
      ASSERT_EQ(S_OK, options->SetMember(L"progress", ArgObject(progress.back().Get())));
      ASSERT_EQ(S_OK, options->SetMember(L"success", ArgObject(success.back().Get())));
      CScriptCallbacks callbacks(options.Get(), {L"progress", L"success"});
      ASSERT_EQ(S_OK, StartJob(callbacks, nullptr, [](CJob& job) {
        for (int i = 0; i < 3; ++i) job.Call(L"progress", {ArgI4(i)});
        job.Call(L"success", {});
      }));
    }
    const auto allDone = [&] {
      for (const auto& s : success)
        if (s->calls.empty()) return false;
      return true;
    };
    ASSERT_TRUE(PumpUntil(allDone, "every job's success call")) << "round " << round;
    ASSERT_TRUE(JobsEnded()) << "round " << round;
    for (size_t j = 0; j < kJobs; ++j) {
      EXPECT_EQ(3u, progress[j]->calls.size()) << "round " << round << ", job " << j;
      EXPECT_EQ(1u, success[j]->calls.size()) << "round " << round << ", job " << j;
    }
  }
}

}  // namespace
