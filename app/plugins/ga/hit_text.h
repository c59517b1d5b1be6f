// The text of one analytics hit (Measurement Protocol version 1, form
// encoded) and the request's user agent. The parameters go out in a fixed
// order; texts from script are escaped as one URL path segment by the
// platform, except the tracking identifier and the application version,
// which are sent as given.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// What every hit says about the machine.
struct HitFacts {
  std::wstring clientId;  // "cid"
  std::wstring language;  // "ul", escaped
  int width = 0;          // "vp": primary screen size in pixels
  int height = 0;
};

// The platform's escaping of text as one path segment (UrlEscapeW with
// URL_ESCAPE_SEGMENT_ONLY). The text ends at its first NUL character.
[[nodiscard]] HRESULT EscapeSegment(const wchar_t* text, std::wstring* out);

// The client identifier from the hardware profile's GUID text: the part
// between the opening brace and the next closing brace (or the end); when
// the text does not start with a brace followed by something else, the
// whole text, escaped.
[[nodiscard]] HRESULT ClientIdFromProfileGuid(const wchar_t* guid, std::wstring* out);

// The machine's GUID the system keeps for cryptography (the 64-bit
// registry view's HKLM\SOFTWARE\Microsoft\Cryptography "MachineGuid").
[[nodiscard]] HRESULT MachineGuid(std::wstring* out);

// The current hardware profile (where the platform has none, the machine
// GUID instead), the user default locale ("en-US") and the primary screen.
[[nodiscard]] HRESULT CurrentHitFacts(HitFacts* out);

// "v=1&tid=...&cid=...&ul=...&an=...&av=...&vp=WxH"; the application name
// is escaped here.
[[nodiscard]] HRESULT CommonPart(const std::wstring& trackingId, const std::wstring& appName,
                                 const std::wstring& appVersion, const HitFacts& facts,
                                 std::wstring* out);

// "t=appview&cd=<escaped screen>&<common>"
[[nodiscard]] HRESULT ScreenViewHit(const wchar_t* screen, const std::wstring& common,
                                    std::wstring* out);
// "t=event&ec=<escaped category>&ea=<escaped action>&<common>"
[[nodiscard]] HRESULT EventHit(const wchar_t* category, const wchar_t* action,
                               const std::wstring& common, std::wstring* out);

// "Strix Analytics/0.1 (Windows NT <major>.<minor>" from the platform
// version (the answer of GetVersion: major in the low byte, minor in the
// next), then ", WOW64)" for a 32-bit process on a 64-bit system, else
// ", Win64; x64)" on an x64 processor (architecture 9), else ")".
std::wstring UserAgent(DWORD version, bool wow64, WORD architecture);
// The user agent of this process on this machine.
std::wstring CurrentUserAgent();

}  // namespace omb
