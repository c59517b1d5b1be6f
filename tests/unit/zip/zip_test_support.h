// Shared helpers of the zip tests: fixture archives, a scratch folder per
// test, file reads and writes, and listing an extracted tree.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/core/paths.h"
#include "app/plugins/zip/zip_extract.h"

namespace ziptest {

using Bytes = std::vector<BYTE>;

inline std::wstring Env(const wchar_t* name) {
  wchar_t buffer[4096] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

// tests\unit\zip\data\<name> of the source tree (OMBREL_SOURCE_DIR).
inline std::wstring DataPath(const std::wstring& name) {
  return Env(L"OMBREL_SOURCE_DIR") + L"\\tests\\unit\\zip\\data\\" + name;
}

inline Bytes ReadBytes(const std::wstring& path) {
  Bytes out;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  LARGE_INTEGER size = {};
  GetFileSizeEx(h, &size);
  out.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!out.empty()) ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &read, nullptr);
  CloseHandle(h);
  out.resize(read);
  return out;
}

inline std::string ReadText(const std::wstring& path) {
  Bytes b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

inline bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

inline bool WriteText(const std::wstring& path, const std::string& text) {
  return WriteBytes(path, Bytes(text.begin(), text.end()));
}

inline Bytes Fixture(const std::wstring& name) {
  Bytes b = ReadBytes(DataPath(name));
  EXPECT_FALSE(b.empty()) << "missing fixture (is OMBREL_SOURCE_DIR set?)";
  return b;
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every file and folder below root, as relative paths with '\' ("sub\" for
// folders), sorted.
inline void ListInto(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(rel + name + L"\\");
      ListInto(root, rel + name + L"\\", out);
    } else {
      out->push_back(rel + name);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

inline std::vector<std::wstring> List(const std::wstring& root) {
  std::vector<std::wstring> out;
  ListInto(root, L"", &out);
  std::sort(out.begin(), out.end());
  return out;
}

// A fresh folder per test under the current directory, removed afterwards.
class ScratchTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    root_ = std::wstring(cwd) + L"\\zip_" + std::wstring(name.begin(), name.end());
    omb::ShellDeleteTree(root_);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
  }
  void TearDown() override { omb::ShellDeleteTree(root_); }

  std::wstring Path(const std::wstring& rel) const { return root_ + L"\\" + rel; }

  std::wstring root_;
};

}  // namespace ziptest
