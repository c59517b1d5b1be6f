// "unzip" and "zip" driven through the plug-in's dispatch interface the way
// page script drives them: an options object, functions called back on this
// thread (a single-threaded apartment that pumps messages), results checked
// on disk.
#include <gtest/gtest.h>

#include <functional>

#include "app/core/job.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "app/plugins/zip/zip_plugin.h"
#include "app/plugins/zip/zip_reader.h"
#include "sdk/dispatch.h"
#include "tests/unit/zip/zip_test_support.h"

using namespace ziptest;

namespace {

const HRESULT kFileExists = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);

bool PumpUntil(HANDLE h, DWORD timeoutMs = 20000) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    const DWORD wait = MsgWaitForMultipleObjects(1, &h, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) return true;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

// A script function: records its calls (arguments in script order) and
// answers through `answer`.
class Fn : public omb::ComObject<Fn, omb::InvokeOnly> {
 public:
  explicit Fn(HANDLE done = nullptr) : done_(done) {}
  std::vector<std::vector<std::wstring>> calls;  // each argument as text
  std::vector<std::vector<VARTYPE>> types;
  std::function<void(const std::vector<std::wstring>&, VARIANT*)> answer;

  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
    std::vector<std::wstring> args;
    std::vector<VARTYPE> vts;
    for (UINT i = params->cArgs; i-- > 0;) {
      VARIANT& v = params->rgvarg[i];
      vts.push_back(v.vt);
      omb::unique_variant text;
      if (v.vt == VT_NULL)
        args.push_back(L"null");
      else if (SUCCEEDED(VariantChangeType(text.get(), &v, 0, VT_BSTR)))
        args.push_back(text->bstrVal);
      else
        args.push_back(L"?");
    }
    calls.push_back(args);
    types.push_back(vts);
    if (answer && result) answer(args, result);
    if (done_) SetEvent(done_);
    return S_OK;
  }

 private:
  HANDLE done_;
};

// A stream object as the "stream" plug-in makes them.
class FakeStream : public omb::ComObject<FakeStream, OMB::IStream> {
 public:
  Bytes data;
  uint64_t position = 0;
  STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override { *n = 0; return S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Read(BYTE*, ULONG, ULONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Write(const BYTE* src, ULONG count, ULONG* written) noexcept override {
    if (position + count > data.size()) data.resize(static_cast<size_t>(position + count));
    std::copy(src, src + count, data.begin() + static_cast<ptrdiff_t>(position));
    position += count;
    if (written) *written = count;
    return S_OK;
  }
  STDMETHODIMP Seek(LONGLONG offset, ULONG origin, ULONGLONG* out) noexcept override {
    if (origin != 0) return E_INVALIDARG;
    position = static_cast<uint64_t>(offset);
    if (out) *out = position;
    return S_OK;
  }
  STDMETHODIMP CopyTo(OMB::IStream*, ULONG, ULONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetSize(ULONGLONG size) noexcept override {
    data.resize(static_cast<size_t>(size));
    return S_OK;
  }
  ULONGLONG STDMETHODCALLTYPE GetSize() noexcept override { return data.size(); }
  BYTE* STDMETHODCALLTYPE GetBuffer() noexcept override { return data.data(); }
};

class ZipPluginTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(S_OK, com_.result());
    done_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    progress_ = omb::Make<Fn>();
    success_ = omb::Make<Fn>(done_.get());
    fail_ = omb::Make<Fn>(done_.get());
    options_ = omb::Make<CObject>();
    Set(L"progress", ArgObject(progress_.Get()));
    Set(L"success", ArgObject(success_.Get()));
    Set(L"fail", ArgObject(fail_.Get()));
    Set(L"context", ArgI4(42));
  }

  void Set(const wchar_t* name, const VARIANT& v) { ASSERT_EQ(S_OK, options_->SetMember(name, v)); }
  void SetText(const wchar_t* name, const std::wstring& text) {
    omb::unique_bstr b(SysAllocString(text.c_str()));
    Set(name, ArgString(b.get()));
  }

  // Calls the member with the options and waits for success or fail.
  HRESULT Run(const wchar_t* member) {
    auto plugin = omb::Make<omb::CZipPlugin>();
    ComPtr<IDispatch> dispatch;
    plugin->QueryInterface(IID_PPV_ARGS(&dispatch));
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    VARIANT arg = ArgObject(options_.Get());
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                          nullptr, nullptr);
    if (FAILED(hr)) return hr;
    EXPECT_TRUE(PumpUntil(done_.get())) << "success or fail within 20 s";
    // The job has ended only when it has released its proxies here, after
    // its last call; this apartment must outlive that.
    EXPECT_TRUE(WaitForJobs(10000)) << RunningJobs() << " zip job(s) still running";
    return S_OK;
  }

