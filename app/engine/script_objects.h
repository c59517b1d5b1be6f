// Small script-visible objects of a page: the location and navigator objects
// and the event object handed to event sinks and listeners.
#pragma once

#include <span>
#include <string>

#include "app/engine/engine_com.h"
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

}  // namespace omb::engine
