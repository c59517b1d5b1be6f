// Shared helpers of the resource-editor tests: the built Vellum.dll driven
// through its dispatch interface as script drives it, copies of the built
// host to edit, icon files, and the platform's readers of what was written.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "sdk/com.h"
#include "sdk/omb.h"

namespace velltest {

using Bytes = std::vector<BYTE>;

inline std::wstring Env(const wchar_t* name) {
  wchar_t buffer[4096] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

inline std::wstring Scratch(const std::wstring& name) {
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  return std::wstring(cwd) + L"\\" + name;
}

inline Bytes ReadBytes(const std::wstring& path) {
  Bytes out;
  omb::unique_file h(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!h || !GetFileSizeEx(h.get(), &size)) return out;
  out.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!out.empty() && !ReadFile(h.get(), out.data(), static_cast<DWORD>(out.size()), &read, nullptr))
    read = 0;
  out.resize(read);
  return out;
}

inline bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
  omb::unique_file h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return h && WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// A copy of the built host under a new name in the scratch folder.
inline std::wstring CopyOfHost(const std::wstring& name) {
  const std::wstring path = Scratch(name);
  EXPECT_TRUE(CopyFileW((Env(L"OMBREL_BUILD_DIR") + L"\\Ombrel.exe").c_str(), path.c_str(), FALSE))
      << "needs the built host (OMBREL_BUILD_DIR)";
  return path;
}

// An icon file of 32-bit images, one per size, each filled with its own colour.
inline Bytes MakeIcon(std::initializer_list<int> sizes) {
  std::vector<Bytes> images;
  BYTE shade = 0x40;
  for (int size : sizes) {
    Bytes image(40);
    const int32_t header[] = {40, size, size * 2};
    memcpy(image.data(), header, sizeof header);
    image[12] = 1;   // planes
    image[14] = 32;  // bits per pixel
    for (int i = 0; i < size * size; ++i) image.insert(image.end(), {shade, 0x20, 0x80, 0xFF});
    image.resize(image.size() + static_cast<size_t>(((size + 31) / 32) * 4 * size));  // AND mask
    images.push_back(std::move(image));
    shade = static_cast<BYTE>(shade + 0x30);
  }
  Bytes out = {0, 0, 1, 0, static_cast<BYTE>(images.size()), 0};
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  size_t i = 0;
  for (int size : sizes) {
    const uint32_t bytes = static_cast<uint32_t>(images[i++].size());
    const BYTE entry[16] = {static_cast<BYTE>(size),
                            static_cast<BYTE>(size),
                            0,
                            0,
                            1,
                            0,
                            32,
                            0,
                            static_cast<BYTE>(bytes),
                            static_cast<BYTE>(bytes >> 8),
                            static_cast<BYTE>(bytes >> 16),
                            0,
                            static_cast<BYTE>(offset),
                            static_cast<BYTE>(offset >> 8),
                            static_cast<BYTE>(offset >> 16),
                            0};
    out.insert(out.end(), entry, entry + 16);
    offset += bytes;
  }
  for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

// One image of an icon file made by MakeIcon (its entry's offset and size).
inline Bytes IconImage(const Bytes& icon, size_t index) {
  const BYTE* entry = icon.data() + 6 + 16 * index;
  uint32_t size, offset;
  memcpy(&size, entry + 8, 4);
  memcpy(&offset, entry + 12, 4);
  return Bytes(icon.begin() + offset, icon.begin() + offset + size);
}

// ---------------------------------------------------------------------------
// Reading back with the platform's functions

inline std::optional<Bytes> Resource(const std::wstring& exe, LPCWSTR type, WORD id) {
  omb::unique_hmodule module(LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return std::nullopt;
  HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(id), type);
  if (!found) return std::nullopt;
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module.get(), found)));
  return Bytes(data, data + SizeofResource(module.get(), found));
}

