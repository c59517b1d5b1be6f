// The script-only page engine: an in-process stand-in for the platform's
// browser control where no HTML engine exists. The host creates it with
// this factory instead of CoCreateInstance(CLSID_WebBrowser) and drives it
// through the same container code (IOleObject, IWebBrowser2,
// DWebBrowserEvents2, ...). It must be created and used on one thread with
// COM (OLE) initialised, whose message loop the host runs.
#pragma once

// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

// Creates a new engine control and hands out the interface iid.
HRESULT CreatePageEngine(REFIID iid, void** out) noexcept;
