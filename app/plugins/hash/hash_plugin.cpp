#include "app/plugins/hash/hash_plugin.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>

#include "app/core/plugin_registry.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"hash", CHashPlugin, 0);

namespace {

// Platform calls take at most this many bytes; text is converted in pieces
// whose UTF-8 form (at most three bytes per UTF-16 unit) fits.
constexpr ULONG kBlockSize = 65536;
constexpr size_t kTextPiece = kBlockSize / 4;

const DispMember<CHashPlugin> kPluginMembers[] = {
    {-6999, L"sha1", &CHashPlugin::Sha1},
    {-6998, L"md4", &CHashPlugin::Md4},
    {-6997, L"md5", &CHashPlugin::Md5},
    {-6996, L"sha256", &CHashPlugin::Sha256},
};

const DispMember<CHashBase> kDigestMembers[] = {
    {-6999, L"addData", &CHashBase::AddData},
    {-6998, L"finish", &CHashBase::Finish},
};

bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }

// The UTF-8 form of count units into buffer (size bytes, at least three per
// unit); its length, or 0. ASCII, the common case, is narrowed here, which
// is several times faster than the platform's conversion; anything else is
// left to the platform.
int ToUtf8(const wchar_t* text, size_t count, char* buffer, size_t size) noexcept {
  wchar_t any = 0;
  for (size_t i = 0; i < count; ++i) {
    any |= text[i];
    buffer[i] = static_cast<char>(text[i]);
  }
  if (any < 0x80) return static_cast<int>(count);
  return ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), buffer,
                               static_cast<int>(size), nullptr, nullptr);
}

}  // namespace

std::span<const DispMember<CHashPlugin>> CHashPlugin::Members() noexcept { return kPluginMembers; }
std::span<const DispMember<CHashBase>> CHashBase::Members() noexcept { return kDigestMembers; }

// Creation failures are not reported: such an object digests nothing and
// finishes with an empty text.
CHashBase::CHashBase(ALG_ID algorithm) noexcept {
  const bool aes = algorithm == CALG_SHA_256;
  if (!::CryptAcquireContextW(provider_.put(), nullptr, aes ? nullptr : MS_DEF_PROV_W,
                              aes ? PROV_RSA_AES : PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return;
  (void)::CryptCreateHash(provider_.get(), algorithm, 0, 0, hash_.put());
}

std::wstring CHashBase::Hex(const BYTE* bytes, size_t count) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text(count * 2, L'0');
  for (size_t i = 0; i < count; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void CHashBase::AddBytes(const BYTE* bytes, ULONGLONG count) noexcept {
  if (finished_ || !hash_ || !bytes) return;
  while (count > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<ULONGLONG>(count, kBlockSize));
    (void)::CryptHashData(hash_.get(), bytes, piece, 0);
    bytes += piece;
    count -= piece;
  }
}

void CHashBase::AddText(const wchar_t* text, size_t length) noexcept {
  if (finished_ || !hash_ || !text) return;
  if (const wchar_t* nul = std::wmemchr(text, L'\0', length)) length = nul - text;
  if (length == 0) return;
  const size_t bufferSize = std::min(length, kTextPiece) * 3;
  const std::unique_ptr<char[]> utf8(new (std::nothrow) char[bufferSize]);
  if (!utf8) return;
  for (size_t done = 0; done < length;) {
    size_t piece = std::min(length - done, kTextPiece);
    // A surrogate pair is converted whole, never split between pieces.
    if (done + piece < length && piece > 1 && IsHighSurrogate(text[done + piece - 1])) --piece;
    const int bytes = ToUtf8(text + done, piece, utf8.get(), bufferSize);
    if (bytes > 0) (void)::CryptHashData(hash_.get(), reinterpret_cast<const BYTE*>(utf8.get()),
                                         static_cast<DWORD>(bytes), 0);
    done += piece;
  }
}

const std::wstring& CHashBase::Digest() {
  if (finished_) return digest_;
  finished_ = true;
  if (!hash_) return digest_;
  DWORD size = 0;
  DWORD sizeLength = sizeof(size);
  if (!::CryptGetHashParam(hash_.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength,
                           0) ||
      size == 0 || size > 64)
    return digest_;
  BYTE value[64];
  if (!::CryptGetHashParam(hash_.get(), HP_HASHVAL, value, &size, 0)) return digest_;
  digest_ = Hex(value, size);
  return digest_;
}

// addData(text) or addData(stream): with any other argument count nothing
// happens; the object itself is answered so calls can be chained.
HRESULT CHashBase::AddData(DispCall& call) {
  if (call.args.Count() != 1) return S_OK;
  const VARIANT& arg = call.args[0];
  if (arg.vt == VT_BSTR) {
    AddText(arg.bstrVal ? arg.bstrVal : L"", ::SysStringLen(arg.bstrVal));
  } else {
    ComPtr<OMB::IStream> stream;
    if (arg.vt != VT_DISPATCH || !arg.pdispVal ||
        FAILED(arg.pdispVal->QueryInterface(IID_PPV_ARGS(&stream))))
      return E_FAIL;
    // The whole content, wherever the stream's position is.
    AddBytes(stream->GetBuffer(), stream->GetSize());
  }
  return call.ReturnDispatch(static_cast<IDispatch*>(this));
}

HRESULT CHashBase::Finish(DispCall& call) {
  if (!call.WantsResult()) return E_FAIL;
  const std::wstring& digest = Digest();
  return call.ReturnString(digest.c_str(), static_cast<UINT>(digest.size()));
}

}  // namespace omb
