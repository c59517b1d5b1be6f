// Reading platform text whose length is not known in advance.
//
// Platform calls that fill a caller's buffer come in two kinds: those that
// report the size they need when the buffer is too small (environment
// variables, environment expansion), and those that silently cut the text to
// the buffer (shell-link paths and arguments, INI values). Both readers start
// with the customary buffer size and grow it until the whole text fits, so a
// long value is never answered cut short.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

namespace omb {

// read(buffer, capacity) answers 0 on failure, the size it needs (terminator
// included) when that is more than capacity, and otherwise anything up to
// capacity with the terminated text in buffer. False when the call fails or
// the text keeps outgrowing the buffer.
template <class Read>
bool ReadReportedSize(Read read, DWORD capacity, std::wstring* out) {
  for (int attempt = 0; attempt < 8 && capacity > 0; ++attempt) {
    std::wstring buffer(capacity, L'\0');
    const DWORD n = read(buffer.data(), capacity);
    if (n == 0) return false;
    if (n <= capacity) {
      buffer.resize(wcsnlen(buffer.data(), capacity));
      *out = std::move(buffer);
      return true;
    }
    capacity = n;
  }
  return false;
}

// read(buffer, capacity) answers an HRESULT and leaves terminated text, cut to
// the buffer, in buffer. A text that fills the buffer may have been cut, so
// the call is repeated with twice the room, up to limit characters.
template <class Read>
HRESULT ReadCutText(Read read, DWORD capacity, DWORD limit, std::wstring* out) {
  for (;;) {
    std::wstring buffer(capacity, L'\0');
    const HRESULT hr = read(buffer.data(), capacity);
    if (FAILED(hr)) return hr;
    const size_t length = wcsnlen(buffer.data(), capacity);
    if (length + 1 < capacity || capacity >= limit) {
      buffer.resize(length < capacity ? length : capacity - 1);
      *out = std::move(buffer);
      return hr;
    }
    capacity = capacity > limit / 2 ? limit : capacity * 2;
  }
}

}  // namespace omb
