// "resEditor" driven through the built Vellum.dll the way page script drives
// it, on copies of the built host; results are read back with the platform's
// version and resource functions. The tests whose names start with ReadBack
// leave their files in the scratch folder, where the vellum_readback test
// reads them again with an independent PE reader (tests/support/vellum).
#include <gtest/gtest.h>

#include <string>

#include "app/plugins/zip/zip_writer.h"
#include "tests/unit/vellum/vellum_test_support.h"

using namespace velltest;

namespace {

const Bytes kOverlay = {'P', 'K', 5, 6, 'a', 'p', 'p', 'e', 'n', 'd', 'e', 'd', 0, 0xFF};

TEST(ResEditor, AnswersTheContract) {
  OMB::CreateInterfaceFn create = VellumEntry();
  ASSERT_NE(nullptr, create) << "needs the built plugins\\Vellum.dll";
  ComPtr<OMB::IVersion> version;
  ASSERT_EQ(S_OK, create(__uuidof(OMB::IVersion), reinterpret_cast<void**>(&version)));
  LONG major = 0, minor = 0, flags = -1;
  EXPECT_EQ(S_OK, version->GetVersion(&major, &minor));
  EXPECT_EQ(S_OK, version->GetVersion(nullptr, nullptr));
  EXPECT_EQ(3, major);
  EXPECT_EQ(1, minor);
  omb::unique_bstr name;
  EXPECT_EQ(S_OK, version->GetName(name.put()));
  EXPECT_STREQ(L"resEditor", name.get());
  EXPECT_EQ(E_POINTER, version->GetName(nullptr));
  EXPECT_EQ(S_OK, version->GetFlags(&flags));
  EXPECT_EQ(0, flags);
  EXPECT_EQ(E_INVALIDARG, version->GetFlags(nullptr));
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, create(IID_IDispatch, &other));
  EXPECT_EQ(nullptr, other);

