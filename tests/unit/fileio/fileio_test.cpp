// The "fileIO" plug-in on real files in a temporary folder: modes, the
// synchronous transfers with stream objects, seek and size, and the
// asynchronous jobs with the gtest thread as the user-interface thread
// (single-threaded apartment, pumping while workers call back).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/core/script_object.h"
#include "app/plugins/fileio/fileio_plugin.h"
#include "app/plugins/stream/stream_plugin.h"
#include "tests/unit/stream/script_caller.h"

using namespace scripttest;
using omb::CFileIOPlugin;
using omb::CStreamPlugin;
using omb::unique_variant;

namespace {

// The window's core as the plug-in sees it: paths resolve against a folder,
// "stream" makes a new stream object; the threads QueryPlugin runs on are
// recorded.
class FakeCore : public omb::ComObject<FakeCore, OMB::ICore> {
 public:
  std::wstring folder;
  std::vector<DWORD> queryThreads;
  bool refuseStreams = false;

  STDMETHODIMP CreateBrowserWindow(const wchar_t*, BOOL, VARIANT*, VARIANT*,
                                   IDispatch**) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP_(HWND) GetWindowHandle() noexcept override { return nullptr; }
  STDMETHODIMP QueryPlugin(const wchar_t* name, IDispatch** plugin) noexcept override {
    queryThreads.push_back(GetCurrentThreadId());
    *plugin = nullptr;
    if (refuseStreams || wcscmp(name, L"stream") != 0) return DISP_E_UNKNOWNNAME;
    auto stream = omb::Make<CStreamPlugin>();
    return stream->QueryInterface(IID_PPV_ARGS(plugin));
  }
  STDMETHODIMP ResolvePath(const wchar_t* path, BSTR* result) noexcept override {
    *result = SysAllocString((folder + L"\\" + path).c_str());
    return S_OK;
  }
  STDMETHODIMP CreateObject(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
};

// A script function: records each call (thread, arguments as text, and for
// a stream argument its size, position and bytes) and answers a set value.
class Recorder : public omb::ComObject<Recorder, IDispatch> {
 public:
  struct Call {
    DWORD thread = 0;
    std::vector<std::wstring> args;  // script order
    bool streamArg = false;
    ULONGLONG streamSize = 0, streamPos = 0;
    std::string bytes;
  };
  std::vector<Call> calls;
  unique_variant answer;
  HRESULT answerResult = S_OK;
  std::function<void(size_t)> onCall;

  STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
    Call call;
    call.thread = GetCurrentThreadId();
    for (UINT i = params->cArgs; i-- > 0;) {
      VARIANT& v = params->rgvarg[i];
      VARIANT text;
      VariantInit(&text);
      if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR))) {
        call.args.push_back(text.bstrVal);
        VariantClear(&text);
      } else {
        call.args.push_back(L"<vt " + std::to_wstring(v.vt) + L">");
      }
      ComPtr<OMB::IStream> s;
      if (v.vt == VT_DISPATCH && v.pdispVal &&
          SUCCEEDED(v.pdispVal->QueryInterface(IID_PPV_ARGS(&s)))) {
        call.streamArg = true;
        call.streamSize = s->GetSize();
        s->Seek(0, 1, &call.streamPos);
        call.bytes.assign(reinterpret_cast<const char*>(s->GetBuffer()), s->GetSize());
      }
    }
    calls.push_back(std::move(call));
    if (onCall) onCall(calls.size());
    if (result) VariantCopy(result, answer.get());
    return answerResult;
  }
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class FileIOTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, com_.result());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    core_->folder = std::wstring(temp) + L"ombrel-fileio-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(core_->folder.c_str(), nullptr);
    file_ = NewFileIO();
  }
  void TearDown() override {
    file_.Reset();
    for (const std::wstring& name : created_) DeleteFileW(Path(name).c_str());
    RemoveDirectoryW(core_->folder.c_str());
  }

  ComPtr<CFileIOPlugin> NewFileIO() {
    auto f = omb::Make<CFileIOPlugin>();
    f->Initialize(core_.Get(), nullptr);  // no browser: only the trace line differs
    return f;
  }
  IDispatch* Js(const ComPtr<CFileIOPlugin>& f) {
    return static_cast<omb::DispatchTable<CFileIOPlugin>*>(f.Get());
  }
  IDispatch* Js(const ComPtr<CStreamPlugin>& s) {
    return static_cast<omb::DispatchTable<CStreamPlugin>*>(s.Get());
  }
  std::wstring Path(const std::wstring& name) { return core_->folder + L"\\" + name; }

  void MakeFile(const std::wstring& name, const std::string& content) {
    created_.push_back(name);
    HANDLE h =
        CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
  }
  std::string FileContent(const std::wstring& name) {
    HANDLE h = CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    ReadFile(h, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(h);
    return content;
  }
  bool Open(const std::wstring& name, const wchar_t* mode) {
    created_.push_back(name);
    unique_variant r;
    EXPECT_EQ(S_OK, Call(Js(file_), L"open", {str_(name.c_str()), str_(mode)}, &r));
    return omb::IsTrue(*r);
  }
  ComPtr<CStreamPlugin> StreamWith(const std::string& bytes) {
    auto s = omb::Make<CStreamPlugin>();
    s->Write(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<ULONG>(bytes.size()),
             nullptr);
    s->Seek(0, 0, nullptr);
    return s;
  }
  std::string Content(const ComPtr<CStreamPlugin>& s) {
    return std::string(reinterpret_cast<const char*>(s->GetBuffer()), s->GetSize());
  }

  // Options {len, src, progress, success, fail, context: "ctx"}; a null
  // function or a VT_EMPTY value leaves the option out.
  ComPtr<CObject> Options(const VARIANT& len, IDispatch* src, Recorder* progress, Recorder* success,
                          Recorder* fail) {
    auto o = omb::Make<CObject>();
    HRESULT hr = S_OK;
    if (len.vt != VT_EMPTY) hr |= o->SetMember(L"len", len);
    if (src) hr |= o->SetMember(L"src", Obj(src));
    if (progress) hr |= o->SetMember(L"progress", Obj(progress));
    if (success) hr |= o->SetMember(L"success", Obj(success));
    if (fail) hr |= o->SetMember(L"fail", Obj(fail));
    hr |= o->SetMember(L"context", str_(L"ctx"));
    EXPECT_EQ(S_OK, hr);
    return o;
  }

  // Pumps messages until the file object is held by nobody but the test,
  // which is when its job has ended.
  bool WaitForJobs(const ComPtr<CFileIOPlugin>& f) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
      f->AddRef();
      if (f->Release() == 1) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return false;
  }

  omb::unique_coinit com_{COINIT_APARTMENTTHREADED};
  ComPtr<FakeCore> core_ = omb::Make<FakeCore>();
  ComPtr<CFileIOPlugin> file_;
  std::vector<std::wstring> created_;
  unique_variant r_;
  Strings str_;
};

TEST(FileIOMode, LettersSetAccessAndTheLastCreationLetterWins) {
  struct {
    const wchar_t* mode;
    DWORD access, creation;
  } cases[] = {
      {L"", 0, OPEN_EXISTING},
      {L"r", GENERIC_READ, OPEN_EXISTING},
      {L"RW", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
      {L"wo", GENERIC_WRITE, OPEN_ALWAYS},
      {L"cN", 0, CREATE_NEW},
      {L"nC", 0, CREATE_ALWAYS},
      {L"oe", 0, OPEN_EXISTING},
      {L"x+b r?", GENERIC_READ, OPEN_EXISTING},
  };
  for (const auto& c : cases) {
    DWORD access = 1, creation = 1;
    CFileIOPlugin::ParseMode(c.mode, &access, &creation);
    EXPECT_EQ(c.access, access) << c.mode;
    EXPECT_EQ(c.creation, creation) << c.mode;
  }
}

TEST_F(FileIOTest, OpenFollowsTheModeOnRealFiles) {
  EXPECT_FALSE(Open(L"a.bin", L"rw")) << "open existing fails on a missing file";
  EXPECT_EQ(INVALID_HANDLE_VALUE, file_->File());
  EXPECT_TRUE(Open(L"a.bin", L"rwo"));
  EXPECT_EQ("", FileContent(L"a.bin"));
  EXPECT_FALSE(Open(L"a.bin", L"wn")) << "create new fails on an existing file";
  EXPECT_EQ(INVALID_HANDLE_VALUE, file_->File()) << "a failed open leaves no file open";
  MakeFile(L"b.bin", "content");
  EXPECT_TRUE(Open(L"b.bin", L"r"));
  EXPECT_TRUE(Open(L"b.bin", L"wc"));
  EXPECT_EQ("", FileContent(L"b.bin")) << "create always truncates";
  EXPECT_EQ(S_OK, Call(Js(file_), L"close", {}, nullptr));
  EXPECT_EQ(INVALID_HANDLE_VALUE, file_->File());
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"open", {str_(L"b.bin"), I4(1)}, &r_));
  EXPECT_EQ(E_NOTIMPL, Call(Js(file_), L"open", {str_(L"b.bin")}, &r_));
}