  omb::unique_coinit com_{COINIT_APARTMENTTHREADED};
  omb::unique_handle done_;
  ComPtr<Fn> progress_, success_, fail_;
  ComPtr<CObject> options_;
};

TEST_F(ZipPluginTest, UnzipReportsEntriesBlocksAndSuccess) {
  SetText(L"src", DataPath(L"basic.zip"));
  SetText(L"dest", Path(L"out"));
  ASSERT_EQ(S_OK, Run(L"unzip"));
  ASSERT_EQ(1u, success_->calls.size());
  EXPECT_EQ(std::vector<std::wstring>{L"42"}, success_->calls[0]);
  EXPECT_TRUE(fail_->calls.empty());
  EXPECT_EQ("hello stored\n", ReadText(Path(L"out\\stored.txt")));
  // Before each entry (name) alone; after each block (name, total,
  // processed, context) with the counts as numbers script can use.
  ASSERT_GE(progress_->calls.size(), 2u);
  EXPECT_EQ((std::vector<std::wstring>{L"stored.txt"}), progress_->calls[0]);
  EXPECT_EQ((std::vector<std::wstring>{L"stored.txt", L"38413", L"13", L"42"}), progress_->calls[1]);
  EXPECT_EQ(VT_R8, progress_->types[1][1]);
  EXPECT_EQ((std::vector<std::wstring>{L"empty.txt"}), progress_->calls.back());
}

TEST_F(ZipPluginTest, UnzipProgressZeroSkipsAndFalseAborts) {
  SetText(L"src", DataPath(L"basic.zip"));
  SetText(L"dest", Path(L"out"));
  progress_->answer = [](const std::vector<std::wstring>& args, VARIANT* result) {
    if (args.size() == 1 && args[0] == L"deflated.txt") omb::SetI4(result, 0);
    if (args.size() == 1 && args[0] == L"empty.txt") omb::SetBool(result, false);
  };
  ASSERT_EQ(S_OK, Run(L"unzip"));
  EXPECT_TRUE(success_->calls.empty());
  ASSERT_EQ(1u, fail_->calls.size());
  // File form: fail(context, code).
  EXPECT_EQ((std::vector<std::wstring>{L"42", std::to_wstring(E_ABORT)}), fail_->calls[0]);
  EXPECT_FALSE(Exists(Path(L"out"))) << "the folder this call created is removed";
}

TEST_F(ZipPluginTest, UnzipFailuresReachFailWithTheirCodes) {
  SetText(L"src", DataPath(L"basic.zip"));
  Set(L"index", ArgI4(1));  // there is only one archive
  SetText(L"dest", Path(L"out"));
  ASSERT_EQ(S_OK, Run(L"unzip"));
  ASSERT_EQ(1u, fail_->calls.size());
  EXPECT_EQ((std::vector<std::wstring>{L"42", std::to_wstring(E_FAIL)}), fail_->calls[0]);
  EXPECT_FALSE(Exists(Path(L"out")));
}

TEST_F(ZipPluginTest, MemoryFormTakesAStreamObjectAndRefusesRawAddresses) {
  auto stream = omb::Make<FakeStream>();
  stream->data = Fixture(L"utf8.zip");
  Set(L"buffer", ArgObject(stream.Get()));
  SetText(L"dest", Path(L"mem"));
  ASSERT_EQ(S_OK, Run(L"unzip"));
  EXPECT_EQ(1u, success_->calls.size());
  EXPECT_EQ(2u, List(Path(L"mem")).size());

  ResetEvent(done_.get());
  Set(L"buffer", ArgI4(0x10000));
  SetText(L"dest", Path(L"mem2"));
  ASSERT_EQ(S_OK, Run(L"unzip"));
  ASSERT_EQ(1u, fail_->calls.size());
  // Memory form: fail(null, context, code).
  EXPECT_EQ((std::vector<std::wstring>{L"null", L"42", std::to_wstring(E_INVALIDARG)}), fail_->calls[0]);
  EXPECT_FALSE(Exists(Path(L"mem2")));
}

