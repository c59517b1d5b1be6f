// Messages between Ombrel windows: the "msg" object of the window plug-in,
// the private frame messages it relies on, and unique (named) windows.
//
// A message travels synchronously: the sender writes the message name and
// payload into a named shared-memory block ("Ombrel_MsgMap_<pid>_<hwnd>")
// and sends MSG_DELIVER to the receiving frame, which reads the block while
// the sender waits. This works within one process and across processes.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace omb {

// Private messages handled by the frame window's subclass.
constexpr UINT MSG_SHOW_WINDOW = 0x0BD0;
constexpr UINT MSG_DELIVER = 0x0BD1;

// How long a sender waits for a receiver that is alive but slow. A receiver
// that has stopped taking messages is not waited for at all.
constexpr UINT kSendTimeoutMs = 30000;

// Sends a private message to another frame without hanging on it: false when
// the receiver does not answer (hung, gone or past the bound).
bool SendPrivateMessage(HWND receiver, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT* answer) noexcept;

// Creates the window plug-in's "msg" member object for this frame.
HRESULT CreateMsgDispatch(HWND frame, IDispatch** out);
// Handles MSG_DELIVER sent to this frame.
LRESULT DeliverMessage(HWND frame, WPARAM wParam, LPARAM lParam);
// Handles MSG_SHOW_WINDOW sent to this frame (show command: normal).
void OnShowWindowMessage(HWND frame);
// Handles MSG_SHOW_WINDOW with the show command of its second parameter.
void OnShowWindowMessage(HWND frame, LPARAM showCommand);
// Claims the name for this frame: *unique is false when another window holds
// it. The claim stays until the next claim or ReleaseFrameMessages.
HRESULT IsUniqueWindow(HWND frame, const wchar_t* name, bool* unique);
// Brings the window holding this name to the front.
HRESULT ShowExistedWindow(const wchar_t* name, bool* shown);
// As above for the name this frame last claimed, only when that claim found
// another holder (false otherwise).
HRESULT ShowExistedWindow(HWND frame, bool* shown);
// Lets other processes (also of other integrity levels) send the two
// private messages; call once when the frame is subclassed.
void AllowPrivateMessages();
// Drops everything kept for this frame: message handlers, its unique id and
// its claimed name's mutex, and removes its marker properties. The window
// plug-in calls it when it is destroyed.
void ReleaseFrameMessages(HWND frame);
// Removes the marker properties set on this frame (ids and claimed name);
// called when the frame is destroyed.
void RemoveFrameMarkers(HWND frame) noexcept;

// Marker properties ------------------------------------------------------

// Sets a marker property on the frame, unless the frame already has a
// property of that name with another value (one the platform or another
// component keeps there, which must not be overwritten).
bool SetMarkerProperty(HWND frame, const wchar_t* name, ULONG_PTR value) noexcept;
// Removes the property when it still holds the marker value.
void RemoveMarkerProperty(HWND frame, const wchar_t* name, ULONG_PTR value) noexcept;

// The message block ------------------------------------------------------

// Name of the block a process sends to a receiving frame.
std::wstring MessageBlockName(DWORD senderProcessId, HWND receiver);

// Builds the block: name, NUL, payload (NULs kept), NUL; all zero-filled.
// E_FAIL when the size would not fit in 32 bits.
HRESULT BuildMessageBlock(const wchar_t* name, size_t nameLength, const wchar_t* payload,
                          size_t payloadLength, std::vector<wchar_t>* block);

// Reads a block of size bytes without looking past it. E_FAIL for a size
// below 4 or odd, an empty name or a name without its NUL inside the block.
HRESULT ParseMessageBlock(const void* block, size_t size, std::wstring* name,
                          std::wstring* payload);

}  // namespace omb