TEST_F(FileIOTest, ReadWriteSeekAndSizeMoveAllBytesInBlocks) {
  const std::string data = Pattern(200000);
  ASSERT_TRUE(Open(L"big.bin", L"rwc"));
  auto source = StreamWith(data);
  EXPECT_EQ(S_OK, Call(Js(file_), L"write", {Obj(Js(source)), R8(1e12)}, &r_));
  EXPECT_EQ(200000.0, Num(r_)) << "a count beyond the data moves what there is";
  EXPECT_TRUE(FileContent(L"big.bin") == data);

  EXPECT_EQ(S_OK, Get(Js(file_), L"size", &r_));
  EXPECT_EQ(VT_R8, r_.vt());
  EXPECT_EQ(200000.0, r_->dblVal);
  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(10), I4(0)}, &r_));
  EXPECT_EQ(10.0, Num(r_));
  auto target = omb::Make<CStreamPlugin>();
  EXPECT_EQ(S_OK, Call(Js(file_), L"read", {Obj(Js(target)), I4(150000)}, &r_));
  EXPECT_EQ(150000.0, Num(r_));
  EXPECT_TRUE(Content(target) == data.substr(10, 150000));
  EXPECT_EQ(S_OK, Call(Js(file_), L"read", {Obj(Js(target)), I4(150000)}, &r_));
  EXPECT_EQ(49990.0, Num(r_)) << "the rest of the file";
  EXPECT_EQ(S_OK, Call(Js(file_), L"read", {Obj(Js(target)), I4(5)}, &r_));
  EXPECT_EQ(0.0, Num(r_)) << "at the end of the file";

  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(-10), I4(2)}, &r_));
  EXPECT_EQ(199990.0, Num(r_));
  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(0), I4(3)}, &r_));
  EXPECT_EQ(VT_EMPTY, r_.vt()) << "an unknown origin does nothing";
  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(-1), I4(0)}, &r_));
  EXPECT_EQ(VT_EMPTY, r_.vt()) << "a platform failure leaves no result";
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"seek", {I4(0), R8(0)}, &r_));

  // Resizing keeps the file pointer.
  EXPECT_EQ(S_OK, Invoke(Js(file_), L"size", DISPATCH_PROPERTYPUT, {I4(1000)}, nullptr));
  EXPECT_EQ(S_OK, Get(Js(file_), L"size", &r_));
  EXPECT_EQ(1000.0, r_->dblVal);
  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(0), I4(1)}, &r_));
  EXPECT_EQ(199990.0, Num(r_));
  EXPECT_EQ(E_INVALIDARG, Invoke(Js(file_), L"size", DISPATCH_PROPERTYPUT, {str_(L"x")}, nullptr));
  EXPECT_EQ(E_INVALIDARG, Get(Js(file_), L"size", nullptr));
}

