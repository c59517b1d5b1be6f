// Small script-visible objects of a page: the location and navigator objects,
// the event object handed to event sinks and listeners, and window.event
// while a script error is reported to the host.
#pragma once

#include <span>
#include <string>

#include "app/engine/engine_com.h"
#include "app/engine/page_host.h"
#include "sdk/dispatch.h"

namespace omb::engine {

class CPage;

// window.location / document.location: reads the page URL and navigates.
class CLocation : public ComObject<CLocation, DispatchTable<CLocation>> {
 public:
  static constexpr const char* kClassName = "CLocation";
  static std::span<const DispMember<CLocation>> Members() noexcept;

  explicit CLocation(CPage* page) noexcept;

  HRESULT Href(DispCall& call);
  HRESULT ToString(DispCall& call);
  HRESULT Reload(DispCall& call);
  HRESULT Assign(DispCall& call);
  HRESULT Protocol(DispCall& call);
  HRESULT Pathname(DispCall& call);
  HRESULT Search(DispCall& call);
  HRESULT Hash(DispCall& call);
  HRESULT Host(DispCall& call);

 private:
  std::wstring Url() const;
  HRESULT NavigateTo(const VARIANT* target);

  ComPtr<CPage> page_;
};

// window.navigator: what pages read to learn which browser runs them.
class CNavigator : public ComObject<CNavigator, DispatchTable<CNavigator>> {
 public:
  static constexpr const char* kClassName = "CNavigator";
  static std::span<const DispMember<CNavigator>> Members() noexcept;

  HRESULT UserAgent(DispCall& call);
  HRESULT AppName(DispCall& call);
  HRESULT AppVersion(DispCall& call);
  HRESULT Platform(DispCall& call);
  HRESULT Language(DispCall& call);
  HRESULT CookieEnabled(DispCall& call);
};

struct EventDetails {
  std::wstring type;  // "mousedown", "load", ...
  LONG button = 0;    // 1 left, 2 right, 4 middle
  POINT client{};
  POINT screen{};
  ComPtr<IDispatch> source;  // the element the event happened on
};

// The argument of element events and load listeners. Script may set
// cancelBubble (or call stopPropagation) to end bubbling.
class CEventObject : public ComObject<CEventObject, DispatchTable<CEventObject>> {
 public:
  static constexpr const char* kClassName = "CEventObject";
  static std::span<const DispMember<CEventObject>> Members() noexcept;

  explicit CEventObject(EventDetails details) noexcept : details_(std::move(details)) {}
  bool BubbleCancelled() const noexcept { return cancelBubble_; }

  HRESULT Type(DispCall& call);
  HRESULT Button(DispCall& call);
  HRESULT ClientX(DispCall& call);
  HRESULT ClientY(DispCall& call);
  HRESULT ScreenX(DispCall& call);
  HRESULT ScreenY(DispCall& call);
  HRESULT Source(DispCall& call);
  HRESULT ReturnValue(DispCall& call);
  HRESULT CancelBubble(DispCall& call);
  HRESULT StopPropagation(DispCall& call);
  HRESULT PreventDefault(DispCall& call);

 private:
  EventDetails details_;
  bool cancelBubble_ = false;
  bool returnValue_ = true;
};

// window.event while the control asks its host to show a script error: the
// members the platform control's event object has for it.
class CScriptErrorEvent : public ComObject<CScriptErrorEvent, DispatchTable<CScriptErrorEvent>> {
 public:
  static constexpr const char* kClassName = "CScriptErrorEvent";
  static std::span<const DispMember<CScriptErrorEvent>> Members() noexcept;

  explicit CScriptErrorEvent(ScriptError error) noexcept : error_(std::move(error)) {}

  HRESULT Type(DispCall& call);
  HRESULT Message(DispCall& call);
  HRESULT Url(DispCall& call);
  HRESULT Line(DispCall& call);
  HRESULT Character(DispCall& call);
  HRESULT Code(DispCall& call);

 private:
  ScriptError error_;
};

}  // namespace omb::engine