TEST_F(ZipPluginTest, ZipFolderToFileWithRelativeNamesAndProgress) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"tree").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Path(L"tree\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteText(Path(L"tree\\a.txt"), std::string(200000, 'a')));
  ASSERT_TRUE(WriteText(Path(L"tree\\sub\\b.txt"), "bee"));
  ASSERT_TRUE(WriteText(Path(L"single.txt"), "one"));
  auto list = omb::Make<CArray>();
  omb::unique_bstr tree(SysAllocString(Path(L"tree").c_str()));
  omb::unique_bstr single(SysAllocString(Path(L"single.txt").c_str()));
  list->Push(ArgString(tree.get()));
  list->Push(ArgString(single.get()));
  Set(L"src", ArgObject(list.Get()));
  SetText(L"dest", Path(L"out.zip"));
  ASSERT_EQ(S_OK, Run(L"zip"));
  ASSERT_EQ(1u, success_->calls.size()) << (fail_->calls.empty() ? L"" : fail_->calls[0][0]);

  // processed advances with the data written and ends at the total.
  ASSERT_FALSE(progress_->calls.empty());
  const auto& last = progress_->calls.back();
  EXPECT_EQ(L"200006", last[1]);
  EXPECT_EQ(L"200006", last[2]);
  EXPECT_EQ(VT_R8, progress_->types.back()[2]);

  const Bytes archive = ReadBytes(Path(L"out.zip"));
  omb::zip::CZipReader reader;
  ASSERT_EQ(S_OK, reader.Open(archive.data(), archive.size()));
  std::vector<std::wstring> names;
  for (const auto& e : reader.Entries()) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::wstring>{L"a.txt", L"single.txt", L"sub/", L"sub/b.txt"}), names);

  // Again without overWrite: the file-exists code, the archive untouched.
  ResetEvent(done_.get());
  ASSERT_EQ(S_OK, Run(L"zip"));
  ASSERT_EQ(1u, fail_->calls.size());
  EXPECT_EQ((std::vector<std::wstring>{std::to_wstring(kFileExists), L"42"}), fail_->calls[0]);
  EXPECT_EQ(archive, ReadBytes(Path(L"out.zip")));
}

TEST_F(ZipPluginTest, ZipToStreamAndCancelledZipLeavesNoFile) {
  ASSERT_TRUE(WriteText(Path(L"f.txt"), "stream me"));
  auto stream = omb::Make<FakeStream>();
  SetText(L"src", Path(L"f.txt"));
  Set(L"dest", ArgObject(stream.Get()));
  ASSERT_EQ(S_OK, Run(L"zip"));
  ASSERT_EQ(1u, success_->calls.size());
  omb::zip::CZipReader reader;
  ASSERT_EQ(S_OK, reader.Open(stream->data.data(), stream->data.size()));
  ASSERT_EQ(1u, reader.Entries().size());
  EXPECT_EQ(L"f.txt", reader.Entries()[0].name);

  ResetEvent(done_.get());
  progress_->answer = [](const std::vector<std::wstring>&, VARIANT* result) { omb::SetBool(result, false); };
  SetText(L"dest", Path(L"cancel.zip"));
  ASSERT_EQ(S_OK, Run(L"zip"));
  ASSERT_EQ(1u, fail_->calls.size());
  EXPECT_EQ(std::to_wstring(E_ABORT), fail_->calls[0][0]);
  EXPECT_FALSE(Exists(Path(L"cancel.zip")));
}

TEST_F(ZipPluginTest, NamesAndArguments) {
  auto plugin = omb::Make<omb::CZipPlugin>();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, plugin->QueryInterface(IID_PPV_ARGS(&dispatch)));
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"unzip"), const_cast<LPOLESTR>(L"zip"),
                      const_cast<LPOLESTR>(L"Zip")};
  EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &names[0], 1, 0, &id));
  EXPECT_EQ(-6999, id);
  EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &names[1], 1, 0, &id));
  EXPECT_EQ(-6998, id);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &names[2], 1, 0, &id));
  VARIANT text = ArgI4(1);
  DISPPARAMS one = {&text, nullptr, 1, 0}, none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(-6999, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(-6998, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

}  // namespace
