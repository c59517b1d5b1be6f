#include "tests/unit/file/file_test_support.h"

#include <string>

namespace filetest {

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static LONG counter = 0;
  path_ = std::wstring(temp) + L"omb-file-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(InterlockedIncrement(&counter));
  RemoveTree(path_);
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void WriteBytes(const std::wstring& path, size_t count, char fill) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string data(count, fill);
  DWORD written = 0;
  if (count) WriteFile(file, data.data(), static_cast<DWORD>(count), &written, nullptr);
  CloseHandle(file);
}

void MakeFolder(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ULONGLONG SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return ~0ull;
  return (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

STDMETHODIMP FakeFunction::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT*) noexcept {
  std::vector<std::wstring> args;
  for (UINT i = params->cArgs; i-- > 0;) {
    const VARIANT& v = params->rgvarg[i];
    std::wstring text = std::to_wstring(v.vt) + L":";
    VARIANT converted;
    VariantInit(&converted);
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN &&
        SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_BSTR)))
      text += converted.bstrVal ? converted.bstrVal : L"";
    VariantClear(&converted);
    args.push_back(text);
  }
  calls.push_back(args);
  threads.push_back(GetCurrentThreadId());
  if (result) VariantCopy(result, answer.get());
  return answerResult;
}

ComPtr<FakeFunction> NewFunction() { return omb::Make<FakeFunction>(); }

STDMETHODIMP FakeCore::ResolvePath(const wchar_t* path, BSTR* result) noexcept {
  std::wstring p = path ? path : L"";
  const bool absolute = p.size() >= 2 && (p[1] == L':' || (p[0] == L'\\' && p[1] == L'\\'));
  if (!absolute) p = base_ + L"\\" + p;
  *result = SysAllocString(p.c_str());
  return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace filetest
