// Worker jobs calling script functions across apartments: the gtest thread
// plays the user-interface thread (single-threaded apartment, pumping
// messages while the worker runs).
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/job.h"
#include "app/core/script_object.h"
#include "tests/unit/core/recording_dispatch.h"

namespace {

// Runs the message loop until h is signalled.
bool PumpUntil(HANDLE h, DWORD timeoutMs = 10000) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    const DWORD wait = MsgWaitForMultipleObjects(1, &h, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) return true;
    if (wait != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
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
  omb::unique_handle thread;
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
        },
        &thread);
    ASSERT_EQ(S_OK, started);
  }
  ASSERT_TRUE(PumpUntil(thread.get()));

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
    omb::unique_handle thread;
    {
      auto options = Options(progress.Get(), success.Get(), fail.Get(), ArgObject(contextObject.Get()));
      CScriptCallbacks callbacks(options.Get(), {L"progress", L"success", L"fail"});
      ASSERT_EQ(S_OK, StartJob(
                          callbacks, owner.Get(),
                          [throws](CJob&) {
                            if (throws) throw std::runtime_error("work failed");
                          },
                          &thread));
    }
    ASSERT_TRUE(PumpUntil(thread.get()));
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
  omb::unique_handle thread;
  {
    auto options = Options(nullptr, success.Get(), nullptr, ArgObject(contextObject.Get()));
    CScriptCallbacks callbacks(options.Get(), {L"success"});
    ASSERT_EQ(S_OK, StartJob(callbacks, nullptr, [](CJob& job) { job.Call(L"success", {ArgI4(1)}); },
                             &thread));
  }
  ASSERT_TRUE(PumpUntil(thread.get()));
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

}  // namespace
