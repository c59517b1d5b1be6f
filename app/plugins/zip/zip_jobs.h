// The worker-thread jobs behind "unzip" and "zip". Everything they need from
// script (paths, flags, the memory form's bytes, the list of sources) is read
// on the user-interface thread into a request; the job then reaches script
// only through the marshalled progress, success and fail functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/core/script_call.h"
#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb::zip {

struct CUnzipRequest {
  HRESULT setupResult = S_OK;  // a failure here is reported by the job
  bool memoryForm = false;
  std::wstring source;
  uint32_t index = 0;
  std::vector<BYTE> bytes;  // memory form
  std::wstring dest;
  bool overwrite = false;
};

struct CZipRequest {
  HRESULT setupResult = S_OK;
  std::vector<std::wstring> sources;
  std::wstring destPath;
  ComPtr<OMB::IStream> destStream;  // used when destPath is empty
  bool overwrite = false;
};

// "src" as a list of resolved paths: a string, or an array-like object read
// through "length" and its decimal-index members. A member that is not a
// string fails the request (E_FAIL).
HRESULT ReadSources(IDispatch* options, const std::function<std::wstring(const wchar_t*)>& resolve,
                    std::vector<std::wstring>* sources);

[[nodiscard]] HRESULT StartUnzipJob(const CScriptCallbacks& callbacks, IUnknown* owner,
                                    CUnzipRequest request) noexcept;
[[nodiscard]] HRESULT StartZipJob(const CScriptCallbacks& callbacks, IUnknown* owner,
                                  CZipRequest request) noexcept;

// fail with the arguments of the form used: file form (context, code),
// memory form (null, context, code).
void ReportUnzipFailure(const CScriptCallbacks& callbacks, bool memoryForm, HRESULT hr) noexcept;

}  // namespace omb::zip
