// Dragging a window by its page: the sink listens to the body's mouse-down
// and drag-start events, walks from the element under the cursor up to the
// body looking for a "dragWindow" attribute, and when the walk says so starts
// the platform's move of the frame as if the caption had been pressed.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include "app/core/unknown.h"
#include "sdk/com.h"

namespace omb {

// What the "dragWindow" walk found on one element.
enum class DragVerdict { kContinue, kDrag, kNoDrag };

// The verdict for one element: its tag name, and its "dragWindow" attribute
// (VT_EMPTY/VT_NULL when absent).
DragVerdict DragVerdictOf(const wchar_t* tagName, const VARIANT& dragWindow) noexcept;

class CDragSink final : public CDispatchBase {
 public:
  CDragSink(HWND frame, IHTMLDocument2* document) noexcept : frame_(frame), document_(document) {}

  // The document whose elements the walk looks up (the page now shown).
  void SetDocument(IHTMLDocument2* document) noexcept { document_ = document; }

 private:
  // The mouse-down and drag-start events of the body.
  HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) noexcept override;

  bool ShouldDrag() const noexcept;

  HWND frame_;
  bool disabled_ = false;
  ComPtr<IHTMLDocument2> document_;
};

// Connects sink to the body of document through the body's default source
// interface. E_FAIL (with a trace line) when the body cannot be connected.
HRESULT ConnectEventToElement(IHTMLElement* body, IDispatch* sink) noexcept;

}  // namespace omb