TEST_F(FileIOTest, TransfersCheckTheirArgumentsAndReportFailureAsZero) {
  auto stream = StreamWith("abc");
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"read", {Obj(Js(stream)), I4(0)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"read", {Obj(Js(stream)), I4(-5)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"read", {str_(L"abc"), I4(3)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"write", {Obj(Js(file_)), I4(3)}, &r_))
      << "an object that is not a stream";
  EXPECT_EQ(E_NOTIMPL, Call(Js(file_), L"write", {Obj(Js(stream))}, &r_));
  // No open file: the platform calls fail and the result is 0.
  EXPECT_EQ(S_OK, Call(Js(file_), L"write", {Obj(Js(stream)), I4(3)}, &r_));
  EXPECT_EQ(0.0, Num(r_));
  EXPECT_EQ(S_OK, Get(Js(file_), L"size", &r_));
  EXPECT_EQ(0.0, r_->dblVal);
  MakeFile(L"ro.bin", "xyz");
  ASSERT_TRUE(Open(L"ro.bin", L"r"));
  EXPECT_EQ(S_OK, Call(Js(file_), L"write", {Obj(Js(stream)), I4(3)}, &r_));
  EXPECT_EQ(0.0, Num(r_)) << "writing to a read-only handle";
}

TEST_F(FileIOTest, ConstantsAreReadAsProperties) {
  const std::pair<const wchar_t*, LONG> constants[] = {
      {L"BEGIN", 0}, {L"CURRENT", 1}, {L"END", 2}, {L"S_OK", 0}, {L"E_ABORT", -2147467260}};
  for (auto [name, value] : constants) {
    EXPECT_EQ(S_OK, Get(Js(file_), name, &r_)) << name;
    EXPECT_EQ(VT_I4, r_.vt());
    EXPECT_EQ(value, r_->lVal) << name;
    EXPECT_EQ(E_NOTIMPL, Call(Js(file_), name, {}, &r_)) << name;
  }
  EXPECT_EQ(-9993, IdOf(Js(file_), L"size"));
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(Js(file_), L"Size"));
  EXPECT_EQ(E_NOTIMPL, Call(Js(file_), L"size", {}, &r_));
}

