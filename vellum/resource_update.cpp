#include "vellum/resource_update.h"

#include <algorithm>
#include <new>
#include <vector>

#include "sdk/com.h"
#include "vellum/icon_file.h"
#include "vellum/pe_overlay.h"
#include "vellum/version_block.h"

namespace vellum {

namespace {

// The icon language when the executable reports none.
constexpr LANGID kDefaultIconLanguage = 9;
// Language and code page of a version block made for a file that has none.
constexpr WORD kNewBlockLanguage = 0x0409;
constexpr WORD kNewBlockCodePage = 1200;

// What the executable holds before the update.
struct ModuleFacts {
  bool loaded = false;                         // the file loads as a module
  WORD oldIconCount = 0;                       // images of the group being replaced
  std::vector<LANGID> groupLanguages;          // of that group
  LANGID iconLanguage = kDefaultIconLanguage;  // last language of icon 1
  std::vector<LANGID> versionLanguages;        // of version resource 1
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) noexcept {
  try {
    reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

std::vector<LANGID> Languages(HMODULE module, LPCWSTR type, WORD id) {
  std::vector<LANGID> out;
  ::EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&out));
  return out;
}

// Loads the executable as a data file (no code runs, and a file of the other
// width loads too) and reads its icon group, icon 1's language and the
// version resource's languages. Fails, with the platform's result, when the
// file does not load or has no icon resource 1.
HRESULT ReadModuleFacts(const wchar_t* path, WORD iconId, ModuleFacts* facts) {
  omb::unique_hmodule module(::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return omb::HResultFromLastError();
  facts->loaded = true;
  if (HRSRC group = ::FindResourceW(module.get(), MAKEINTRESOURCEW(iconId), RT_GROUP_ICON)) {
    const DWORD size = ::SizeofResource(module.get(), group);
    HGLOBAL loaded = ::LoadResource(module.get(), group);
    const auto* data = static_cast<const BYTE*>(loaded ? ::LockResource(loaded) : nullptr);
    // The count, but no more entries than the group's data holds.
    if (data && size >= 6)
      facts->oldIconCount = static_cast<WORD>(std::min<DWORD>(data[4] | (data[5] << 8), (size - 6) / 14));
    facts->groupLanguages = Languages(module.get(), RT_GROUP_ICON, iconId);
  }
  facts->versionLanguages = Languages(module.get(), RT_VERSION, 1);
  std::vector<LANGID> icon;
  if (!::EnumResourceLanguagesW(module.get(), RT_ICON, MAKEINTRESOURCEW(1), CollectLanguage,
                                reinterpret_cast<LONG_PTR>(&icon)))
    return omb::HResultFromLastError();
  if (!icon.empty()) facts->iconLanguage = icon.back();
  return S_OK;
}

// The language to write a resource under: the preferred one when the
// resource exists in it, else the one it exists in, so the update replaces
// the resource instead of adding a second copy in another language.
LANGID ChooseLanguage(const std::vector<LANGID>& existing, LANGID preferred) noexcept {
  if (existing.empty() || std::find(existing.begin(), existing.end(), preferred) != existing.end())
    return preferred;
  return existing.front();
}

// Applies the request's version fields to the block: the fixed words of
// both versions (empty text sets them to 0) and every given string value.
HRESULT ApplyVersionFields(const UpdateRequest& request, CVersionBlock* block) {
  const std::pair<VersionField, bool> fixed[] = {{kFileVersion, false}, {kProductVersion, true}};
  for (const auto& [field, product] : fixed) {
    if (!request.fields[field]) continue;
    DWORD high = 0, low = 0;
    if (!request.fields[field]->empty()) ParseVersionNumbers(*request.fields[field], &high, &low);
    OMB_RETURN_IF_FAILED(block->SetFixedVersion(product, high, low));
  }
  for (int field = 0; field < kFieldCount; ++field) {
    if (request.fields[field])
      OMB_RETURN_IF_FAILED(
          block->SetString(FieldValueName(static_cast<VersionField>(field)), *request.fields[field]));
  }
  return S_OK;
}

// Reads the executable's version block, or starts a new one when it has
// none (and only then: a block the platform cannot read is a failure, not a
// reason to replace it), and applies the request. *language is the language the block is to
// be written under.
HRESULT BuildVersionBlock(const wchar_t* path, const UpdateRequest& request, const ModuleFacts& facts,
                          std::vector<BYTE>* out, LANGID* language) {
  CVersionBlock block;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) {
    const HRESULT missing = omb::HResultFromLastError();
    if (!facts.loaded || !facts.versionLanguages.empty()) return FAILED(missing) ? missing : E_FAIL;
    block.InitNew(kNewBlockLanguage, kNewBlockCodePage);
  } else {
    std::vector<BYTE> buffer(size);
    if (!::GetFileVersionInfoW(path, 0, size, buffer.data())) return omb::HResultFromLastError();
    // The block's first word is its length; the platform may return more.
    const size_t length = std::min<size_t>(size, size >= 2 ? buffer[0] | (buffer[1] << 8) : 0);
    OMB_RETURN_IF_FAILED(block.Parse({buffer.data(), length}));
  }
  const std::optional<Translation> translation = block.FirstTranslation();
  *language = ChooseLanguage(facts.versionLanguages, translation ? translation->language : kNewBlockLanguage);
  OMB_RETURN_IF_FAILED(ApplyVersionFields(request, &block));
  return block.Write(out);
}

HRESULT Update(const wchar_t* path, const UpdateRequest& request) {
  // Everything is read and checked before the file is opened for update.
  ModuleFacts facts;
  const HRESULT factsResult = ReadModuleFacts(path, request.iconId, &facts);
  IconResources icon;
  if (request.iconPath) {
    OMB_RETURN_IF_FAILED(factsResult);
    OMB_RETURN_IF_FAILED(ReadIconFile(request.iconPath->c_str(), &icon));
  }
  std::vector<BYTE> version;
  LANGID versionLanguage = 0;
  if (request.HasVersionChanges())
    OMB_RETURN_IF_FAILED(BuildVersionBlock(path, request, facts, &version, &versionLanguage));

  COverlay overlay;
  OMB_RETURN_IF_FAILED(overlay.Save(path));

  HANDLE update = ::BeginUpdateResourceW(path, FALSE);
  if (!update) return omb::HResultFromLastError();
  HRESULT result = S_OK;
  auto note = [&result](BOOL ok) {
    if (!ok) result = omb::HResultFromLastError();
    return ok;
  };
  if (!icon.images.empty()) {
    const LANGID language = facts.iconLanguage;
    if (note(::UpdateResourceW(update, RT_GROUP_ICON, MAKEINTRESOURCEW(request.iconId),
                               ChooseLanguage(facts.groupLanguages, language), icon.group.data(),
                               static_cast<DWORD>(icon.group.size())))) {
      for (size_t i = 0; i < icon.images.size(); ++i) {
        const std::span<const BYTE> image = icon.Image(i);
        note(::UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(i + 1), language,
                               const_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size())));
      }
      // Images of the old group beyond the new count are deleted; a failure
      // here leaves an unused image behind and is not reported.
      for (size_t id = icon.images.size() + 1; id <= facts.oldIconCount; ++id)
        ::UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(id), language, nullptr, 0);
    }
  }
  if (!version.empty())
    note(::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), versionLanguage, version.data(),
                           static_cast<DWORD>(version.size())));
  // A commit that fails writes nothing: that is the update's result.
  if (!::EndUpdateResourceW(update, FALSE)) result = omb::HResultFromLastError();
  const HRESULT restored = overlay.Restore(path);
  return FAILED(restored) ? restored : result;
}

}  // namespace

const wchar_t* FieldValueName(VersionField field) noexcept {
  static constexpr const wchar_t* kNames[kFieldCount] = {L"ProductName",     L"ProductVersion",
                                                         L"FileVersion",     L"InternalName",
                                                         L"FileDescription", L"LegalCopyright"};
  return kNames[field];
}

HRESULT UpdateExecutable(const wchar_t* path, const UpdateRequest& request) noexcept {
  try {
    return Update(path, request);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

bool UpdateRequest::HasVersionChanges() const noexcept {
  return std::any_of(std::begin(fields), std::end(fields), [](const auto& f) { return f.has_value(); });
}

}  // namespace vellum
