#include "app/plugins/ga/hit_text.h"

#include <shlwapi.h>

#include <cwchar>
#include <vector>

#include "sdk/com.h"
#include "sdk/trace.h"

namespace omb {

HRESULT EscapeSegment(const wchar_t* text, std::wstring* out) {
  if (!text || !out) return E_POINTER;
  // Each character becomes at most "%XX"; should the platform still ask for
  // more it says how much, and the call is repeated with that.
  DWORD size = static_cast<DWORD>(std::wcslen(text) * 3 + 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<wchar_t> buffer(size);
    DWORD length = size;
    const HRESULT hr = ::UrlEscapeW(text, buffer.data(), &length, URL_ESCAPE_SEGMENT_ONLY);
    if (SUCCEEDED(hr)) {
      out->assign(buffer.data(), length < size ? length : size - 1);
      return S_OK;
    }
    if (hr != E_POINTER || length <= size) return hr;
    size = length + 1;
  }
  return E_POINTER;
}

HRESULT ClientIdFromProfileGuid(const wchar_t* guid, std::wstring* out) {
  if (!guid || !out) return E_POINTER;
  if (guid[0] == L'{' && guid[1] != L'\0' && guid[1] != L'}') {
    const wchar_t* end = std::wcschr(guid + 1, L'}');
    out->assign(guid + 1, end ? static_cast<size_t>(end - guid - 1) : std::wcslen(guid + 1));
    return S_OK;
  }
  return EscapeSegment(guid, out);
}

HRESULT MachineGuid(std::wstring* out) {
  unique_hkey key;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                                   KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
  if (status != ERROR_SUCCESS) return HResultFromError(status);
  wchar_t value[64] = {};
  DWORD type = 0;
  DWORD size = sizeof(value) - sizeof(wchar_t);
  status = ::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type,
                              reinterpret_cast<BYTE*>(value), &size);
  if (status != ERROR_SUCCESS) return HResultFromError(status);
  if (type != REG_SZ || value[0] == L'\0') return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  out->assign(value);
  return S_OK;
}

HRESULT CurrentHitFacts(HitFacts* out) {
  HW_PROFILE_INFOW profile = {};
  if (::GetCurrentHwProfileW(&profile)) {
    profile.szHwProfileGuid[HW_PROFILE_GUIDLEN - 1] = L'\0';
    OMB_RETURN_IF_FAILED(ClientIdFromProfileGuid(profile.szHwProfileGuid, &out->clientId));
  } else {
    // No hardware profiles on this platform (Wine has none): the machine's
    // own GUID identifies it as steadily.
    std::wstring guid;
    OMB_RETURN_IF_FAILED(MachineGuid(&guid));
    OMB_RETURN_IF_FAILED(ClientIdFromProfileGuid(guid.c_str(), &out->clientId));
  }

  wchar_t language[16] = {};
  wchar_t country[16] = {};
  if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, 16) ||
      !::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, 16))
    return HResultFromLastError();
  OMB_RETURN_IF_FAILED(EscapeSegment((std::wstring(language) + L"-" + country).c_str(),
                                     &out->language));
  out->width = ::GetSystemMetrics(SM_CXSCREEN);
  out->height = ::GetSystemMetrics(SM_CYSCREEN);
  return S_OK;
}

HRESULT CommonPart(const std::wstring& trackingId, const std::wstring& appName,
                   const std::wstring& appVersion, const HitFacts& facts, std::wstring* out) {
  std::wstring name;
  OMB_RETURN_IF_FAILED(EscapeSegment(appName.c_str(), &name));
  *out = Format(L"v=1&tid=%s&cid=%s&ul=%s&an=%s&av=%s&vp=%dx%d", trackingId.c_str(),
                facts.clientId.c_str(), facts.language.c_str(), name.c_str(), appVersion.c_str(),
                facts.width, facts.height);
  return S_OK;
}

HRESULT ScreenViewHit(const wchar_t* screen, const std::wstring& common, std::wstring* out) {
  std::wstring name;
  OMB_RETURN_IF_FAILED(EscapeSegment(screen, &name));
  *out = L"t=appview&cd=" + name + L"&" + common;
  return S_OK;
}

HRESULT EventHit(const wchar_t* category, const wchar_t* action, const std::wstring& common,
                 std::wstring* out) {
  std::wstring escapedCategory, escapedAction;
  OMB_RETURN_IF_FAILED(EscapeSegment(category, &escapedCategory));
  OMB_RETURN_IF_FAILED(EscapeSegment(action, &escapedAction));
  *out = L"t=event&ec=" + escapedCategory + L"&ea=" + escapedAction + L"&" + common;
  return S_OK;
}

std::wstring UserAgent(DWORD version, bool wow64, WORD architecture) {
  std::wstring agent = Format(L"Strix Analytics/0.1 (Windows NT %d.%d",
                              static_cast<int>(LOBYTE(LOWORD(version))),
                              static_cast<int>(HIBYTE(LOWORD(version))));
  if (wow64)
    agent += L", WOW64)";
  else if (architecture == PROCESSOR_ARCHITECTURE_AMD64)
    agent += L", Win64; x64)";
  else
    agent += L")";
  return agent;
}

std::wstring CurrentUserAgent() {
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) wow64 = FALSE;
  SYSTEM_INFO system = {};
  ::GetNativeSystemInfo(&system);
  return UserAgent(::GetVersion(), wow64 != FALSE, system.wProcessorArchitecture);
}

}  // namespace omb
