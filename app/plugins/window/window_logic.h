// Pure decisions of the window plug-in, kept apart from the platform calls so
// that they can be tested directly: the resize edges of a caption-less
// window, the rectangles a shape bitmap leaves opaque, and the words script
// uses for message boxes, file dialogs and taskbar progress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace omb {

// Width of the band along each side of the page view that resizes a
// caption-less window.
constexpr LONG kResizeEdge = 6;

// The hit-test code (HTLEFT ... HTBOTTOMRIGHT) for a point in the client
// coordinates of a view whose client rectangle is client, or 0 when the point
// is not within kResizeEdge of a side.
int EdgeHitTest(const RECT& client, POINT point) noexcept;

// The size direction (WMSZ_LEFT 1 ... WMSZ_BOTTOMRIGHT 8) for an edge hit-test
// code; 0 for any other code.
int SizeDirectionOfHitTest(int hitTest) noexcept;

// Rows of 0x00RRGGBB pixels, top row first. Every run of pixels that are not
// exactly white becomes one rectangle one pixel high.
std::vector<RECT> OpaqueRuns(const uint32_t* pixels, LONG width, LONG height);

// MessageBox style bits for the "type" and "icon" words (case-insensitive;
// null or unknown words keep the defaults).
UINT MessageBoxStyle(const wchar_t* type, const wchar_t* icon) noexcept;

// OPENFILENAME flags before the dialog adds its own explorer and sizing bits.
DWORD FileDialogFlags(bool multi, bool fileMustExist, bool overwritePrompt) noexcept;

// The taskbar progress state (TBPF_*) for a word, or none.
std::optional<int> ProgressStateOfWord(const wchar_t* word) noexcept;

}  // namespace omb
