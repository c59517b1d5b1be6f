// "window": page script's control over its own frame window — showing,
// hiding, geometry, style bits, a caption-less or bitmap-shaped look, size
// limits, taskbar progress, dialogs, a menu bar, window events and unique
// windows. One instance per browser window.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>

#include <span>
#include <string>
#include <vector>

#include "app/plugins/window/drag_sink.h"
#include "app/plugins/window/frame_subclass.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CWindowPlugin : public ComObject<CWindowPlugin, OMB::IPluginImpl<CWindowPlugin>,
                                       DispatchTable<CWindowPlugin>> {
 public:
  static constexpr const char* kClassName = "CWindowPlugin";
  static std::span<const DispMember<CWindowPlugin>> Members() noexcept;

  CWindowPlugin() noexcept = default;

  // OMB::IPlugin
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;
  STDMETHODIMP OnDocumentComplete(ULONG_PTR) noexcept override;

  // IDispatch: no type information; every call is checked against the
  // member's kinds and argument counts before its handler runs.
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;

  // Members
  HRESULT Show(DispCall& call);
  HRESULT Close(DispCall& call);
  HRESULT Quit(DispCall& call);
  HRESULT Minimize(DispCall& call);
  HRESULT CenterWindow(DispCall& call);
  HRESULT SetTaskbarProgress(DispCall& call);
  HRESULT SetTaskbarProgressState(DispCall& call);
  HRESULT IsSupportTaskbarProgress(DispCall& call);
  HRESULT SelectFile(DispCall& call);
  HRESULT SelectFolder(DispCall& call);
  HRESULT IsUniqueWindowMember(DispCall& call);
  HRESULT ShowExistedWindowMember(DispCall& call);
  HRESULT ShowMessageBox(DispCall& call);
  HRESULT IsVisible(DispCall& call);
  HRESULT IsForeWindow(DispCall& call);
  HRESULT SetWindowPos(DispCall& call);
  HRESULT Width(DispCall& call);
  HRESULT Height(DispCall& call);
  HRESULT Left(DispCall& call);
  HRESULT Top(DispCall& call);
  HRESULT WorkAreaWidth(DispCall& call);
  HRESULT WorkAreaHeight(DispCall& call);
  HRESULT Title(DispCall& call);
  HRESULT MinimizeBox(DispCall& call);
  HRESULT MaximizeBox(DispCall& call);
  HRESULT SysMenu(DispCall& call);
  HRESULT Caption(DispCall& call);
  HRESULT TopMost(DispCall& call);
  HRESULT MinWidth(DispCall& call);
  HRESULT MinHeight(DispCall& call);
  HRESULT MaxWidth(DispCall& call);
  HRESULT MaxHeight(DispCall& call);
  HRESULT Resize(DispCall& call);
  HRESULT ShapeImage(DispCall& call);
  HRESULT Menu(DispCall& call);
  HRESULT Msg(DispCall& call);
  HRESULT OnClosed(DispCall& call);
  HRESULT OnClose(DispCall& call);
  HRESULT OnMinimize(DispCall& call);
  HRESULT OnMaximize(DispCall& call);
  HRESULT OnRestore(DispCall& call);
  HRESULT OnActivate(DispCall& call);
  HRESULT OnInactivate(DispCall& call);
  HRESULT OnShutdown(DispCall& call);

 private:
  friend class ComObject<CWindowPlugin, OMB::IPluginImpl<CWindowPlugin>,
                         DispatchTable<CWindowPlugin>>;
  ~CWindowPlugin() override;

  RECT FrameRect() const noexcept;
  HRESULT PutEdge(DispCall& call, bool horizontal, bool size);
  HRESULT PutStyleBit(DispCall& call, LONG_PTR bit);
  HRESULT PutTrackSize(DispCall& call, CMainSubclassWindow::TrackSize which);
  HRESULT PutEvent(DispCall& call, CMainSubclassWindow::Event event);
  void ApplyCaption(bool shown) noexcept;
  void SetCaptionStyle(bool shown, bool shadowOnly) noexcept;
  void ApplyCompositorFrame(bool hideCaption) noexcept;
  void ApplyResize(bool resizable) noexcept;
  void ApplyShapeImage(const wchar_t* path) noexcept;
  HRESULT ResolvePath(const wchar_t* path, std::wstring* resolved) const noexcept;
  void ConnectDragSink() noexcept;
  // Dialogs (window_dialogs.cpp)
  HWND DialogOwner() const noexcept;
  HRESULT ShowFileDialog(IDispatch* options, VARIANT* result);
  HRESULT ShowFolderDialog(IDispatch* options, VARIANT* result);
  HRESULT NativeArray(const std::vector<std::wstring>& items, VARIANT* result);

  ComPtr<OMB::ICore> core_;
  ComPtr<IWebBrowser2> browser_;
  HWND frame_ = nullptr;
  bool browserSubclassed_ = false;
  CBrowserSubclassWindow browserSubclass_;
  CMainSubclassWindow mainSubclass_;
  ComPtr<CDragSink> dragSink_;
  ComPtr<IDispatch> msg_;
  ComPtr<ITaskbarList3> taskbar_;
  bool shapeSet_ = false;
  bool resizable_ = true;
  bool captionShown_ = true;
};

}  // namespace omb
