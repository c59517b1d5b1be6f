#include "app/plugins/stream/stream_text.h"

#include <climits>
#include <cstring>

namespace omb {
namespace {

UINT CodePage(TextEncoding encoding) noexcept {
  return encoding == TextEncoding::kAnsi ? CP_ACP : CP_UTF8;
}

}  // namespace

bool ParseTextEncoding(const wchar_t* name, TextEncoding* out) noexcept {
  if (!name) return false;
  if (_wcsicmp(name, L"utf8") == 0) {
    *out = TextEncoding::kUtf8;
  } else if (_wcsicmp(name, L"unicode") == 0) {
    *out = TextEncoding::kUnicode;
  } else if (_wcsicmp(name, L"ansi") == 0) {
    *out = TextEncoding::kAnsi;
  } else {
    return false;
  }
  return true;
}

HRESULT EncodeText(const wchar_t* text, size_t length, TextEncoding encoding, std::string* out) {
  out->clear();
  if (encoding == TextEncoding::kUnicode) {
    out->resize((length + 1) * sizeof(wchar_t));  // zero-filled terminator included
    if (length) memcpy(out->data(), text, length * sizeof(wchar_t));
    return S_OK;
  }
  if (length == 0) return S_OK;
  if (length > INT_MAX) return E_OUTOFMEMORY;
  const UINT codePage = CodePage(encoding);
  const int wide = static_cast<int>(length);
  const int bytes = ::WideCharToMultiByte(codePage, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return E_INVALIDARG;
  const bool terminated = encoding == TextEncoding::kAnsi;
  out->resize(static_cast<size_t>(bytes) + (terminated ? 1 : 0));
  if (::WideCharToMultiByte(codePage, 0, text, wide, out->data(), bytes, nullptr, nullptr) != bytes)
    return E_FAIL;
  return S_OK;
}

HRESULT DecodeText(const BYTE* bytes, size_t count, TextEncoding encoding, std::wstring* out,
                   size_t* consumed) {
  out->clear();
  size_t n = count;
  while (n > 0 && bytes[n - 1] == 0) --n;
  if (encoding == TextEncoding::kUnicode) {
    if (n % 2 && n < count) ++n;
    out->assign(n / 2, L'\0');
    if (n / 2) memcpy(out->data(), bytes, (n / 2) * sizeof(wchar_t));
    *consumed = n;
    return S_OK;
  }
  *consumed = n;
  if (n == 0) return S_OK;
  if (n > INT_MAX) return E_OUTOFMEMORY;
  const UINT codePage = CodePage(encoding);
  const char* narrow = reinterpret_cast<const char*>(bytes);
  const int chars = ::MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(n), nullptr, 0);
  if (chars <= 0) return E_INVALIDARG;
  out->resize(static_cast<size_t>(chars));
  if (::MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(n), out->data(), chars) != chars)
    return E_FAIL;
  return S_OK;
}

}  // namespace omb
