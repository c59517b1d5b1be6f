// The plug-in registry, the loading of plug-in libraries and the per-window
// plug-in manager.
//
// The test libraries are built by tests/support/plugins.cmake into the folder
// named by OMBREL_TEST_SUPPORT_DIR (environment variable, else the compile
// definition of that name). Libraries that register a plug-in are pinned by
// the tests (one LoadLibraryW never undone), so the scan test may empty the
// library list without leaving registered factories pointing nowhere.
#include "app/core/plugin_manage.h"
#include "app/core/plugin_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using omb::CPluginManage;

#define WIDEN_INNER(x) L##x
#define WIDEN(x) WIDEN_INNER(x)

std::wstring SupportFile(const wchar_t* name) {
  wchar_t buffer[1024];
  std::wstring dir;
  const DWORD n = GetEnvironmentVariableW(L"OMBREL_TEST_SUPPORT_DIR", buffer, 1024);
  if (n > 0 && n < 1024) dir = buffer;
#ifdef OMBREL_TEST_SUPPORT_DIR
  if (dir.empty()) dir = WIDEN(OMBREL_TEST_SUPPORT_DIR);
#endif
  // A build tree path on the Unix side of Wine is reached through drive Z:.
  if (!dir.empty() && dir[0] == L'/') dir.insert(0, L"Z:");
  std::replace(dir.begin(), dir.end(), L'/', L'\\');
  return dir + L"\\" + name;
}

HMODULE Pin(const wchar_t* name) { return LoadLibraryW(SupportFile(name).c_str()); }

