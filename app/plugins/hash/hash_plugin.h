// "hash": incremental message digests computed by the platform's CryptoAPI.
//
// Each member of the plug-in ("sha1", "md4", "md5", "sha256") hands script a
// new digest object. Its "addData" feeds the UTF-8 bytes of a text (up to the
// first NUL character) or every byte of a stream object, and "finish" answers
// the digest as upper-case hexadecimal. MD4, MD5 and SHA-1 come from the base
// provider, SHA-256 from the AES-capable one.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

namespace detail {
inline void ReleaseProviderFn(HCRYPTPROV h) noexcept { ::CryptReleaseContext(h, 0); }
inline void DestroyHashFn(HCRYPTHASH h) noexcept { ::CryptDestroyHash(h); }
}  // namespace detail
using unique_hcryptprov = unique_any<HCRYPTPROV, detail::ReleaseProviderFn>;
using unique_hcrypthash = unique_any<HCRYPTHASH, detail::DestroyHashFn>;

// The digest objects' dispatch base: a provider and a hash of one algorithm.
class CHashBase : public ComObject<CHashBase, DispatchTable<CHashBase>> {
 public:
  static constexpr const char* kClassName = "CHashBase";
  static constexpr bool kTraceUnknownNames = false;
  static std::span<const DispMember<CHashBase>> Members() noexcept;

  // Upper-case hexadecimal, two digits per byte, in order.
  static std::wstring Hex(const BYTE* bytes, size_t count);

  // Feeds the UTF-8 form of text up to its first NUL character; a failing
  // platform call is ignored. Does nothing once finished.
  void AddText(const wchar_t* text, size_t length) noexcept;
  // Feeds count bytes; does nothing once finished.
  void AddBytes(const BYTE* bytes, ULONGLONG count) noexcept;
  // The digest; the platform hash is finalised on the first call, later
  // calls answer the same text. Empty when the platform hash is missing.
  const std::wstring& Digest();

  // Script members.
  HRESULT AddData(DispCall& call);
  HRESULT Finish(DispCall& call);

 protected:
  explicit CHashBase(ALG_ID algorithm) noexcept;

 private:
  unique_hcryptprov provider_;
  unique_hcrypthash hash_;
  bool finished_ = false;
  std::wstring digest_;
};

// A digest object of one CryptoAPI algorithm.
template <ALG_ID Algorithm>
class CHash final : public CHashBase {
 public:
  CHash() noexcept : CHashBase(Algorithm) {}
};

class CHashPlugin : public ComObject<CHashPlugin, OMB::IPluginImpl<CHashPlugin>,
                                     DispatchTable<CHashPlugin>> {
 public:
  static constexpr const char* kClassName = "CHashPlugin";
  static constexpr bool kTraceUnknownNames = false;
  static constexpr HRESULT kUnknownMemberResult = DISP_E_UNKNOWNNAME;
  static std::span<const DispMember<CHashPlugin>> Members() noexcept;

  HRESULT Sha1(DispCall& call) { return NewDigest<CALG_SHA1>(call); }
  HRESULT Md4(DispCall& call) { return NewDigest<CALG_MD4>(call); }
  HRESULT Md5(DispCall& call) { return NewDigest<CALG_MD5>(call); }
  HRESULT Sha256(DispCall& call) { return NewDigest<CALG_SHA_256>(call); }

 private:
  // Whatever the flags and arguments: a new digest object, or E_NOTIMPL and
  // nothing when the caller wants no result.
  template <ALG_ID Algorithm>
  HRESULT NewDigest(DispCall& call) {
    if (!call.WantsResult()) return E_NOTIMPL;
    ComPtr<CHash<Algorithm>> digest = Make<CHash<Algorithm>>();
    if (!digest) return E_OUTOFMEMORY;
    return call.ReturnDispatch(digest.Get());
  }
};

}  // namespace omb
