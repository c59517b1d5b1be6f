// The contract between the Ombrel host and its plug-ins (built-in ones and
// those in plug-in libraries). Interface identifiers and virtual-slot order are
// fixed: libraries built against this header must keep working with any host.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

namespace OMB {

// Major version of this contract; a library answering another major version
// is not loaded.
constexpr LONG kContractMajor = 3;

// Flags bit 0: the host creates a new plug-in instance for every access.
constexpr LONG kFlagNewInstancePerAccess = 1;

// The description a plug-in library gives of itself.
MIDL_INTERFACE("5DC680BA-377B-4E7C-A737-5FEDD763A63A")
IVersion : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetVersion(LONG* major, LONG* minor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlags(LONG* flags) = 0;
};

struct ICore;

// The plug-in object itself; script reaches it through IDispatch.
MIDL_INTERFACE("111EE8F2-9143-42CC-83D2-9F23C3D84412")
IPlugin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(ICore* core, IUnknown* browser) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnNavigateComplete(ULONG_PTR reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDocumentComplete(ULONG_PTR reserved) = 0;
};

// Services of one browser window that plug-ins may use.
MIDL_INTERFACE("BE9BFB26-6D2E-4BC2-B3EB-31301043DCFA")
ICore : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateBrowserWindow(const wchar_t* url, BOOL inherit,
                                                        VARIANT* callback, VARIANT* context,
                                                        IDispatch** window) = 0;
  virtual HWND STDMETHODCALLTYPE GetWindowHandle() = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPlugin(const wchar_t* name, IDispatch** plugin) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolvePath(const wchar_t* path, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateObject(const wchar_t* kind, IDispatch** object) = 0;
};

// A menu object of the "menu" plug-in; the window plug-in attaches menu bars
// and routes menu commands through it.
MIDL_INTERFACE("6CA55863-199D-4ED3-BF7F-E0E3E0AEE56D")
IMenu : public IDispatch {
  // Records the owner and host windows and the kind, and creates the empty
  // native menu (a menu bar for kind kWindowMenu, else a pop-up menu).
  virtual HRESULT STDMETHODCALLTYPE Create(HWND owner, HWND host, LONG kind) = 0;
  virtual HMENU STDMETHODCALLTYPE GetHandle() = 0;
  // Runs the item with this command id in this menu tree: S_OK (0) when the
  // id belongs to it, S_FALSE (1) when it does not.
  virtual HRESULT STDMETHODCALLTYPE Exec(UINT commandId) = 0;
};

// Menu kinds for IMenu::Create.
constexpr LONG kPopupMenu = 0;
constexpr LONG kTrayMenu = 1;
constexpr LONG kWindowMenu = 2;

// The byte stream of a "stream" object; plug-ins move bytes through it
// without going through script.
MIDL_INTERFACE("92F4F789-5735-4852-A8AC-B0B5E5E2DD88")
IStream : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Read(BYTE* destination, ULONG count, ULONG* read) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const BYTE* source, ULONG count, ULONG* written) = 0;
  // origin: 0 begin, 1 current, 2 end.
  virtual HRESULT STDMETHODCALLTYPE Seek(LONGLONG offset, ULONG origin, ULONGLONG* position) = 0;
  // count 0xFFFFFFFF copies everything from the position on.
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* destination, ULONG count, ULONG* copied) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULONGLONG size) = 0;
  virtual ULONGLONG STDMETHODCALLTYPE GetSize() = 0;
  virtual BYTE* STDMETHODCALLTYPE GetBuffer() = 0;
};

// Plug-in base: answers every IPlugin operation with E_NOTIMPL; a plug-in
// overrides only what it needs.
template <class T>
class IPluginImpl : public IPlugin {
 public:
  using ComInterface = IPlugin;
  STDMETHODIMP Initialize(ICore*, IUnknown*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnNavigateComplete(ULONG_PTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnDocumentComplete(ULONG_PTR) noexcept override { return E_NOTIMPL; }
};

// The one export of a plug-in library, and the form of every built-in
// plug-in's factory: for IID_IVersion a version object, for IID_IPlugin a new
// plug-in, each with one reference; E_NOINTERFACE for anything else.
using CreateInterfaceFn = HRESULT(__stdcall*)(REFIID iid, void** out);

}  // namespace OMB

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(OMB::IVersion, 0x5DC680BA, 0x377B, 0x4E7C, 0xA7, 0x37, 0x5F, 0xED, 0xD7, 0x63, 0xA6, 0x3A)
__CRT_UUID_DECL(OMB::IPlugin, 0x111EE8F2, 0x9143, 0x42CC, 0x83, 0xD2, 0x9F, 0x23, 0xC3, 0xD8, 0x44, 0x12)
__CRT_UUID_DECL(OMB::ICore, 0xBE9BFB26, 0x6D2E, 0x4BC2, 0xB3, 0xEB, 0x31, 0x30, 0x10, 0x43, 0xDC, 0xFA)
__CRT_UUID_DECL(OMB::IMenu, 0x6CA55863, 0x199D, 0x4ED3, 0xBF, 0x7F, 0xE0, 0xE3, 0xE0, 0xAE, 0xE5, 0x6D)
__CRT_UUID_DECL(OMB::IStream, 0x92F4F789, 0x5735, 0x4852, 0xA8, 0xAC, 0xB0, 0xB5, 0xE5, 0xE2, 0xDD, 0x88)
#endif

// Declares a plug-in library's export:
//   OMB_EXPORT_CREATE_INTERFACE { ...body using iid and out... }
#define OMB_EXPORT_CREATE_INTERFACE \
  extern "C" __declspec(dllexport) HRESULT __stdcall CreateInterface(REFIID iid, void** out)