// The 32-bit library is missing where no 32-bit compiler was found.
bool Have32BitLibrary() {
  return GetFileAttributesW(SupportFile(L"testplug32.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsListed(HMODULE module) {
  const auto& list = omb::LoadedLibraries();
  return module && std::find(list.begin(), list.end(), module) != list.end();
}

// A fresh folder under the temporary folder, removed (best effort) at the end.
class TempFolder {
 public:
  explicit TempFolder(const wchar_t* name = L"ombrel-plugins") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + name + std::to_wstring(GetTickCount64()) + L"-" +
            std::to_wstring(++count_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    std::wstring from = path_;
    from.append(2, L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&op);
  }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  static inline int count_ = 0;
};

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::wstring& path) {
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    saved_ = saved;
    SetCurrentDirectoryW(path.c_str());
  }
  ~CurrentDirectory() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

// Plug-ins registered as built-ins by this test program.
struct FakeStats {
  static inline int live = 0;
};

template <int Tag>
class CFakePlugin : public omb::ComObject<CFakePlugin<Tag>, OMB::IPluginImpl<CFakePlugin<Tag>>> {
 public:
  CFakePlugin() { ++FakeStats::live; }
  ~CFakePlugin() override { --FakeStats::live; }
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override {
    core_ = core;
    browser_ = browser;
    return E_FAIL;  // ignored by the host
  }
  OMB::ICore* core_ = nullptr;
  IUnknown* browser_ = nullptr;
};
using CKeptFake = CFakePlugin<0>;
using COtherKeptFake = CFakePlugin<1>;
using CFreshFake = CFakePlugin<2>;

OMB_REGISTER_BUILTIN_PLUGIN(L"fakekeep", CKeptFake, 0);
OMB_REGISTER_BUILTIN_PLUGIN(L"fakeother", COtherKeptFake, 0);
OMB_REGISTER_BUILTIN_PLUGIN(L"fakefresh", CFreshFake, 1);

HRESULT STDMETHODCALLTYPE FailingFactory(REFIID, void**) noexcept { return E_OUTOFMEMORY; }
HRESULT STDMETHODCALLTYPE OtherFactory(REFIID, void**) noexcept { return E_NOTIMPL; }

class CFakeCore : public omb::ComObject<CFakeCore, OMB::ICore> {
 public:
  STDMETHODIMP CreateBrowserWindow(const wchar_t*, BOOL, VARIANT*, VARIANT*, IDispatch**) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP_(HWND) GetWindowHandle() noexcept override { return nullptr; }
  STDMETHODIMP QueryPlugin(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ResolvePath(const wchar_t*, BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP CreateObject(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
};

// --- Registry ---------------------------------------------------------------

TEST(PluginRegistry, BuiltinsAreRegisteredBeforeTheEntryRuns) {
  const omb::RegisteredPlugin* kept = omb::FindRegisteredPlugin(L"fakekeep");
  const omb::RegisteredPlugin* fresh = omb::FindRegisteredPlugin(L"fakefresh");
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(kept->flags, 0u);
  EXPECT_EQ(fresh->flags, 1u);

  ComPtr<OMB::IPlugin> plugin;
  EXPECT_EQ(kept->factory(__uuidof(OMB::IPlugin), reinterpret_cast<void**>(plugin.GetAddressOf())), S_OK);
  EXPECT_NE(plugin.Get(), nullptr);
  void* untouched = &untouched;
  EXPECT_EQ(kept->factory(__uuidof(OMB::IVersion), &untouched), E_NOINTERFACE);
  EXPECT_EQ(untouched, &untouched);
}

TEST(PluginRegistry, FirstRegistrationOfANameWins) {
  omb::RegisterPlugin(L"firstwins", FailingFactory, 0);
  omb::RegisterPlugin(L"firstwins", OtherFactory, 1);
  const omb::RegisteredPlugin* entry = omb::FindRegisteredPlugin(L"firstwins");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->factory, &FailingFactory);
  EXPECT_EQ(entry->flags, 0u);
  EXPECT_EQ(omb::FindRegisteredPlugin(L"FirstWins"), nullptr);  // case-sensitive
}

// --- Libraries --------------------------------------------------------------

TEST(PluginLibrary, EachWidthRefusesOnlyTheOtherWidth) {
  EXPECT_TRUE(omb::IsForeignMachine(IMAGE_FILE_MACHINE_I386, true));
  EXPECT_FALSE(omb::IsForeignMachine(IMAGE_FILE_MACHINE_AMD64, true));
  EXPECT_TRUE(omb::IsForeignMachine(IMAGE_FILE_MACHINE_AMD64, false));
  EXPECT_FALSE(omb::IsForeignMachine(IMAGE_FILE_MACHINE_I386, false));
}

TEST(PluginLibrary, GoodLibraryIsListedAndRegisteredWithItsFlags) {
  for (const wchar_t* file : {L"testplug.dll", L"testplug_fresh.dll", L"TESTPLUG_UPPER.DLL"}) {
    HMODULE module = Pin(file);
    ASSERT_NE(module, nullptr) << file;
    EXPECT_EQ(omb::LoadPluginLibrary(SupportFile(file).c_str()), S_OK);
    EXPECT_TRUE(IsListed(module)) << file;
  }
  const omb::RegisteredPlugin* kept = omb::FindRegisteredPlugin(L"testplug");
  const omb::RegisteredPlugin* fresh = omb::FindRegisteredPlugin(L"testplugfresh");
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(kept->flags, 0u);
  EXPECT_EQ(fresh->flags, 1u);
  EXPECT_EQ(reinterpret_cast<void*>(kept->factory),
            reinterpret_cast<void*>(GetProcAddress(Pin(L"testplug.dll"), "CreateInterface")));
  EXPECT_NE(omb::FindRegisteredPlugin(L"upperplug"), nullptr);
}

TEST(PluginLibrary, LibraryBreakingTheContractIsUnloadedYetAnswersOk) {
  for (const wchar_t* file :
       {L"testplug_noexport.dll", L"testplug_major2.dll", L"testplug_failcreate.dll"}) {
    const size_t listed = omb::LoadedLibraries().size();
    EXPECT_EQ(omb::LoadPluginLibrary(SupportFile(file).c_str()), S_OK) << file;
    EXPECT_EQ(GetModuleHandleW(SupportFile(file).c_str()), nullptr) << file;
    EXPECT_EQ(omb::LoadedLibraries().size(), listed) << file;
  }
  EXPECT_EQ(omb::FindRegisteredPlugin(L"wrongmajor"), nullptr);
  EXPECT_EQ(omb::FindRegisteredPlugin(L"failcreate"), nullptr);
}

TEST(PluginLibrary, OtherWidthOrNonImageIsRefused) {
  if (!Have32BitLibrary()) GTEST_SKIP() << "no 32-bit test library";
  TempFolder folder;
  const std::wstring text = folder / L"notimage.dll";
  HANDLE file = CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "MZ not really", 13, &written, nullptr);
  CloseHandle(file);

  const std::wstring image32 = SupportFile(L"testplug32.dll");
  WORD machine = 0;
  ASSERT_EQ(omb::ReadImageMachine(image32.c_str(), &machine), S_OK);
  EXPECT_EQ(machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(omb::ReadImageMachine(SupportFile(L"testplug.dll").c_str(), &machine), S_OK);
  EXPECT_EQ(machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(omb::ReadImageMachine(text.c_str(), &machine), E_FAIL);
  // A PE header inside the DOS header (a small offset) is still a header.
  const std::wstring tiny = folder / L"tiny.dll";
  unsigned char bytes[64 + 24] = {'M', 'Z'};
  bytes[60] = 8;
  bytes[8] = 'P';
  bytes[9] = 'E';
  bytes[12] = 0x64;
  bytes[13] = 0x86;
  file = CreateFileW(tiny.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  WriteFile(file, bytes, sizeof bytes, &written, nullptr);
  CloseHandle(file);
  EXPECT_EQ(omb::ReadImageMachine(tiny.c_str(), &machine), S_OK);
  EXPECT_EQ(machine, IMAGE_FILE_MACHINE_AMD64);

  EXPECT_EQ(omb::LoadPluginLibrary(image32.c_str()), E_FAIL);
  EXPECT_EQ(omb::FindRegisteredPlugin(L"testplug32"), nullptr);
  EXPECT_EQ(omb::LoadPluginLibrary(text.c_str()), E_FAIL);
  EXPECT_EQ(omb::LoadPluginLibrary((folder / L"missing.dll").c_str()), E_FAIL);
  EXPECT_EQ(omb::LoadPluginLibrary(L""), E_FAIL);
}

TEST(PluginLibrary, LibraryCannotReplaceABuiltinName) {
  omb::RegisterPlugin(L"window", OtherFactory, 0);  // kept if a real one came first
  const OMB::CreateInterfaceFn builtin = omb::FindRegisteredPlugin(L"window")->factory;
  HMODULE module = Pin(L"testplug_window.dll");
  EXPECT_EQ(omb::LoadPluginLibrary(SupportFile(L"testplug_window.dll").c_str()), S_OK);
  EXPECT_TRUE(IsListed(module));  // stays loaded and listed all the same
  EXPECT_EQ(omb::FindRegisteredPlugin(L"window")->factory, builtin);
}

TEST(PluginLibrary, NonAsciiAndRelativePathsLoadTheNamedFile) {
  TempFolder folder(L"\u63D2\u4EF6-\u043F\u043B\u0430\u0433\u0438\u043D-");
  const std::wstring unicode = folder / L"\u30D7\u30E9\u30B0.dll";
  ASSERT_TRUE(CopyFileW(SupportFile(L"testplug_scan.dll").c_str(), unicode.c_str(), FALSE));
  EXPECT_EQ(omb::LoadPluginLibrary(unicode.c_str()), S_OK);
  EXPECT_TRUE(IsListed(GetModuleHandleW(unicode.c_str())));

  CreateDirectoryW((folder / L"sub").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(SupportFile(L"testplug_scan.dll").c_str(), (folder / L"sub\\rel.dll").c_str(), FALSE));
  CurrentDirectory cwd(folder.path());
  EXPECT_EQ(omb::LoadPluginLibrary(L"sub\\rel.dll"), S_OK);
  EXPECT_TRUE(IsListed(GetModuleHandleW((folder / L"sub\\rel.dll").c_str())));
}

// --- Library scan -------------------------------------------------------------

TEST(PluginScan, FolderIsPluginsBesideResourceElseBesideTheExecutable) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  TempFolder folder;
  CurrentDirectory cwd(folder.path());
  EXPECT_EQ(omb::PluginFolder(), std::wstring(exe) + L"\\..\\plugins");

  CloseHandle(CreateFileW(L"resource", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(omb::PluginFolder(), std::wstring(exe) + L"\\..\\plugins");  // a file does not count
  DeleteFileW(L"resource");
  CreateDirectoryW(L"resource", nullptr);
  EXPECT_EQ(omb::PluginFolder(), L"plugins");
}

TEST(PluginScan, LoadsLowerCaseDllsAndRunsOnlyUntilALibraryIsLoaded) {
  omb::UnloadPluginLibraries();
  TempFolder folder;
  CurrentDirectory cwd(folder.path());
  CreateDirectoryW(L"resource", nullptr);
  CreateDirectoryW(L"plugins", nullptr);
  { CPluginManage first; }
  EXPECT_TRUE(omb::LoadedLibraries().empty());

  CopyFileW(SupportFile(L"testplug32.dll").c_str(), L"plugins\\a32.dll", FALSE);
  CopyFileW(SupportFile(L"testplug_failcreate.dll").c_str(), L"plugins\\b.dll", FALSE);
  CopyFileW(SupportFile(L"TESTPLUG_UPPER.DLL").c_str(), L"plugins\\c.DLL", FALSE);
  CopyFileW(SupportFile(L"testplug_scan.dll").c_str(), L"plugins\\d.dll", FALSE);
  { CPluginManage second; }
  ASSERT_EQ(omb::LoadedLibraries().size(), 1u);
  EXPECT_EQ(omb::LoadedLibraries()[0], GetModuleHandleW((folder / L"plugins\\d.dll").c_str()));

  CopyFileW(SupportFile(L"testplug_scan.dll").c_str(), L"plugins\\e.dll", FALSE);
  { CPluginManage third; }
  EXPECT_EQ(omb::LoadedLibraries().size(), 1u);
  omb::UnloadPluginLibraries();
  EXPECT_EQ(GetModuleHandleW((folder / L"plugins\\d.dll").c_str()), nullptr);
}

// --- Plug-in manager ----------------------------------------------------------

class PluginManage : public ::testing::Test {
 protected:
  ComPtr<CFakeCore> core_ = omb::Make<CFakeCore>();
  ComPtr<CFakeCore> browser_ = omb::Make<CFakeCore>();
  CPluginManage manage_;

  DISPID Create(CPluginManage& manage, const wchar_t* name) {
    EXPECT_EQ(manage.CreatePlugin(name, core_.Get(), browser_->Unknown(), nullptr), S_OK);
    return manage.FindDispId(name);
  }
};

TEST_F(PluginManage, FindDispIdTellsNamedRegisteredAndUnknownApart) {
  EXPECT_EQ(manage_.FindDispId(L"fakekeep"), CPluginManage::kPluginNotCreated);
  EXPECT_EQ(manage_.FindDispId(L"FakeKeep"), CPluginManage::kUnknownPlugin);
  EXPECT_EQ(manage_.FindDispId(L"nosuchplugin"), CPluginManage::kUnknownPlugin);
  EXPECT_LE(Create(manage_, L"fakekeep"), -6001);
}

TEST_F(PluginManage, DispIdsDifferPerWindowAndAreNeverReused) {
  CPluginManage other;
  std::vector<DISPID> ids = {Create(manage_, L"fakefresh"), Create(other, L"fakefresh")};
  manage_.ReleaseAll();
  ids.push_back(Create(manage_, L"fakefresh"));
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST_F(PluginManage, KeptPluginIsSharedFreshPluginIsNewAndInitialisedOnEveryRead) {
  ComPtr<OMB::IPlugin> created, first, second;
  ASSERT_EQ(manage_.CreatePlugin(L"fakekeep", core_.Get(), browser_->Unknown(), &created), S_OK);
  EXPECT_EQ(static_cast<CKeptFake*>(created.Get())->core_, core_.Get());
  const DISPID kept = manage_.FindDispId(L"fakekeep");
  ASSERT_EQ(manage_.GetPlugin(kept, &first), S_OK);
  ASSERT_EQ(manage_.GetPlugin(kept, &second), S_OK);
  EXPECT_EQ(first.Get(), created.Get());
  EXPECT_EQ(second.Get(), created.Get());

  ComPtr<CFakeCore> windowCore = omb::Make<CFakeCore>();
  manage_.SetCore(windowCore.Get(), browser_->Unknown());
  const DISPID fresh = Create(manage_, L"fakefresh");
  ASSERT_EQ(manage_.GetPlugin(fresh, &first), S_OK);
  ASSERT_EQ(manage_.GetPlugin(fresh, &second), S_OK);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(static_cast<CFreshFake*>(second.Get())->core_, windowCore.Get());
  EXPECT_EQ(static_cast<CFreshFake*>(second.Get())->browser_, browser_->Unknown());
  EXPECT_EQ(manage_.GetPlugin(-5, &first), E_FAIL);
  EXPECT_EQ(first.Get(), nullptr);
}

TEST_F(PluginManage, ForEachInstanceVisitsKeptInstancesInDispIdOrder) {
  const DISPID a = Create(manage_, L"fakekeep");
  Create(manage_, L"fakefresh");
  const DISPID b = Create(manage_, L"fakeother");
  ComPtr<OMB::IPlugin> pa, pb;
  ASSERT_EQ(manage_.GetPlugin(a, &pa), S_OK);
  ASSERT_EQ(manage_.GetPlugin(b, &pb), S_OK);
  ASSERT_GT(a, b);  // the later plug-in has the lower DISPID and comes first
  const std::vector<OMB::IPlugin*> expected = {pb.Get(), pa.Get()};
  std::vector<OMB::IPlugin*> visited;
  manage_.ForEachInstance([&](OMB::IPlugin* plugin) {
    visited.push_back(plugin);
    manage_.ReleaseAll();  // an operation may tear the window down
  });
  EXPECT_EQ(visited, expected);
}

TEST_F(PluginManage, ReleaseAllReleasesKeptInstancesAndForgetsNames) {
  const int before = FakeStats::live;
  Create(manage_, L"fakekeep");
  Create(manage_, L"fakeother");
  Create(manage_, L"fakefresh");  // not kept
  EXPECT_EQ(FakeStats::live, before + 2);
  manage_.ReleaseAll();
  EXPECT_EQ(FakeStats::live, before);
  EXPECT_EQ(manage_.FindDispId(L"fakekeep"), CPluginManage::kPluginNotCreated);
}

TEST_F(PluginManage, FailedCreationLeavesTheNameToBeTriedAgain) {
  omb::RegisterPlugin(L"fakefails", FailingFactory, 0);
  ComPtr<OMB::IPlugin> plugin;
  EXPECT_EQ(manage_.CreatePlugin(L"fakefails", core_.Get(), nullptr, &plugin), E_OUTOFMEMORY);
  EXPECT_EQ(manage_.FindDispId(L"fakefails"), CPluginManage::kPluginNotCreated);
  EXPECT_EQ(manage_.CreatePlugin(L"nosuchplugin", core_.Get(), nullptr, &plugin), E_FAIL);
  EXPECT_EQ(plugin.Get(), nullptr);
}

TEST_F(PluginManage, LibraryPluginIsCreatedThroughTheContract) {
  Pin(L"testplug.dll");
  ASSERT_EQ(omb::LoadPluginLibrary(SupportFile(L"testplug.dll").c_str()), S_OK);
  ComPtr<OMB::IPlugin> plugin;
  ASSERT_EQ(manage_.CreatePlugin(L"testplug", core_.Get(), nullptr, &plugin), S_OK);
  ComPtr<IDispatch> script;
  ASSERT_EQ(plugin.As(&script), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(L"initialized");
  DISPID id = 0;
  ASSERT_EQ(script->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  DISPPARAMS none = {};
  omb::unique_variant result;
  ASSERT_EQ(script->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_TRUE(omb::IsTrue(*result));
}

}  // namespace