TEST_F(FileIOTest, ReadAsyncHandsEachChunkToProgressInAFreshStream) {
  const std::string data = Pattern(150000);
  MakeFile(L"in.bin", data);
  ASSERT_TRUE(Open(L"in.bin", L"r"));
  auto progress = omb::Make<Recorder>(), success = omb::Make<Recorder>(),
       fail = omb::Make<Recorder>();
  auto options = Options(I4(150000), nullptr, progress.Get(), success.Get(), fail.Get());
  EXPECT_EQ(S_OK, Call(Js(file_), L"readAsync", {Obj(options.Get())}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  ASSERT_TRUE(WaitForJobs(file_));

  ASSERT_EQ(3u, progress->calls.size());
  std::string joined;
  for (const auto& call : progress->calls) {
    EXPECT_EQ(GetCurrentThreadId(), call.thread);
    ASSERT_TRUE(call.streamArg) << "the chunk arrives as a stream object";
    EXPECT_EQ(0u, call.streamPos);
    ASSERT_EQ(2u, call.args.size());
    EXPECT_EQ(L"ctx", call.args[1]);
    joined += call.bytes;
  }
  EXPECT_EQ(65536u, progress->calls[0].streamSize);
  EXPECT_EQ(18928u, progress->calls[2].streamSize);
  EXPECT_TRUE(joined == data);
  ASSERT_EQ(1u, success->calls.size());
  EXPECT_EQ(std::vector<std::wstring>{L"ctx"}, success->calls[0].args);
  EXPECT_TRUE(fail->calls.empty());
  ASSERT_EQ(3u, core_->queryThreads.size());
  for (DWORD thread : core_->queryThreads)
    EXPECT_EQ(GetCurrentThreadId(), thread) << "the core is used on its own thread only";
}

TEST_F(FileIOTest, ReadAsyncStopsQuietlyWhenProgressAnswersFalse) {
  MakeFile(L"in.bin", Pattern(200000));
  ASSERT_TRUE(Open(L"in.bin", L"r"));
  auto progress = omb::Make<Recorder>(), success = omb::Make<Recorder>(),
       fail = omb::Make<Recorder>();
  omb::SetBool(progress->answer.put(), false);
  auto options = Options(R8(200000), nullptr, progress.Get(), success.Get(), fail.Get());
  EXPECT_EQ(S_OK, Call(Js(file_), L"readAsync", {Obj(options.Get())}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  ASSERT_TRUE(WaitForJobs(file_));
  EXPECT_EQ(1u, progress->calls.size());
  EXPECT_TRUE(success->calls.empty());
  EXPECT_TRUE(fail->calls.empty());
  EXPECT_EQ(S_OK, Call(Js(file_), L"seek", {I4(0), I4(1)}, &r_));
  EXPECT_EQ(65536.0, Num(r_)) << "the job shares the object's file pointer";
}

TEST_F(FileIOTest, AsyncJobsThatCannotStartCallFailBeforeReturning) {
  MakeFile(L"in.bin", "abc");
  auto src = StreamWith("abc");
  VARIANT none;
  VariantInit(&none);
  struct Case {
    const char* what;
    const wchar_t* member;
    VARIANT len;
    IDispatch* src;
    LONG expected;
  } cases[] = {
      {"no len", L"readAsync", none, nullptr, E_INVALIDARG},
      {"len as text", L"readAsync", str_(L"3"), nullptr, E_INVALIDARG},
      {"len 0", L"readAsync", I4(0), nullptr, E_INVALIDARG},
      {"negative len", L"readAsync", I4(-3), nullptr, E_INVALIDARG},
      {"fractional len", L"readAsync", R8(2.5), nullptr, E_INVALIDARG},
      {"len beyond 32 bits", L"readAsync", R8(4294967296.0), nullptr, E_INVALIDARG},
      {"src on a read", L"readAsync", I4(3), Js(src), E_INVALIDARG},
      {"no src on a write", L"writeAsync", I4(3), nullptr, E_INVALIDARG},
      {"src not a stream", L"writeAsync", I4(3), Js(file_), E_INVALIDARG},
      {"no open file", L"readAsync", I4(3), nullptr, static_cast<LONG>(0x80070006)},
  };
  for (const Case& c : cases) {
    auto success = omb::Make<Recorder>(), fail = omb::Make<Recorder>();
    auto options = Options(c.len, c.src, nullptr, success.Get(), fail.Get());
    EXPECT_EQ(S_OK, Call(Js(file_), c.member, {Obj(options.Get())}, &r_)) << c.what;
    EXPECT_FALSE(omb::IsTrue(*r_)) << c.what;
    ASSERT_EQ(1u, fail->calls.size()) << c.what;
    EXPECT_EQ(std::to_wstring(c.expected), fail->calls[0].args[0]) << c.what;
    EXPECT_EQ(L"ctx", fail->calls[0].args[1]) << c.what;
    EXPECT_TRUE(success->calls.empty()) << c.what;
  }
  EXPECT_EQ(E_INVALIDARG, Call(Js(file_), L"readAsync", {I4(3)}, &r_));
  EXPECT_EQ(E_NOTIMPL, Call(Js(file_), L"readAsync", {}, &r_));
}

TEST_F(FileIOTest, AsyncReadFailureReachesFailWithTheResult) {
  ASSERT_TRUE(Open(L"wo.bin", L"wc"));  // write-only: reading is refused
  auto success = omb::Make<Recorder>(), fail = omb::Make<Recorder>(),
       progress = omb::Make<Recorder>();
  auto options = Options(I4(10), nullptr, progress.Get(), success.Get(), fail.Get());
  EXPECT_EQ(S_OK, Call(Js(file_), L"readAsync", {Obj(options.Get())}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  ASSERT_TRUE(WaitForJobs(file_));
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ(std::to_wstring(static_cast<LONG>(0x80070005)), fail->calls[0].args[0]);
  EXPECT_EQ(L"ctx", fail->calls[0].args[1]);
  EXPECT_TRUE(success->calls.empty());
  EXPECT_TRUE(progress->calls.empty());
}

TEST_F(FileIOTest, AsyncReadFailsWhenTheCoreMakesNoStream) {
  MakeFile(L"in.bin", "abc");
  ASSERT_TRUE(Open(L"in.bin", L"r"));
  core_->refuseStreams = true;
  auto success = omb::Make<Recorder>(), fail = omb::Make<Recorder>(),
       progress = omb::Make<Recorder>();
  auto options = Options(I4(3), nullptr, progress.Get(), success.Get(), fail.Get());
  Call(Js(file_), L"readAsync", {Obj(options.Get())}, &r_);
  ASSERT_TRUE(WaitForJobs(file_));
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ(std::to_wstring(static_cast<LONG>(E_FAIL)), fail->calls[0].args[0]);
  EXPECT_TRUE(progress->calls.empty());

  // Without progress no stream is needed and the chunks are dropped.
  fail->calls.clear();
  Call(Js(file_), L"seek", {I4(0), I4(0)}, &r_);
  auto quiet = Options(I4(3), nullptr, nullptr, success.Get(), fail.Get());
  Call(Js(file_), L"readAsync", {Obj(quiet.Get())}, &r_);
  ASSERT_TRUE(WaitForJobs(file_));
  EXPECT_TRUE(fail->calls.empty());
  EXPECT_EQ(1u, success->calls.size());
}

TEST_F(FileIOTest, AsyncWriteMovesTheSourceAndReportsEachChunk) {
  const std::string data = Pattern(100000);
  ASSERT_TRUE(Open(L"out.bin", L"wc"));
  auto src = StreamWith(data);
  auto progress = omb::Make<Recorder>(), success = omb::Make<Recorder>(),
       fail = omb::Make<Recorder>();
  auto options = Options(I4(100000), Js(src), progress.Get(), success.Get(), fail.Get());
  EXPECT_EQ(S_OK, Call(Js(file_), L"writeAsync", {Obj(options.Get())}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  ASSERT_TRUE(WaitForJobs(file_));
  ASSERT_EQ(2u, progress->calls.size());
  EXPECT_EQ(std::vector<std::wstring>{L"ctx"}, progress->calls[1].args);
  ASSERT_EQ(1u, success->calls.size());
  EXPECT_TRUE(fail->calls.empty());
  file_.Reset();
  EXPECT_TRUE(FileContent(L"out.bin") == data);
}

TEST_F(FileIOTest, AsyncWriteEndsOnFalseOrOnAFailingProgress) {
  ASSERT_TRUE(Open(L"out.bin", L"wc"));
  auto src = StreamWith(Pattern(200000));
  auto progress = omb::Make<Recorder>(), success = omb::Make<Recorder>(),
       fail = omb::Make<Recorder>();
  omb::SetBool(progress->answer.put(), false);
  auto options = Options(I4(200000), Js(src), progress.Get(), success.Get(), fail.Get());
  Call(Js(file_), L"writeAsync", {Obj(options.Get())}, &r_);
  ASSERT_TRUE(WaitForJobs(file_));
  EXPECT_EQ(1u, progress->calls.size());
  EXPECT_TRUE(success->calls.empty());
  EXPECT_TRUE(fail->calls.empty());
  EXPECT_EQ(65536u, FileContent(L"out.bin").size());

  // A progress function that throws ends the job with that result.
  progress->calls.clear();
  progress->answer.put();
  progress->answerResult = DISP_E_EXCEPTION;
  Call(Js(file_), L"writeAsync", {Obj(options.Get())}, &r_);
  ASSERT_TRUE(WaitForJobs(file_));
  EXPECT_EQ(1u, progress->calls.size());
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ(std::to_wstring(static_cast<LONG>(DISP_E_EXCEPTION)), fail->calls[0].args[0]);
}

// Script may close the object while its job runs; the job keeps working on
// the file it started with and never touches a closed handle.
TEST_F(FileIOTest, CloseDuringAReadLeavesTheJobItsOwnHandle) {
  const std::string data = Pattern(140000);
  MakeFile(L"in.bin", data);
  ASSERT_TRUE(Open(L"in.bin", L"r"));
  auto progress = omb::Make<Recorder>(), success = omb::Make<Recorder>(),
       fail = omb::Make<Recorder>();
  IDispatch* fileio = Js(file_);
  progress->onCall = [fileio](size_t n) {
    if (n == 1) Call(fileio, L"close", {}, nullptr);
  };
  auto options = Options(I4(140000), nullptr, progress.Get(), success.Get(), fail.Get());
  Call(Js(file_), L"readAsync", {Obj(options.Get())}, &r_);
  ASSERT_TRUE(WaitForJobs(file_));
  EXPECT_EQ(3u, progress->calls.size());
  EXPECT_EQ(1u, success->calls.size());
  EXPECT_TRUE(fail->calls.empty());
}

}  // namespace
