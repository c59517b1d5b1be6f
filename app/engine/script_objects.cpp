#include "app/engine/script_objects.h"

#include "app/engine/dispatch_util.h"
#include "app/engine/page.h"

namespace omb::engine {
namespace {

constexpr DispMember<CLocation> kLocationMembers[] = {
    {DISPID_VALUE, L"href", &CLocation::Href},
    {1, L"toString", &CLocation::ToString},
    {2, L"reload", &CLocation::Reload},
    {3, L"assign", &CLocation::Assign},
    {4, L"replace", &CLocation::Assign},
    {5, L"protocol", &CLocation::Protocol},
    {6, L"pathname", &CLocation::Pathname},
    {7, L"search", &CLocation::Search},
    {8, L"hash", &CLocation::Hash},
    {9, L"host", &CLocation::Host},
    {10, L"hostname", &CLocation::Host},
};

constexpr DispMember<CEventObject> kEventMembers[] = {
    {1, L"type", &CEventObject::Type},
    {2, L"button", &CEventObject::Button},
    {3, L"clientX", &CEventObject::ClientX},
    {4, L"clientY", &CEventObject::ClientY},
    {5, L"screenX", &CEventObject::ScreenX},
    {6, L"screenY", &CEventObject::ScreenY},
    {7, L"srcElement", &CEventObject::Source},
    {8, L"target", &CEventObject::Source},
    {9, L"returnValue", &CEventObject::ReturnValue},
    {10, L"cancelBubble", &CEventObject::CancelBubble},
    {11, L"stopPropagation", &CEventObject::StopPropagation},
    {12, L"preventDefault", &CEventObject::PreventDefault},
};

constexpr DispMember<CNavigator> kNavigatorMembers[] = {
    {1, L"userAgent", &CNavigator::UserAgent},         {2, L"appName", &CNavigator::AppName},
    {3, L"appVersion", &CNavigator::AppVersion},       {4, L"platform", &CNavigator::Platform},
    {5, L"language", &CNavigator::Language},           {6, L"userLanguage", &CNavigator::Language},
    {7, L"cookieEnabled", &CNavigator::CookieEnabled},
};

constexpr wchar_t kAppVersion[] =
    L"5.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; OmbrelPageEngine)";

// The parts of a URL: "file:///C:/a.html?q#h" -> "file:", "/C:/a.html", "?q", "#h".
struct UrlParts {
  std::wstring_view protocol, host, path, search, hash;
};
UrlParts SplitUrl(std::wstring_view url) {
  UrlParts parts;
  const size_t hash = url.find(L'#');
  if (hash != std::wstring_view::npos) {
    parts.hash = url.substr(hash);
    url = url.substr(0, hash);
  }
  const size_t query = url.find(L'?');
  if (query != std::wstring_view::npos) {
    parts.search = url.substr(query);
    url = url.substr(0, query);
  }
  const size_t colon = url.find(L':');
  if (colon == std::wstring_view::npos) {
    parts.path = url;
    return parts;
  }
  parts.protocol = url.substr(0, colon + 1);
  url = url.substr(colon + 1);
  if (url.substr(0, 2) == L"//") {
    const size_t slash = url.find(L'/', 2);
    parts.host =
        url.substr(2, slash == std::wstring_view::npos ? std::wstring_view::npos : slash - 2);
    url = slash == std::wstring_view::npos ? std::wstring_view() : url.substr(slash);
  }
  parts.path = url;
  return parts;
}

HRESULT ReturnView(DispCall& call, std::wstring_view text) {
  return call.ReturnString(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace

std::span<const DispMember<CLocation>> CLocation::Members() noexcept { return kLocationMembers; }

CLocation::CLocation(CPage* page) noexcept : page_(page) {}

std::wstring CLocation::Url() const { return page_->Location().url; }

HRESULT CLocation::NavigateTo(const VARIANT* target) {
  if (!target) return DISP_E_PARAMNOTOPTIONAL;
  page_->NavigateFromPage(DisplayString(*target));
  return S_OK;
}

HRESULT CLocation::Href(DispCall& call) {
  if (call.IsPut()) return NavigateTo(call.args.Count() ? &call.args[0] : nullptr);
  return call.ReturnString(Url().c_str());
}
HRESULT CLocation::ToString(DispCall& call) { return call.ReturnString(Url().c_str()); }
HRESULT CLocation::Reload(DispCall&) {
  page_->ReloadFromPage();
  return S_OK;
}
HRESULT CLocation::Assign(DispCall& call) {
  return NavigateTo(call.args.Count() ? &call.args[0] : nullptr);
}
HRESULT CLocation::Protocol(DispCall& call) { return ReturnView(call, SplitUrl(Url()).protocol); }
HRESULT CLocation::Pathname(DispCall& call) { return ReturnView(call, SplitUrl(Url()).path); }
HRESULT CLocation::Search(DispCall& call) { return ReturnView(call, SplitUrl(Url()).search); }
HRESULT CLocation::Hash(DispCall& call) { return ReturnView(call, SplitUrl(Url()).hash); }
HRESULT CLocation::Host(DispCall& call) { return ReturnView(call, SplitUrl(Url()).host); }

std::span<const DispMember<CNavigator>> CNavigator::Members() noexcept { return kNavigatorMembers; }

HRESULT CNavigator::UserAgent(DispCall& call) {
  return call.ReturnString((std::wstring(L"Mozilla/") + kAppVersion).c_str());
}
HRESULT CNavigator::AppName(DispCall& call) {
  return call.ReturnString(L"Microsoft Internet Explorer");
}
HRESULT CNavigator::AppVersion(DispCall& call) { return call.ReturnString(kAppVersion); }
HRESULT CNavigator::Platform(DispCall& call) {
  return call.ReturnString(sizeof(void*) == 8 ? L"Win64" : L"Win32");
}
HRESULT CNavigator::Language(DispCall& call) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"en-US";
  GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
  return call.ReturnString(name);
}
HRESULT CNavigator::CookieEnabled(DispCall& call) { return call.ReturnBool(false); }

std::span<const DispMember<CEventObject>> CEventObject::Members() noexcept { return kEventMembers; }

constexpr DispMember<CScriptErrorEvent> kScriptErrorMembers[] = {
    {1, L"type", &CScriptErrorEvent::Type},
    {2, L"errorMessage", &CScriptErrorEvent::Message},
    {3, L"errorUrl", &CScriptErrorEvent::Url},
    {4, L"errorLine", &CScriptErrorEvent::Line},
    {5, L"errorCharacter", &CScriptErrorEvent::Character},
    {6, L"errorCode", &CScriptErrorEvent::Code},
};

std::span<const DispMember<CScriptErrorEvent>> CScriptErrorEvent::Members() noexcept {
  return kScriptErrorMembers;
}
HRESULT CScriptErrorEvent::Type(DispCall& call) { return call.ReturnString(L"error"); }
HRESULT CScriptErrorEvent::Message(DispCall& call) {
  return call.ReturnString(error_.description.c_str());
}
HRESULT CScriptErrorEvent::Url(DispCall& call) { return call.ReturnString(error_.url.c_str()); }
HRESULT CScriptErrorEvent::Line(DispCall& call) {
  return call.ReturnInt(static_cast<LONG>(error_.line));
}
HRESULT CScriptErrorEvent::Character(DispCall& call) { return call.ReturnInt(error_.column); }
HRESULT CScriptErrorEvent::Code(DispCall& call) { return call.ReturnInt(error_.code); }

HRESULT CEventObject::Type(DispCall& call) { return call.ReturnString(details_.type.c_str()); }
HRESULT CEventObject::Button(DispCall& call) { return call.ReturnInt(details_.button); }
HRESULT CEventObject::ClientX(DispCall& call) { return call.ReturnInt(details_.client.x); }
HRESULT CEventObject::ClientY(DispCall& call) { return call.ReturnInt(details_.client.y); }
HRESULT CEventObject::ScreenX(DispCall& call) { return call.ReturnInt(details_.screen.x); }
HRESULT CEventObject::ScreenY(DispCall& call) { return call.ReturnInt(details_.screen.y); }
HRESULT CEventObject::Source(DispCall& call) {
  if (!details_.source) return call.ReturnNull();
  return call.ReturnDispatch(details_.source.Get());
}
HRESULT CEventObject::ReturnValue(DispCall& call) {
  if (call.IsPut()) {
    returnValue_ = !(call.args.Type(0) == VT_BOOL && !IsTrue(call.args[0]));
    return S_OK;
  }
  return call.ReturnBool(returnValue_);
}
HRESULT CEventObject::CancelBubble(DispCall& call) {
  if (call.IsPut()) {
    cancelBubble_ = call.args.Type(0) == VT_BOOL && IsTrue(call.args[0]);
    return S_OK;
  }
  return call.ReturnBool(cancelBubble_);
}
HRESULT CEventObject::StopPropagation(DispCall&) {
  cancelBubble_ = true;
  return S_OK;
}
HRESULT CEventObject::PreventDefault(DispCall&) {
  returnValue_ = false;
  return S_OK;
}

}  // namespace omb::engine
