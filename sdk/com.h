// Ownership and COM plumbing shared by the host and plug-in libraries.
//
// Every platform handle, string and variant that Ombrel touches is owned by one
// of the small RAII types below, so no early return can leak it. COM objects
// derive from ComObject<Derived, Bases...>, which supplies reference counting
// and a QueryInterface that answers IUnknown, every listed interface and that
// interface's base interfaces (IDispatchEx also answers IDispatch, and so on).
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <ole2.h>
#include <oleauto.h>
#include <dispex.h>
#include <ocidl.h>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace omb {

// ---------------------------------------------------------------------------
// A counted COM pointer with the familiar ComPtr interface. (MinGW's own
// wrl/client.h takes an extra reference in Attach, so it is not used.)
template <class T>
class ComPtr {
 public:
  using InterfaceType = T;

  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  template <class U>
  ComPtr(U* p) noexcept : p_(p) {
    AddRefIfAny();
  }
  ComPtr(const ComPtr& o) noexcept : p_(o.p_) { AddRefIfAny(); }
  template <class U>
  ComPtr(const ComPtr<U>& o) noexcept : p_(o.Get()) {
    AddRefIfAny();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(ComPtr<U>&& o) noexcept : p_(o.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) noexcept {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  template <class U>
  ComPtr& operator=(U* p) noexcept {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Releases the current pointer and hands out its address for an out-parameter.
  T** operator&() noexcept { return ReleaseAndGetAddressOf(); }
  T** ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &p_;
  }
  T* const* GetAddressOf() const noexcept { return &p_; }
  T** GetAddressOf() noexcept { return &p_; }

  // Takes ownership of p's existing reference.
  void Attach(T* p) noexcept {
    Reset();
    p_ = p;
  }
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  ULONG Reset() noexcept {
    T* old = std::exchange(p_, nullptr);
    return old ? old->Release() : 0;
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    AddRefIfAny();
    *out = p_;
    return S_OK;
  }
  HRESULT CopyTo(REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return p_ ? p_->QueryInterface(iid, out) : E_POINTER;
  }
  template <class U>
  HRESULT As(ComPtr<U>* out) const noexcept {
    return As(out->ReleaseAndGetAddressOf());
  }
  template <class U>
  HRESULT As(U** out) const noexcept {
    *out = nullptr;
    return p_ ? p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out)) : E_POINTER;
  }

 private:
  void AddRefIfAny() const noexcept {
    if (p_) p_->AddRef();
  }
  T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) noexcept {
  return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) noexcept {
  return a.Get() == nullptr;
}

// ---------------------------------------------------------------------------
// Result helpers

// A platform last-error value as a result code: 0x80070000 | (v & 0xFFFF) when
// the value is above zero, unchanged otherwise.
inline HRESULT HResultFromError(DWORD error) noexcept {
  return static_cast<LONG>(error) > 0
             ? static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu))
             : static_cast<HRESULT>(error);
}
inline HRESULT HResultFromLastError() noexcept { return HResultFromError(GetLastError()); }

#define OMB_RETURN_IF_FAILED(expr)               \
  do {                                           \
    const HRESULT omb_hr_ = (expr);              \
    if (FAILED(omb_hr_)) return omb_hr_;         \
  } while (0)
#define OMB_RETURN_LAST_ERROR_IF(cond)                         \
  do {                                                         \
    if (cond) return ::omb::HResultFromLastError();            \
  } while (0)
#define OMB_RETURN_HR_IF(hr, cond) \
  do {                             \
    if (cond) return (hr);         \
  } while (0)

// ---------------------------------------------------------------------------
// Generic owner for a handle-like value with a close function.

template <class T, auto Close, auto Invalid = T{}>
class unique_any {
 public:
  unique_any() noexcept = default;
  explicit unique_any(T value) noexcept : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Invalid; }
  T release() noexcept { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) noexcept {
    T old = std::exchange(value_, value);
    if (old != Invalid) Close(old);
  }
  // Out-parameter access: frees the current value first.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Invalid;
};

