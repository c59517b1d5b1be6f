// The plug-in "nettest" for the network end-to-end applications: reports the
// machine facts an analytics hit carries, read straight from the platform.
// The library also trusts a run's test certificate authority in the current
// user's root store of the test prefix, and removes it again, before and
// after the host runs (Wine reads that store once per process):
//   rundll32 nettest.dll,TrustRoot <DER file>
//   rundll32 nettest.dll,UntrustRoot <DER file>
// exit with 0 when the store changed.
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
    if (PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                          CERT_FIND_EXISTING, cert, nullptr))
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

  // hitFacts() -> "<hardware profile GUID, or nothing when the platform has
  // none>|<machine GUID>|<language>|<country>|<width>|<height>"
  HRESULT HitFacts(omb::DispCall& call) {
    HW_PROFILE_INFOW profile = {};
    if (!GetCurrentHwProfileW(&profile)) profile.szHwProfileGuid[0] = L'\0';
    wchar_t machine[64] = L"";
    DWORD size = sizeof(machine) - sizeof(wchar_t);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                 RRF_RT_REG_SZ, nullptr, machine, &size);
    wchar_t language[16] = L"", country[16] = L"";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, 16);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, 16);
    const std::wstring facts = std::wstring(profile.szHwProfileGuid) + L"|" + machine + L"|" +
                               language + L"|" + country + L"|" +
                               std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"|" +
                               std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
    return call.ReturnString(facts.c_str());
  }

};

const omb::DispMember<CNetTestPlugin> kMembers[] = {
    {-10000, L"hitFacts", &CNetTestPlugin::HitFacts},
};

std::span<const omb::DispMember<CNetTestPlugin>> CNetTestPlugin::Members() noexcept {
  return kMembers;
}

}  // namespace

extern "C" __declspec(dllexport) void CALLBACK TrustRootW(HWND, HINSTANCE, LPWSTR path, int) {
  ExitProcess(ChangeRootStore(path, true) ? 0 : 1);
}
extern "C" __declspec(dllexport) void CALLBACK UntrustRootW(HWND, HINSTANCE, LPWSTR path, int) {
  ExitProcess(ChangeRootStore(path, false) ? 0 : 1);
}

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CNetTestPlugin>(iid, out, {L"nettest"});
}
