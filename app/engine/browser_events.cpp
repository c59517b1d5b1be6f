#include "app/engine/browser_events.h"

namespace omb::engine {
namespace {

void FireWithUrl(CConnectionPoint& point, DISPID dispid, IDispatch* browser,
                 const std::wstring& url) noexcept {
  VARIANT urlValue;
  if (FAILED(SetString(&urlValue, url.c_str()))) return;
  VARIANT args[2];
  args[0].vt = VT_BYREF | VT_VARIANT;
  args[0].pvarVal = &urlValue;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = browser;
  DISPPARAMS params{args, nullptr, 2, 0};
  point.Fire(dispid, &params);
  VariantClear(&urlValue);
}

}  // namespace

void FireNavigateComplete2(CConnectionPoint& point, IDispatch* browser,
                           const std::wstring& url) noexcept {
  FireWithUrl(point, DISPID_NAVIGATECOMPLETE2, browser, url);
}

void FireDocumentComplete(CConnectionPoint& point, IDispatch* browser,
                          const std::wstring& url) noexcept {
  FireWithUrl(point, DISPID_DOCUMENTCOMPLETE, browser, url);
}

bool FireBeforeNavigate2(CConnectionPoint& point, IDispatch* browser, const std::wstring& url,
                         LONG flags) noexcept {
  unique_variant urlValue, flagsValue, frameValue, postDataValue, postDataInner, headersValue;
  if (FAILED(SetString(urlValue.get(), url.c_str()))) return true;
  SetI4(flagsValue.get(), flags);
  frameValue->vt = VT_BSTR;  // a null name: the window itself
  frameValue->bstrVal = nullptr;
  headersValue->vt = VT_BSTR;
  headersValue->bstrVal = nullptr;
  postDataValue->vt = VT_BYREF | VT_VARIANT;  // no post data
  postDataValue->pvarVal = postDataInner.get();
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[7];
  VARIANT* refs[] = {headersValue.get(), postDataValue.get(), frameValue.get(), flagsValue.get(),
                     urlValue.get()};
  args[0].vt = VT_BYREF | VT_BOOL;
  args[0].pboolVal = &cancel;
  for (int i = 0; i < 5; ++i) {
    args[i + 1].vt = VT_BYREF | VT_VARIANT;
    args[i + 1].pvarVal = refs[i];
  }
  args[6].vt = VT_DISPATCH;
  args[6].pdispVal = browser;
  DISPPARAMS params{args, nullptr, 7, 0};
  point.Fire(DISPID_BEFORENAVIGATE2, &params);
  postDataValue->vt = VT_EMPTY;  // points into postDataInner, which clears itself
  return cancel != VARIANT_FALSE;
}

bool FireNewWindow3(CConnectionPoint& point, const std::wstring& url, const std::wstring& context,
                    ComPtr<IDispatch>& target) noexcept {
  unique_bstr urlText(SysAllocString(url.c_str()));
  unique_bstr contextText(SysAllocString(context.c_str()));
  if (!urlText || !contextText) return true;
  IDispatch* newBrowser = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[5];
  args[0].vt = VT_BSTR;
  args[0].bstrVal = urlText.get();
  args[1].vt = VT_BSTR;
  args[1].bstrVal = contextText.get();
  args[2].vt = VT_I4;
  args[2].lVal = 0;
  args[3].vt = VT_BYREF | VT_BOOL;
  args[3].pboolVal = &cancel;
  args[4].vt = VT_BYREF | VT_DISPATCH;
  args[4].ppdispVal = &newBrowser;
  DISPPARAMS params{args, nullptr, 5, 0};
  point.Fire(DISPID_NEWWINDOW3, &params);
  target.Attach(newBrowser);  // a sink hands it out with a reference
  return cancel != VARIANT_FALSE;
}

bool FireWindowClosing(CConnectionPoint& point) noexcept {
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT args[2];
  args[0].vt = VT_BYREF | VT_BOOL;
  args[0].pboolVal = &cancel;
  args[1].vt = VT_BOOL;
  args[1].boolVal = VARIANT_FALSE;
  DISPPARAMS params{args, nullptr, 2, 0};
  point.Fire(DISPID_WINDOWCLOSING, &params);
  return cancel != VARIANT_FALSE;
}

}  // namespace omb::engine