namespace detail {
inline void CloseHandleFn(HANDLE h) noexcept { ::CloseHandle(h); }
inline void FindCloseFn(HANDLE h) noexcept { ::FindClose(h); }
inline void RegCloseKeyFn(HKEY h) noexcept { ::RegCloseKey(h); }
inline void DestroyMenuFn(HMENU h) noexcept { ::DestroyMenu(h); }
inline void DestroyIconFn(HICON h) noexcept { ::DestroyIcon(h); }
inline void DeleteObjectFn(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void FreeLibraryFn(HMODULE h) noexcept { ::FreeLibrary(h); }
inline void UnmapViewFn(void* p) noexcept { ::UnmapViewOfFile(p); }
inline void SysFreeStringFn(BSTR s) noexcept { ::SysFreeString(s); }
inline void SafeArrayDestroyFn(SAFEARRAY* a) noexcept { ::SafeArrayDestroy(a); }
inline void LocalFreeFn(HLOCAL h) noexcept { ::LocalFree(h); }
inline void GlobalUnlockFn(HGLOBAL h) noexcept { ::GlobalUnlock(h); }
inline void ReleaseStgMediumFn(STGMEDIUM* m) noexcept { ::ReleaseStgMedium(m); }
inline const HANDLE kInvalidHandle = INVALID_HANDLE_VALUE;
}  // namespace detail

// Handles whose "none" value is NULL (events, threads, mappings, processes).
using unique_handle = unique_any<HANDLE, detail::CloseHandleFn>;
using unique_hkey = unique_any<HKEY, detail::RegCloseKeyFn>;
using unique_hmenu = unique_any<HMENU, detail::DestroyMenuFn>;
using unique_hicon = unique_any<HICON, detail::DestroyIconFn>;
using unique_hrgn = unique_any<HRGN, detail::DeleteObjectFn>;
using unique_hbitmap = unique_any<HBITMAP, detail::DeleteObjectFn>;
using unique_hmodule = unique_any<HMODULE, detail::FreeLibraryFn>;
using unique_mapview = unique_any<void*, detail::UnmapViewFn>;
using unique_bstr = unique_any<BSTR, detail::SysFreeStringFn>;
using unique_safearray = unique_any<SAFEARRAY*, detail::SafeArrayDestroyFn>;
using unique_hlocal = unique_any<HLOCAL, detail::LocalFreeFn>;

// Handles whose "none" value is INVALID_HANDLE_VALUE (files, find handles).
class unique_file {
 public:
  unique_file() noexcept = default;
  explicit unique_file(HANDLE h) noexcept : h_(h) {}
  unique_file(const unique_file&) = delete;
  unique_file& operator=(const unique_file&) = delete;
  unique_file(unique_file&& o) noexcept : h_(o.release()) {}
  unique_file& operator=(unique_file&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~unique_file() { reset(); }
  HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() noexcept { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
    HANDLE old = std::exchange(h_, h);
    if (old != INVALID_HANDLE_VALUE && old != nullptr) ::CloseHandle(old);
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

class unique_find {
 public:
  unique_find() noexcept = default;
  explicit unique_find(HANDLE h) noexcept : h_(h) {}
  unique_find(const unique_find&) = delete;
  unique_find& operator=(const unique_find&) = delete;
  ~unique_find() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
  }
  HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A VARIANT owned by containment; cleared on destruction, not copyable.
class unique_variant {
 public:
  unique_variant() noexcept { ::VariantInit(&v_); }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;
  unique_variant(unique_variant&& o) noexcept {
    v_ = o.v_;
    ::VariantInit(&o.v_);
  }
  ~unique_variant() { ::VariantClear(&v_); }

  VARIANT* get() noexcept { return &v_; }
  const VARIANT* get() const noexcept { return &v_; }
  VARIANT* operator&() noexcept { return &v_; }
  const VARIANT& operator*() const noexcept { return v_; }
  VARIANT* operator->() noexcept { return &v_; }
  const VARIANT* operator->() const noexcept { return &v_; }
  VARTYPE vt() const noexcept { return v_.vt; }
  // Clears and hands out the variant for an out-parameter.
  VARIANT* put() noexcept {
    ::VariantClear(&v_);
    return &v_;
  }
  HRESULT CopyFrom(const VARIANT& src) noexcept {
    return ::VariantCopy(put(), const_cast<VARIANT*>(&src));
  }
  // Moves the value out into dst (which must be empty or cleared).
  void Detach(VARIANT* dst) noexcept {
    *dst = v_;
    ::VariantInit(&v_);
  }

 private:
  VARIANT v_;
};

// Balanced CoInitializeEx / CoUninitialize for one scope.
class unique_coinit {
 public:
  explicit unique_coinit(DWORD flags = COINIT_MULTITHREADED) noexcept
      : hr_(::CoInitializeEx(nullptr, flags)) {}
  unique_coinit(const unique_coinit&) = delete;
  unique_coinit& operator=(const unique_coinit&) = delete;
  ~unique_coinit() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

// Runs a function when the scope ends, unless dismissed.
template <class F>
class scope_exit {
 public:
  explicit scope_exit(F f) noexcept : f_(std::move(f)) {}
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;
  ~scope_exit() {
    if (armed_) f_();
  }
  void dismiss() noexcept { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

// ---------------------------------------------------------------------------
// Variant helpers used by every dispatch implementation.

inline bool IsTrue(const VARIANT& v) noexcept {
  return v.vt == VT_BOOL && (static_cast<USHORT>(v.boolVal) == 0xFFFF);
}
inline void SetBool(VARIANT* v, bool b) noexcept {
  ::VariantInit(v);
  v->vt = VT_BOOL;
  v->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}
inline void SetI4(VARIANT* v, LONG n) noexcept {
  ::VariantInit(v);
  v->vt = VT_I4;
  v->lVal = n;
}
inline HRESULT SetString(VARIANT* v, const wchar_t* s, UINT length) noexcept {
  ::VariantInit(v);
  BSTR b = ::SysAllocStringLen(s, length);
  if (!b) return E_OUTOFMEMORY;
  v->vt = VT_BSTR;
  v->bstrVal = b;
  return S_OK;
}
inline HRESULT SetString(VARIANT* v, const wchar_t* s) noexcept {
  return SetString(v, s ? s : L"", s ? static_cast<UINT>(wcslen(s)) : 0);
}
// Stores a counted reference to obj (or null) as VT_DISPATCH.
inline void SetDispatch(VARIANT* v, IDispatch* obj) noexcept {
  ::VariantInit(v);
  v->vt = VT_DISPATCH;
  v->pdispVal = obj;
  if (obj) obj->AddRef();
}
inline void SetUnknown(VARIANT* v, IUnknown* obj) noexcept {
  ::VariantInit(v);
  v->vt = VT_UNKNOWN;
  v->punkVal = obj;
  if (obj) obj->AddRef();
}

// ---------------------------------------------------------------------------
// COM object base.

// Base interfaces that QueryInterface also answers for a listed interface.
template <class I>
struct InterfaceBase {
  using type = IUnknown;
};
template <>
struct InterfaceBase<IDispatchEx> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IOleInPlaceActiveObject> {
  using type = IOleWindow;
};
template <>
struct InterfaceBase<IOleInPlaceObject> {
  using type = IOleWindow;
};
template <>
struct InterfaceBase<IOleInPlaceSite> {
  using type = IOleWindow;
};
template <>
struct InterfaceBase<IOleInPlaceFrame> {
  using type = IOleInPlaceUIWindow;
};
template <>
struct InterfaceBase<IOleInPlaceUIWindow> {
  using type = IOleWindow;
};
template <>
struct InterfaceBase<IProvideClassInfo2> {
  using type = IProvideClassInfo;
};

// A base class listed in ComObject may be an interface, or an implementation
// class that declares the interface it implements as `using ComInterface = I;`.
template <class B>
struct ComInterfaceOf {
  using type = B;
};
template <class B>
  requires requires { typename B::ComInterface; }
struct ComInterfaceOf<B> {
  using type = typename B::ComInterface;
};

namespace detail {
template <class First, class...>
struct FirstOf {
  using type = First;
};

template <class Self, class Via, class I>
bool QueryChain(Self* self, REFIID iid, void** out) noexcept {
  if constexpr (std::is_same_v<I, IUnknown>) {
    return false;
  } else {
    if (iid == __uuidof(I)) {
      *out = static_cast<I*>(static_cast<Via*>(self));
      return true;
    }
    return QueryChain<Self, Via, typename InterfaceBase<I>::type>(self, iid, out);
  }
}
}  // namespace detail

// Reference-counted COM object. Objects start with one reference, owned by
// whoever created them (see Make). Counts are interlocked so a worker thread
// may safely drop the reference it was given.
template <class Derived, class... Bases>
class ComObject : public Bases... {
 public:
  using FirstBase = typename detail::FirstOf<Bases...>::type;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(static_cast<FirstBase*>(this));
    } else if (!(detail::QueryChain<ComObject, Bases, typename ComInterfaceOf<Bases>::type>(
                     this, iid, out) ||
                 ...)) {
      return static_cast<Derived*>(this)->QueryOther(iid, out);
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }

  // Hook for interfaces not in the base list; set *out with a reference.
  HRESULT QueryOther(REFIID, void**) noexcept { return E_NOINTERFACE; }

  IUnknown* Unknown() noexcept { return static_cast<IUnknown*>(static_cast<FirstBase*>(this)); }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

 private:
  LONG refs_ = 1;
};

// Creates a COM object and hands it out owned by a ComPtr (one reference).
template <class T, class... Args>
ComPtr<T> Make(Args&&... args) noexcept {
  ComPtr<T> p;
  p.Attach(new (std::nothrow) T(std::forward<Args>(args)...));
  return p;
}

// Creates a COM object and hands out the interface iid (the factory form of
// CreateInterface): *out gets one reference, or null on failure.
template <class T, class... Args>
HRESULT CreateAndQuery(REFIID iid, void** out, Args&&... args) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<T> obj = Make<T>(std::forward<Args>(args)...);
  if (!obj) return E_OUTOFMEMORY;
  return obj->QueryInterface(iid, out);
}

}  // namespace omb

using omb::ComPtr;