  ComPtr<OMB::IPlugin> plugin;
  ASSERT_EQ(S_OK, create(__uuidof(OMB::IPlugin), reinterpret_cast<void**>(&plugin)));
  EXPECT_EQ(E_NOTIMPL, plugin->Initialize(nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL, plugin->OnNavigateComplete(0));
  EXPECT_EQ(E_NOTIMPL, plugin->OnDocumentComplete(0));
  ComPtr<IDispatch> editor;
  ASSERT_EQ(S_OK, plugin.As(&editor));
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"set")};
  EXPECT_EQ(S_OK, editor->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(-10000, id);
  names[0] = const_cast<LPOLESTR>(L"Set");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, editor->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  UINT count = 0;
  EXPECT_EQ(E_NOTIMPL, editor->GetTypeInfoCount(&count));

  VARIANT args[2];
  omb::SetI4(&args[0], 1);
  omb::SetI4(&args[1], 2);
  DISPPARAMS one = {args, nullptr, 1, 0}, two = {args, nullptr, 2, 0}, none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(E_INVALIDARG,
            editor->Invoke(-10000, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL, editor->Invoke(-10000, IID_NULL, 0, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL,
            editor->Invoke(-10000, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL,
            editor->Invoke(-10000, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, nullptr, nullptr, nullptr));
}

TEST(ResEditor, RefusalsLeaveTheFileByteForByte) {
  const std::wstring exe = CopyOfHost(L"refusals.exe");
  const std::wstring icon = Scratch(L"refusals.ico");
  ASSERT_TRUE(WriteBytes(icon, MakeIcon({16})));
  const Bytes before = ReadBytes(exe);
  ASSERT_FALSE(before.empty());

  EXPECT_TRUE(Set({{L"path", exe}, {L"iconID", 7}, {L"unknown", L"x"}})) << "nothing to change succeeds";
  EXPECT_TRUE(Set({{L"path", exe}, {L"productName", 42}})) << "an option of another type is absent";

  EXPECT_FALSE(Set({{L"path", 5}, {L"productName", L"x"}})) << "a path that is no string";
  EXPECT_FALSE(Set({{L"path", Scratch(L"missing.exe")}, {L"productName", L"x"}}));
  EXPECT_FALSE(Set({{L"path", exe}, {L"iconPath", Scratch(L"missing.ico")}}));
  EXPECT_FALSE(Set({{L"path", exe}, {L"iconPath", icon}, {L"iconID", L"abc"}}))
      << "an iconID that is no number";
  EXPECT_FALSE(Set({{L"path", exe}, {L"iconPath", icon}, {L"iconID", 70000}})) << "beyond 16 bits";
  for (const wchar_t* bad : {L"1..2.3", L".1.2.3", L"1.2.3.", L"1.2.3", L"1.2.3.4.5"}) {
    EXPECT_FALSE(Set({{L"path", exe}, {L"fileVer", bad}, {L"productName", L"x"}})) << bad;
    EXPECT_FALSE(Set({{L"path", exe}, {L"productVer", bad}})) << bad;
  }
  EXPECT_TRUE(before == ReadBytes(exe));
}

TEST(ResEditor, ReadBackStringsAreStoredWholeAndVersionsFillTheFixedWords) {
  const std::wstring exe = CopyOfHost(L"strings.exe");
  const Bytes original = VersionInfo(exe);
  ASSERT_TRUE(Set({{L"path", exe},
                   {L"productName", L"A product name much longer than the host's own"},
                   {L"fileDesc", L"Short"},
                   {L"internalName", L""},
                   {L"fileVer", L"1.2.3.4"},
                   {L"productVer", L"a.b.c.d"}}));
  Bytes block = VersionInfo(exe);
  EXPECT_EQ(L"A product name much longer than the host's own", VersionString(block, L"ProductName"));
  EXPECT_EQ(L"Short", VersionString(block, L"FileDescription"));
  EXPECT_EQ(L"", VersionString(block, L"InternalName"));
  EXPECT_EQ(L"1.2.3.4", VersionString(block, L"FileVersion"));
  EXPECT_EQ(L"a.b.c.d", VersionString(block, L"ProductVersion"));
  EXPECT_EQ(VersionString(original, L"LegalCopyright"), VersionString(block, L"LegalCopyright"));
  EXPECT_EQ(VersionString(original, L"OriginalFilename"), VersionString(block, L"OriginalFilename"));
  EXPECT_EQ((std::vector<DWORD>{1u << 16 | 2, 3u << 16 | 4, 0, 0}), FixedVersions(block));

  // A second update changes only what it names.
  ASSERT_TRUE(Set({{L"path", exe}, {L"copyright", L"(c) 2024"}, {L"productVer", L"65536.65535.-1.7"}}));
  block = VersionInfo(exe);
  EXPECT_EQ(L"(c) 2024", VersionString(block, L"LegalCopyright"));
  EXPECT_EQ(L"A product name much longer than the host's own", VersionString(block, L"ProductName"));
  EXPECT_EQ((std::vector<DWORD>{1u << 16 | 2, 3u << 16 | 4, 0xFFFF, 0xFFFF0007}), FixedVersions(block));
}

TEST(ResEditor, ReadBackIconOfThreeImagesReplacesAGroupOfFive) {
  const std::wstring exe = CopyOfHost(L"icons.exe");
  const Bytes five = MakeIcon({16, 24, 32, 48, 64});
  const Bytes three = MakeIcon({20, 40, 60});
  ASSERT_TRUE(WriteBytes(Scratch(L"five.ico"), five));
  ASSERT_TRUE(WriteBytes(Scratch(L"three.ico"), three));
  ASSERT_TRUE(Set({{L"path", exe}, {L"iconPath", Scratch(L"five.ico")}}));
  ASSERT_EQ(5, (*Resource(exe, RT_GROUP_ICON, 1000))[4]);
  ASSERT_TRUE(Resource(exe, RT_ICON, 5));

  ASSERT_TRUE(Set({{L"path", exe}, {L"iconPath", Scratch(L"three.ico")}, {L"productName", L"Iconic"}}));
  const Bytes group = *Resource(exe, RT_GROUP_ICON, 1000);
  ASSERT_EQ(6u + 3 * 14, group.size());
  EXPECT_EQ(3, group[4]);
  for (WORD i = 0; i < 3; ++i) {
    EXPECT_EQ(three[6 + 16 * i], group[6 + 14 * i]) << "width of entry " << i;
    EXPECT_EQ(i + 1, group[6 + 14 * i + 12]) << "icon id of entry " << i;
    EXPECT_EQ(IconImage(three, i), Resource(exe, RT_ICON, i + 1)) << "image " << i + 1;
  }
  if (PlatformDeletesSingleResources()) {
    EXPECT_FALSE(Resource(exe, RT_ICON, 4));
    EXPECT_FALSE(Resource(exe, RT_ICON, 5));
  } else {
    // The deletions are asked for but not done here (Wine); the old images
    // stay as unused data and nothing else is touched.
    EXPECT_EQ(IconImage(five, 3), Resource(exe, RT_ICON, 4));
    EXPECT_EQ(IconImage(five, 4), Resource(exe, RT_ICON, 5));
  }
  EXPECT_EQ(L"Iconic", VersionString(VersionInfo(exe), L"ProductName"));
}

TEST(ResEditor, HostileIconFilesAreRefusedBeforeAnythingIsWritten) {
  const std::wstring exe = CopyOfHost(L"hostile.exe");
  const Bytes before = ReadBytes(exe);
  const Bytes good = MakeIcon({16, 32});
  auto patched = [&](size_t at, std::initializer_list<BYTE> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  const std::pair<const char*, Bytes> cases[] = {
      {"count 0", patched(4, {0, 0})},
      {"count 300", patched(4, {0x2C, 0x01})},
      {"entries beyond the file", Bytes(good.begin(), good.begin() + 20)},
      {"size 4 GB", patched(6 + 8, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"size 0", patched(6 + 8, {0, 0, 0, 0})},
      {"offset past the end", patched(6 + 16 + 12, {0xF0, 0xFF, 0xFF, 0x7F})},
      {"offset inside the directory", patched(6 + 12, {6, 0, 0, 0})},
      {"empty file", Bytes{}},
  };
  for (const auto& [what, icon] : cases) {
    ASSERT_TRUE(WriteBytes(Scratch(L"hostile.ico"), icon));
    EXPECT_FALSE(Set({{L"path", exe}, {L"iconPath", Scratch(L"hostile.ico")}, {L"productName", L"x"}}))
        << what;
  }
  EXPECT_TRUE(before == ReadBytes(exe));
}

TEST(ResEditor, WithoutIconResourceOneNothingIsWritten) {
  const std::wstring exe = CopyOfHost(L"noicon.exe");
  ASSERT_TRUE(WithoutResource(exe, RT_ICON, 1));
  const Bytes before = ReadBytes(exe);
  ASSERT_TRUE(WriteBytes(Scratch(L"one.ico"), MakeIcon({16})));
  EXPECT_FALSE(Set({{L"path", exe}, {L"iconPath", Scratch(L"one.ico")}, {L"productName", L"x"}}));
  EXPECT_TRUE(before == ReadBytes(exe));
}

TEST(ResEditor, WithoutVersionResourceIconsAndNewVersionsAreWritten) {
  const std::wstring exe = CopyOfHost(L"noversion.exe");
  ASSERT_TRUE(WithoutResource(exe, RT_VERSION, 1));
  ASSERT_TRUE(VersionInfo(exe).empty());
  const Bytes icon = MakeIcon({16});
  ASSERT_TRUE(WriteBytes(Scratch(L"one.ico"), icon));
  ASSERT_TRUE(Set({{L"path", exe}, {L"iconPath", Scratch(L"one.ico")}}));
  EXPECT_EQ(IconImage(icon, 0), Resource(exe, RT_ICON, 1));
  EXPECT_TRUE(VersionInfo(exe).empty());

  ASSERT_TRUE(Set({{L"path", exe}, {L"productName", L"Fresh"}, {L"fileVer", L"2.0.0.1"}}));
  const Bytes block = VersionInfo(exe);
  EXPECT_EQ(L"Fresh", VersionString(block, L"ProductName"));
  EXPECT_EQ(L"2.0.0.1", VersionString(block, L"FileVersion"));
  EXPECT_EQ((std::vector<DWORD>{2u << 16, 1, 0, 0}), FixedVersions(block));
}

TEST(ResEditor, MalformedVersionBlockIsRefused) {
  const std::wstring exe = CopyOfHost(L"badversion.exe");
  Bytes block = *Resource(exe, RT_VERSION, 1);
  // The first child's length reaches past the block.
  const size_t child = 0x5C;  // after the root key and the fixed information
  ASSERT_EQ(L'S', block[child + 6]) << "StringFileInfo expected at the first child";
  block[child] = 0xF0;
  block[child + 1] = 0x7F;
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  ASSERT_TRUE(update);
  ASSERT_TRUE(UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), 0x0409, block.data(),
                              static_cast<DWORD>(block.size())));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  const Bytes before = ReadBytes(exe);
  EXPECT_FALSE(Set({{L"path", exe}, {L"productName", L"x"}}));
  EXPECT_TRUE(before == ReadBytes(exe));
}

TEST(ResEditor, ReadBackAppendedDataIsKept) {
  const std::wstring exe = CopyOfHost(L"overlay.exe");
  Bytes bytes = ReadBytes(exe);
  bytes.insert(bytes.end(), kOverlay.begin(), kOverlay.end());
  ASSERT_TRUE(WriteBytes(exe, bytes));
  ASSERT_TRUE(WriteBytes(Scratch(L"one.ico"), MakeIcon({16})));
  ASSERT_TRUE(
      Set({{L"path", exe}, {L"iconPath", Scratch(L"one.ico")}, {L"productName", L"Overlaid application"}}));
  bytes = ReadBytes(exe);
  ASSERT_GT(bytes.size(), kOverlay.size());
  EXPECT_TRUE(
      std::equal(kOverlay.begin(), kOverlay.end(), bytes.end() - static_cast<ptrdiff_t>(kOverlay.size())));
  EXPECT_EQ(L"Overlaid application", VersionString(VersionInfo(exe), L"ProductName"));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(Scratch(L"vel*.tmp").c_str(), &found);
  EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "the saved overlay is removed";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

// Runs a program; its exit code, or -1 when it did not end within 30 s.
int RunProgram(const std::wstring& exe) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -2;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  else
    TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

TEST(ResEditor, PackagedApplicationBrandedAfterAppendingStillRuns) {
  const std::wstring reporter = Env(L"OMBREL_SUPPORT_DIR") + L"\\reporter.dll";
  const std::wstring page = Scratch(L"index.html");
  const std::string html =
      "<html><body><script>\nvar t = window.external.test;\nt.ok(true, 'the branded package runs');\n"
      "t.done();\n</script></body></html>\n";
  ASSERT_TRUE(WriteBytes(page, Bytes(html.begin(), html.end())));
  Bytes archive;
  omb::zip::CZipWriter writer([&](uint64_t offset, const BYTE* data, size_t size) {
    if (offset + size > archive.size()) archive.resize(static_cast<size_t>(offset + size));
    std::copy(data, data + size, archive.begin() + static_cast<ptrdiff_t>(offset));
    return S_OK;
  });
  ASSERT_EQ(S_OK, writer.AddFile(L"resource/index.html", page));
  ASSERT_EQ(S_OK, writer.AddFile(L"plugins/reporter.dll", reporter));
  ASSERT_EQ(S_OK, writer.Finish());
  const std::wstring exe = CopyOfHost(L"Packaged.exe");
  Bytes bytes = ReadBytes(exe);
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  ASSERT_TRUE(WriteBytes(exe, bytes));
  ASSERT_TRUE(WriteBytes(Scratch(L"app.ico"), MakeIcon({16, 32})));

  ASSERT_TRUE(Set({{L"path", exe},
                   {L"iconPath", Scratch(L"app.ico")},
                   {L"fileVer", L"4.3.2.1"},
                   {L"productName", L"A packaged application with a long name"}}));
  EXPECT_EQ(0, RunProgram(exe)) << "the packaged page reports through the test plug-in and exits with 0";
}

}  // namespace
