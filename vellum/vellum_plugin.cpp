#include "vellum/vellum_plugin.h"

#include <optional>
#include <string>
#include <utility>

#include "app/core/script_call.h"
#include "sdk/trace.h"
#include "vellum/resource_update.h"
#include "vellum/version_block.h"

namespace vellum {

namespace {

constexpr WORD kDefaultIconId = 1000;

constexpr omb::DispMember<CVellum> kMembers[] = {
    {-10000, L"set", &CVellum::Set},
};

// The options of "set" and the version fields they fill.
constexpr std::pair<const wchar_t*, VersionField> kFieldOptions[] = {
    {L"fileVer", kFileVersion},      {L"productVer", kProductVersion}, {L"productName", kProductName},
    {L"fileDesc", kFileDescription}, {L"internalName", kInternalName}, {L"copyright", kCopyright},
};

bool FileExists(const wchar_t* path) noexcept {
  return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::wstring> StringOption(IDispatch* options, const wchar_t* name) {
  omb::unique_bstr text;
  if (!OptionString(options, name, &text)) return std::nullopt;
  return std::wstring(text.get(), ::SysStringLen(text.get()));
}

// "iconID": 1000 when it cannot be read, else the value converted to an
// unsigned 16-bit number (a failed conversion is the result).
HRESULT ReadIconId(IDispatch* options, WORD* id) noexcept {
  omb::unique_variant value;
  if (FAILED(ReadMember(options, L"iconID", value.put())) || value.vt() == VT_EMPTY) {
    *id = kDefaultIconId;
    return S_OK;
  }
  omb::unique_variant converted;
  OMB_RETURN_IF_FAILED(::VariantChangeType(converted.put(), value.get(), 0, VT_UI2));
  *id = converted->uiVal;
  return S_OK;
}

HRESULT RunSet(IDispatch* options) {
  if (!options) return E_INVALIDARG;
  const std::optional<std::wstring> path = StringOption(options, L"path");
  if (!path) return E_FAIL;
  if (!FileExists(path->c_str())) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

  UpdateRequest request;
  request.iconPath = StringOption(options, L"iconPath");
  if (request.iconPath && !FileExists(request.iconPath->c_str()))
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  OMB_RETURN_IF_FAILED(ReadIconId(options, &request.iconId));
  for (const auto& [name, field] : kFieldOptions) request.fields[field] = StringOption(options, name);
  for (VersionField field : {kFileVersion, kProductVersion}) {
    if (request.fields[field] && !IsValidVersionString(*request.fields[field])) return E_INVALIDARG;
  }
  if (!request.iconPath && !request.HasVersionChanges()) return S_OK;

  const HRESULT hr = UpdateExecutable(path->c_str(), request);
  if (FAILED(hr))
    OMB_TRACE(omb::kTraceErrors, "CVellum::set", L"%s: update failed, 0x%08X", path->c_str(), hr);
  return hr;
}

}  // namespace

std::span<const omb::DispMember<CVellum>> CVellum::Members() noexcept { return kMembers; }

HRESULT CVellum::Run(IDispatch* options) noexcept {
  try {
    return RunSet(options);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CVellum::Set(omb::DispCall& call) {
  if (!call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  return call.ReturnBool(Run(options) == S_OK);
}

}  // namespace vellum
