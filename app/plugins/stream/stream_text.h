// Text as bytes for the stream's "readString" and "writeString": the three
// encodings script can name and the byte forms they take.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

enum class TextEncoding { kUtf8, kUnicode, kAnsi };

// The encoding named by script (compared case-insensitively): "utf8",
// "unicode" or "ansi". False for any other name.
bool ParseTextEncoding(const wchar_t* name, TextEncoding* out) noexcept;

// The bytes writeString stores: UTF-8 without terminator, UTF-16
// little-endian with a two-byte zero terminator, or the ANSI code page's
// bytes with their zero terminator. Empty text gives no bytes, except the
// terminator for kUnicode. Unpaired surrogates become U+FFFD in UTF-8.
HRESULT EncodeText(const wchar_t* text, size_t length, TextEncoding encoding, std::string* out);

// The bytes readString takes from a window of count bytes: trailing zero
// bytes are cut (for kUnicode the kept length is rounded up to even). Sets
// consumed to the byte count the position advances by and out to the text.
// Invalid UTF-8 sequences decode to U+FFFD.
HRESULT DecodeText(const BYTE* bytes, size_t count, TextEncoding encoding, std::wstring* out,
                   size_t* consumed);

}  // namespace omb
