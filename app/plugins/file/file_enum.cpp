#include "app/plugins/file/file_enum.h"

#include <mshtml.h>

#include <new>
#include <span>
#include <utility>

#include "app/core/job.h"
#include "app/core/script_call.h"
#include "app/core/walk.h"

namespace omb {
namespace {

bool IsDotEntry(const wchar_t* name) noexcept {
  return _wcsicmp(name, L".") == 0 || _wcsicmp(name, L"..") == 0;
}

// fn(args...) with DISPID 0 and no context: the walk's functions take none.
HRESULT CallWithoutContext(IDispatch* fn, std::span<const VARIANT> args, VARIANT* result) noexcept {
  constexpr size_t kMaxArgs = 3;
  if (!fn) return S_FALSE;
  if (args.size() > kMaxArgs) return E_INVALIDARG;
  VARIANT reversed[kMaxArgs];
  for (size_t i = 0; i < args.size(); ++i) reversed[i] = args[args.size() - 1 - i];
  DISPPARAMS params{reversed, nullptr, static_cast<UINT>(args.size()), 0};
  return fn->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                    nullptr, nullptr);
}

HRESULT ScriptMember(IDispatchEx* object, const wchar_t* name, VARIANT* value) noexcept {
  unique_bstr bstr(::SysAllocString(name));
  if (!bstr) return E_OUTOFMEMORY;
  DISPID id = DISPID_UNKNOWN;
  OMB_RETURN_IF_FAILED(object->GetDispID(bstr.get(), fdexNameCaseSensitive, &id));
  DISPPARAMS none{};
  return object->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr,
                          nullptr);
}

HRESULT PageScript(IWebBrowser2* browser, IDispatchEx** script) noexcept {
  if (!browser) return E_UNEXPECTED;
  ComPtr<IDispatch> document;
  OMB_RETURN_IF_FAILED(browser->get_Document(&document));
  ComPtr<IHTMLDocument2> html;
  OMB_RETURN_IF_FAILED(document ? document.As(&html) : E_FAIL);
  ComPtr<IDispatch> scriptDispatch;
  OMB_RETURN_IF_FAILED(html->get_Script(&scriptDispatch));
  return scriptDispatch ? scriptDispatch.As(script) : E_FAIL;
}

struct WalkRequest {
  std::wstring path;
  std::wstring filter;
  bool hasFilter = false;
  bool recursive = true;
};

struct WalkVisitor {
  CJob* job;
  IDispatch* callback;
};

HRESULT VisitEntry(void* data, const wchar_t* path, DWORD attributes, ULONGLONG size) noexcept {
  const WalkVisitor* visitor = static_cast<WalkVisitor*>(data);
  if (visitor->job->Stopping()) return E_ABORT;
  IDispatch* callback = visitor->callback;
  if (!callback) return S_OK;
  unique_bstr fullPath(::SysAllocString(path));
  if (!fullPath) return E_OUTOFMEMORY;
  VARIANT args[] = {ArgString(fullPath.get()), ArgUI4(attributes),
                    ArgDouble(static_cast<double>(size))};
  unique_variant answer;
  CallWithoutContext(callback, args, answer.get());
  return answer.vt() == VT_BOOL && answer->boolVal == VARIANT_FALSE ? E_ABORT : S_OK;
}

void RunWalk(CJob& job, const WalkRequest& request) {
  if (!request.path.empty()) {
    WalkVisitor visitor{&job, job.Object(L"callback")};
    (void)WalkDirectory(request.path.c_str(), request.hasFilter ? request.filter.c_str() : nullptr,
                        request.recursive, &VisitEntry, &visitor);
  }
  CallWithoutContext(job.Object(L"completed"), {}, nullptr);
}

}  // namespace

bool FindNames(const wchar_t* pattern, std::vector<std::wstring>* names) {
  names->clear();
  WIN32_FIND_DATAW entry;
  unique_find find(::FindFirstFileW(pattern, &entry));
  if (!find) return false;
  do {
    if (!IsDotEntry(entry.cFileName)) names->push_back(entry.cFileName);
  } while (::FindNextFileW(find.get(), &entry));
  return true;
}

HRESULT NewPageArray(IWebBrowser2* browser, const std::vector<std::wstring>& items,
                     IDispatch** array) {
  *array = nullptr;
  ComPtr<IDispatchEx> script;
  OMB_RETURN_IF_FAILED(PageScript(browser, &script));
  unique_variant constructor;
  OMB_RETURN_IF_FAILED(ScriptMember(script.Get(), L"Array", constructor.get()));
  ComPtr<IDispatchEx> constructorEx;
  if (constructor.vt() != VT_DISPATCH || !constructor->pdispVal) return E_FAIL;
  OMB_RETURN_IF_FAILED(constructor->pdispVal->QueryInterface(IID_PPV_ARGS(&constructorEx)));
  unique_variant created;
  DISPPARAMS none{};
  OMB_RETURN_IF_FAILED(constructorEx->InvokeEx(DISPID_VALUE, LOCALE_USER_DEFAULT,
                                               DISPATCH_CONSTRUCT, &none, created.get(), nullptr,
                                               nullptr));
  if (created.vt() != VT_DISPATCH || !created->pdispVal) return E_FAIL;
  for (size_t i = 0; i < items.size(); ++i) {
    unique_bstr value(::SysAllocStringLen(items[i].data(), static_cast<UINT>(items[i].size())));
    if (!value) return E_OUTOFMEMORY;
    const std::wstring index = std::to_wstring(i);
    OMB_RETURN_IF_FAILED(WriteMemberByName(created->pdispVal, index.c_str(), ArgString(value.get())));
  }
  *array = created->pdispVal;
  (*array)->AddRef();
  return S_OK;
}

HRESULT StartWalkJob(IDispatch* options, IUnknown* owner) noexcept {
  try {
    WalkRequest request;
    unique_bstr text;
    if (OptionString(options, L"path", &text)) request.path = text.get();
    if (OptionString(options, L"filter", &text)) {
      request.filter = text.get();
      request.hasFilter = true;
    }
    request.recursive = OptionBool(options, L"recursive", true);
    CScriptCallbacks callbacks(options, {L"callback", L"completed"});
    const HRESULT hr = StartJob(callbacks, owner,
                                [request = std::move(request)](CJob& job) { RunWalk(job, request); });
    // completed() is owed whatever happens, also when no worker could start.
    if (FAILED(hr)) CallWithoutContext(callbacks.Get(L"completed"), {}, nullptr);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb
