// The plug-in "nettest" for the network end-to-end applications: trusts the
// run's test certificate authority in the current user's root store of the
// test prefix (and removes it again), and reports the machine facts an
// analytics hit carries, read straight from the platform.
#include <windows.h>
#include <wincrypt.h>

#include <span>
#include <string>
#include <vector>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

std::vector<BYTE> ReadWholeFile(const wchar_t* path) {
  omb::unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  std::vector<BYTE> bytes;
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 20)) return bytes;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
      read != bytes.size())
    bytes.clear();
  return bytes;
}

// Adds (add) or removes the DER certificate in the file at path.
bool ChangeRootStore(const wchar_t* path, bool add) {
  const std::vector<BYTE> der = ReadWholeFile(path);
  if (der.empty()) return false;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                   L"Root");
  if (!store) return false;
  bool done = false;
  if (add) {
    done = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                            static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  } else if (PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                                static_cast<DWORD>(der.size()))) {
    if (PCCERT_CONTEXT found =
            CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr))
      done = CertDeleteCertificateFromStore(found) != FALSE;  // frees found
    CertFreeCertificateContext(cert);
  }
  CertCloseStore(store, 0);
  return done;
}

class CNetTestPlugin : public omb::ComObject<CNetTestPlugin, OMB::IPluginImpl<CNetTestPlugin>,
                                             omb::DispatchTable<CNetTestPlugin>> {
 public:
  static constexpr const char* kClassName = "CNetTestPlugin";
  static std::span<const omb::DispMember<CNetTestPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore*, IUnknown*) noexcept override { return S_OK; }

  // trustRoot(derPath), untrustRoot(derPath) -> whether the store changed
  HRESULT TrustRoot(omb::DispCall& call) { return ChangeStore(call, true); }
  HRESULT UntrustRoot(omb::DispCall& call) { return ChangeStore(call, false); }

  // hitFacts() -> "<hardware profile GUID>|<language>|<country>|<width>|<height>"
  HRESULT HitFacts(omb::DispCall& call) {
    HW_PROFILE_INFOW profile = {};
    wchar_t language[16] = L"", country[16] = L"";
    if (!GetCurrentHwProfileW(&profile) ||
        !GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, 16) ||
        !GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, 16))
      return call.ReturnNull();
    const std::wstring facts = std::wstring(profile.szHwProfileGuid) + L"|" + language + L"|" +
                               country + L"|" + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) +
                               L"|" + std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
    return call.ReturnString(facts.c_str());
  }

 private:
  HRESULT ChangeStore(omb::DispCall& call, bool add) {
    const wchar_t* path = nullptr;
    OMB_RETURN_IF_FAILED(call.args.String(0, &path));
    return call.ReturnBool(ChangeRootStore(path, add));
  }
};

const omb::DispMember<CNetTestPlugin> kMembers[] = {
    {-10000, L"trustRoot", &CNetTestPlugin::TrustRoot},
    {-9999, L"untrustRoot", &CNetTestPlugin::UntrustRoot},
    {-9998, L"hitFacts", &CNetTestPlugin::HitFacts},
};

std::span<const omb::DispMember<CNetTestPlugin>> CNetTestPlugin::Members() noexcept {
  return kMembers;
}

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CNetTestPlugin>(iid, out, {L"nettest"});
}