inline Bytes VersionInfo(const std::wstring& exe) {
  DWORD ignored = 0;
  Bytes block(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  if (block.empty() || !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
    block.clear();
  return block;
}

// A string value of the table 040904b0 (the host's), or "<none>".
inline std::wstring VersionString(const Bytes& block, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  if (block.empty() || !VerQueryValueW(block.data(), query.c_str(), &value, &length)) return L"<none>";
  return static_cast<const wchar_t*>(value);
}

// File version high and low words, then product version high and low words.
inline std::vector<DWORD> FixedVersions(const Bytes& block) {
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (block.empty() || !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length))
    return {};
  return {info->dwFileVersionMS, info->dwFileVersionLS, info->dwProductVersionMS, info->dwProductVersionLS};
}

// Rewrites a copy of the host without one of its resources. Under Wine the
// platform's resource update cannot delete a single resource, so the
// host's others (an icon group, two icons and the version information) are
// written back into an emptied resource table.
inline bool WithoutResource(const std::wstring& exe, LPCWSTR type, WORD id) {
  const std::pair<LPCWSTR, WORD> kept[] = {
      {RT_GROUP_ICON, 1000}, {RT_ICON, 1}, {RT_ICON, 2}, {RT_VERSION, 1}};
  std::vector<std::pair<std::pair<LPCWSTR, WORD>, Bytes>> resources;
  for (const auto& key : kept) {
    std::optional<Bytes> data = Resource(exe, key.first, key.second);
    if (!data) return false;
    if (key.first != type || key.second != id) resources.push_back({key, *data});
  }
  HANDLE update = BeginUpdateResourceW(exe.c_str(), TRUE);
  for (auto& [key, data] : resources)
    UpdateResourceW(update, key.first, MAKEINTRESOURCEW(key.second), 0x0409, data.data(),
                    static_cast<DWORD>(data.size()));
  return update && EndUpdateResourceW(update, FALSE) && !Resource(exe, type, id);
}

// Whether the platform's resource update deletes a single resource when
// given no data (Windows does; Wine 8 does not).
inline bool PlatformDeletesSingleResources() {
  const std::wstring exe = Scratch(L"deletion-probe.exe");
  CopyFileW((Env(L"OMBREL_BUILD_DIR") + L"\\Ombrel.exe").c_str(), exe.c_str(), FALSE);
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(2), 0x0409, nullptr, 0);
  EndUpdateResourceW(update, FALSE);
  const bool deleted = !Resource(exe, RT_ICON, 2);
  DeleteFileW(exe.c_str());
  return deleted;
}

// ---------------------------------------------------------------------------
// The library

inline OMB::CreateInterfaceFn VellumEntry() {
  static HMODULE library = LoadLibraryW((Env(L"OMBREL_BUILD_DIR") + L"\\plugins\\Vellum.dll").c_str());
  return library ? reinterpret_cast<OMB::CreateInterfaceFn>(
                       reinterpret_cast<void (*)()>(GetProcAddress(library, "CreateInterface")))
                 : nullptr;
}

inline ComPtr<IDispatch> NewEditor() {
  ComPtr<OMB::IPlugin> editor;
  OMB::CreateInterfaceFn create = VellumEntry();
  EXPECT_NE(nullptr, create) << "needs the built plugins\\Vellum.dll";
  if (create) {
    EXPECT_EQ(S_OK, create(__uuidof(OMB::IPlugin), reinterpret_cast<void**>(&editor)));
  }
  ComPtr<IDispatch> dispatch;
  if (editor) editor.As(&dispatch);
  return dispatch;
}

// An option value: a string, a number, or any variant.
struct Option {
  const wchar_t* name;
  omb::unique_variant value;
  Option(const wchar_t* n, const wchar_t* text) : name(n) { omb::SetString(value.get(), text); }
  Option(const wchar_t* n, const std::wstring& text) : Option(n, text.c_str()) {}
  Option(const wchar_t* n, LONG number) : name(n) { omb::SetI4(value.get(), number); }
};

// resEditor.set({options...}) as script calls it; the boolean it answers.
inline bool Set(std::initializer_list<Option> options) {
  ComPtr<IDispatch> editor = NewEditor();
  ComPtr<IDispatch> object;
  if (!editor || FAILED(CreateScriptObject(L"object", &object))) return false;
  for (const Option& o : options) WriteMemberByName(object.Get(), o.name, *o.value);
  VARIANT arg;
  omb::SetDispatch(&arg, object.Get());
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  omb::unique_variant result;
  const HRESULT hr =
      editor->Invoke(-10000, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr);
  VariantClear(&arg);
  EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(VT_BOOL, result.vt());
  return omb::IsTrue(*result);
}

}  // namespace velltest
