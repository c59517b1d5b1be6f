// The frame's look: caption shown or hidden (with the desktop compositor's
// frame where composition is on), resizing by border or by the page view's
// edges, and a window shape cut from a bitmap. Once a shape is set, the
// caption, resizing and size writes leave the window alone.
#include <dwmapi.h>

#include "app/plugins/window/window_logic.h"
#include "app/plugins/window/window_plugin.h"

namespace omb {
namespace {

constexpr COLORREF kCompositorKey = 0x563412;
constexpr UINT kRecomputeFrame = SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED;  // 0x23

using IsCompositionEnabledFn = HRESULT(WINAPI*)(BOOL*);
using ExtendFrameFn = HRESULT(WINAPI*)(HWND, const MARGINS*);

// The compositor library, looked up by name so the host also starts where it
// is missing.
struct Compositor {
  unique_hmodule library{LoadLibraryW(L"Dwmapi.dll")};
  IsCompositionEnabledFn isEnabled = nullptr;
  ExtendFrameFn extendFrame = nullptr;

  Compositor() noexcept {
    if (!library) return;
    isEnabled = reinterpret_cast<IsCompositionEnabledFn>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "DwmIsCompositionEnabled")));
    extendFrame = reinterpret_cast<ExtendFrameFn>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "DwmExtendFrameIntoClientArea")));
  }
  bool On() const noexcept {
    BOOL enabled = FALSE;
    return isEnabled && SUCCEEDED(isEnabled(&enabled)) && enabled;
  }
};

void AddDropShadow(HWND window) noexcept {
  const ULONG_PTR classStyle = GetClassLongPtrW(window, GCL_STYLE);
  SetClassLongPtrW(window, GCL_STYLE, static_cast<LONG_PTR>(classStyle | CS_DROPSHADOW));
}

void SetStyleBits(HWND window, LONG_PTR bits, bool on) noexcept {
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  SetWindowLongPtrW(window, GWL_STYLE, on ? style | bits : style & ~bits);
}

// 32-bit pixels (0x00RRGGBB), top row first, of a bitmap.
std::vector<uint32_t> PixelsOf(HBITMAP bitmap, LONG width, LONG height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != height) pixels.clear();
  return pixels;
}

unique_hrgn RegionOf(const std::vector<RECT>& runs) {
  const size_t bytes = sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT);
  std::vector<BYTE> buffer(bytes);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = static_cast<DWORD>(runs.size());
  data->rdh.nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  RECT bounds{0, 0, 0, 0};
  for (const RECT& r : runs) UnionRect(&bounds, &bounds, &r);
  data->rdh.rcBound = bounds;
  if (!runs.empty()) memcpy(data->Buffer, runs.data(), runs.size() * sizeof(RECT));
  return unique_hrgn(ExtCreateRegion(nullptr, static_cast<DWORD>(bytes), data));
}

}  // namespace

HRESULT CWindowPlugin::Caption(DispCall& call) {
  bool shown = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &shown));
  if (!shapeSet_) ApplyCaption(shown);
  return S_OK;
}

HRESULT CWindowPlugin::Resize(DispCall& call) {
  bool resizable = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &resizable));
  if (!shapeSet_) ApplyResize(resizable);
  return S_OK;
}

HRESULT CWindowPlugin::ShapeImage(DispCall& call) {
  const wchar_t* path = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &path));
  ApplyShapeImage(path);
  return S_OK;
}

void CWindowPlugin::ApplyCaption(bool shown) noexcept {
  if (Compositor().On()) {
    mainSubclass_.SetCaptionless(!shown);
    ApplyCompositorFrame(!shown);
    captionShown_ = shown;
    ApplyResize(resizable_);
    ::SetWindowPos(frame_, nullptr, 0, 0, 0, 0, kRecomputeFrame);
    return;
  }
  SetCaptionStyle(shown, false);
}

// Caption and sizing border as style bits; the one-pixel move makes the
// platform lay the frame out again. A shaped window always gets the plain
// drop shadow, composition or not.
void CWindowPlugin::SetCaptionStyle(bool shown, bool shadowOnly) noexcept {
  mainSubclass_.SetCaptionless(false);
  SetStyleBits(frame_, WS_CAPTION | WS_THICKFRAME, shown);
  const RECT r = FrameRect();
  MoveWindow(frame_, r.left, r.top, r.right - r.left, r.bottom - r.top + 1, FALSE);
  MoveWindow(frame_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  if (shadowOnly) AddDropShadow(frame_);
  else ApplyCompositorFrame(!shown);
  captionShown_ = shown;
  ApplyResize(resizable_);
  ::SetWindowPos(frame_, nullptr, 0, 0, 0, 0, kRecomputeFrame);
}

void CWindowPlugin::ApplyCompositorFrame(bool hideCaption) noexcept {
  const Compositor compositor;
  if (compositor.On() && compositor.extendFrame) {
    const LONG_PTR exStyle = GetWindowLongPtrW(frame_, GWL_EXSTYLE);
    SetWindowLongPtrW(frame_, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    SetLayeredWindowAttributes(frame_, kCompositorKey, 0, LWA_COLORKEY);
    const int m = hideCaption ? 1 : 0;
    const MARGINS margins{m, m, m, m};
    compositor.extendFrame(frame_, &margins);
  } else if (hideCaption) {
    AddDropShadow(frame_);
  }
}

void CWindowPlugin::ApplyResize(bool resizable) noexcept {
  if (shapeSet_) return;
  if (captionShown_) {
    browserSubclass_.SetEdgeResize(false);
    SetStyleBits(frame_, WS_THICKFRAME, resizable);
  } else {
    SetStyleBits(frame_, WS_THICKFRAME, false);
    browserSubclass_.SetEdgeResize(resizable);
  }
  resizable_ = resizable;
}

HRESULT CWindowPlugin::ResolvePath(const wchar_t* path, std::wstring* resolved) const noexcept {
  try {
    unique_bstr full;
    if (!core_ || !*path || FAILED(core_->ResolvePath(path, full.put())) || !full) {
      *resolved = path;
    } else {
      resolved->assign(full.get(), SysStringLen(full.get()));
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// White pixels of the bitmap become holes: the window is cut to the runs of
// the other pixels. The region is built before the frame changes, and the
// shape counts as set only once the frame took it.
void CWindowPlugin::ApplyShapeImage(const wchar_t* path) noexcept {
  std::wstring file;
  if (FAILED(ResolvePath(path, &file))) return;
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  unique_hbitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  if (!bitmap) return;
  BITMAP info{};
  if (!GetObjectW(bitmap.get(), sizeof(info), &info)) return;
  const LONG width = info.bmWidth;
  const LONG height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  unique_hrgn region;
  try {
    const std::vector<uint32_t> pixels = PixelsOf(bitmap.get(), width, height);
    if (pixels.empty()) return;
    region = RegionOf(OpaqueRuns(pixels.data(), width, height));
  } catch (...) {
    return;
  }
  if (!region) return;
  SetCaptionStyle(false, true);
  ApplyResize(false);
  ::SetWindowPos(frame_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  if (!SetWindowRgn(frame_, region.get(), TRUE)) return;
  region.release();  // the window owns it now
  shapeSet_ = true;
}

}  // namespace omb
