#include "app/plugins/window/drag_sink.h"

#include <mshtmdid.h>

#include "sdk/trace.h"

namespace omb {
namespace {

constexpr DISPID kDragStart = static_cast<DISPID>(0x8001000B);

bool IsFormControl(const wchar_t* tag) noexcept {
  return tag && (_wcsicmp(tag, L"input") == 0 || _wcsicmp(tag, L"textarea") == 0 ||
                 _wcsicmp(tag, L"button") == 0);
}

}  // namespace

DragVerdict DragVerdictOf(const wchar_t* tagName, const VARIANT& dragWindow) noexcept {
  if (IsFormControl(tagName)) return DragVerdict::kNoDrag;
  if (dragWindow.vt == VT_BOOL)
    return dragWindow.boolVal == VARIANT_TRUE ? DragVerdict::kDrag
           : dragWindow.boolVal == VARIANT_FALSE ? DragVerdict::kNoDrag
                                                 : DragVerdict::kContinue;
  if (dragWindow.vt == VT_BSTR && dragWindow.bstrVal) {
    if (_wcsicmp(dragWindow.bstrVal, L"true") == 0) return DragVerdict::kDrag;
    if (_wcsicmp(dragWindow.bstrVal, L"false") == 0) return DragVerdict::kNoDrag;
  }
  return DragVerdict::kContinue;
}

HRESULT CDragSink::OnInvoke(DISPID id, WORD, DISPPARAMS*, VARIANT*) noexcept {
  if (id != DISPID_HTMLELEMENTEVENTS2_ONMOUSEDOWN && id != kDragStart) return E_NOTIMPL;
  if (disabled_ || !frame_) return E_NOTIMPL;
  // The platform's move loop starts from a caption press.
  if (ShouldDrag()) PostMessageW(frame_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  return S_OK;
}

bool CDragSink::ShouldDrag() const noexcept {
  if (!document_) return false;
  POINT cursor{};
  if (!GetCursorPos(&cursor) || !ScreenToClient(frame_, &cursor)) return false;
  ComPtr<IHTMLElement> element;
  if (FAILED(document_->elementFromPoint(cursor.x, cursor.y, &element))) return false;
  while (element) {
    unique_bstr tag;
    element->get_tagName(tag.put());
    unique_variant attribute;
    unique_bstr name(SysAllocString(L"dragWindow"));
    if (!name) return false;
    element->getAttribute(name.get(), 0, attribute.get());
    switch (DragVerdictOf(tag.get(), *attribute)) {
      case DragVerdict::kDrag: return true;
      case DragVerdict::kNoDrag: return false;
      case DragVerdict::kContinue: break;
    }
    ComPtr<IHTMLElement> parent;
    if (FAILED(element->get_parentElement(&parent))) return false;
    element = std::move(parent);
  }
  return false;
}

HRESULT ConnectEventToElement(IHTMLElement* body, IDispatch* sink) noexcept {
  constexpr const char* kMethod = "CWindowPlugin::ConnectEventToElement";
  ComPtr<IProvideClassInfo2> classInfo;
  IID source{};
  if (!body || FAILED(body->QueryInterface(IID_PPV_ARGS(&classInfo))) ||
      FAILED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source))) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query IProvideClassInfo2 failed.");
    return E_FAIL;
  }
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(body->QueryInterface(IID_PPV_ARGS(&container)))) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query IConnectionPointContainer failed.");
    return E_FAIL;
  }
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(source, &point))) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query IConnectionPoint failed.");
    return E_FAIL;
  }
  DWORD cookie = 0;  // never unadvised: the body goes with its page
  return point->Advise(sink, &cookie);
}

}  // namespace omb
