// A script menu object: native menu plus the records of its items. Script
// appends items (each with a call-back or a submenu), enables them, finds
// submenus and shows the menu; the window plug-in reaches it through
// OMB::IMenu to attach a menu bar and route the commands chosen there.
#pragma once

#include <map>
#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

// The next command identifier of the process (2000, 2001, ...); every append
// takes one, whether or not the item is appended. Command messages carry 16
// bits, so after 0xFFFF the count starts again at 2000 and skips identifiers
// that items still hold. 0 when every identifier is held.
UINT TakeMenuCommandId() noexcept;
// Marks an identifier as held by an item, or gives it back.
void HoldMenuCommandId(UINT id, bool held) noexcept;

// The point moved so that x lies within the work area of the nearest monitor
// when the point lies on no monitor; y is kept.
POINT ClampToWorkArea(POINT point) noexcept;

class CMenuDispatch : public ComObject<CMenuDispatch, OMB::IMenu> {
 public:
  static constexpr const char* kClassName = "CMenuDispatch";
  static std::span<const DispMember<CMenuDispatch>> Members() noexcept;

  struct Item {
    std::wstring name;
    UINT flags = 0;
    ComPtr<IDispatch> object;  // call-back or submenu object
    HMENU popup = nullptr;      // the submenu's native menu, for a submenu item
    unique_variant context;
  };

  CMenuDispatch() noexcept = default;
  HRESULT QueryOther(REFIID iid, void** out) noexcept;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override;

  // OMB::IMenu
  STDMETHODIMP Create(HWND owner, HWND host, LONG kind) noexcept override;
  STDMETHODIMP_(HMENU) GetHandle() noexcept override { return menu_.get(); }
  STDMETHODIMP Exec(UINT commandId) noexcept override;

  // Members
  HRESULT AppendMenu(DispCall& call);
  HRESULT Popup(DispCall& call);
  HRESULT GetSubMenu(DispCall& call);
  HRESULT Enable(DispCall& call);
  HRESULT GetItemCount(DispCall& call);

 private:
  friend class ComObject<CMenuDispatch, OMB::IMenu>;
  ~CMenuDispatch() override;

  void DetachSubmenus() noexcept;
  bool Append(IDispatch* options);
  bool Show(POINT point);
  bool SetEnabled(const wchar_t* name, bool enabled);
  using Entry = std::map<UINT, Item>::value_type;
  // The first item (lowest identifier) with this name, ignoring case.
  Entry* FindByName(const wchar_t* name, bool submenusOnly);

  HWND owner_ = nullptr;
  HWND host_ = nullptr;
  LONG kind_ = OMB::kPopupMenu;
  unique_hmenu menu_;
  std::map<UINT, Item> items_;
};

}  // namespace omb
