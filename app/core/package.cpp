#include "app/core/package.h"

#include <new>

#include "app/core/paths.h"
#include "app/plugins/zip/zip_extract.h"
#include "sdk/com.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr int kFolderAttempts = 64;

std::wstring TempRoot() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableW(L"temp", buffer, MAX_PATH + 1);
  if (length > 0 && length <= MAX_PATH) return std::wstring(buffer, length);
  // Without %TEMP% the folder would land in the root of the current drive.
  const DWORD pathLength = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring root(buffer, pathLength <= MAX_PATH ? pathLength : 0);
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  return root;
}

// A new folder "<temp>\OMxxxxxxxx" named by the tick count. A folder of that
// name that exists already (another instance, or one left behind) is never
// reused: the next number is tried instead.
HRESULT CreatePackageFolder(std::wstring* folder) {
  const std::wstring root = TempRoot();
  if (root.empty()) return E_FAIL;
  OMB_RETURN_HR_IF(E_FAIL, FAILED(zip::CreateFolderTree(root)));
  DWORD tick = GetTickCount();
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt, ++tick) {
    std::wstring candidate = Format(L"%s\\OM%08X", root.c_str(), tick);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      *folder = std::move(candidate);
      return S_OK;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return E_FAIL;
  }
  return E_FAIL;
}

}  // namespace

HRESULT ExtractPackage(std::wstring& packageFolder) noexcept {
  packageFolder.clear();
  try {
    const std::wstring exe = ExecutablePath();
    if (exe.empty()) return HResultFromLastError();
    std::wstring folder;
    OMB_RETURN_IF_FAILED(CreatePackageFolder(&folder));
    HRESULT hr = zip::ExtractArchiveFile(exe, 0, folder, false, nullptr);
    if (SUCCEEDED(hr) && !SetCurrentDirectoryW(folder.c_str())) hr = HResultFromLastError();
    if (FAILED(hr)) {
      OMB_TRACE(kTraceErrors, "ExtractPackage", L"No package extracted from %s: %08X", exe.c_str(),
                static_cast<unsigned>(hr));
      ShellDeleteTree(folder);
      return hr;
    }
    packageFolder = std::move(folder);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb
