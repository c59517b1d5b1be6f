#include "app/plugins/zip/zip_jobs.h"

#include <memory>
#include <new>
#include <string_view>

#include "app/core/job.h"
#include "app/core/walk.h"
#include "app/plugins/zip/zip_extract.h"
#include "app/plugins/zip/zip_writer.h"

namespace omb::zip {
namespace {

// Counts reach script as doubles: exact up to 2^53 bytes, and usable by
// script engines that cannot take 64-bit integer variants.
VARIANT ArgCount(uint64_t value) noexcept { return ArgDouble(static_cast<double>(value)); }

bool IsIntegerZero(const VARIANT& v) noexcept {
  switch (v.vt) {
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
      return v.lVal == 0;
    case VT_I2:
    case VT_UI2:
      return v.iVal == 0;
    default:
      return false;
  }
}

bool IsFalse(const VARIANT& v) noexcept { return v.vt == VT_BOOL && v.boolVal == VARIANT_FALSE; }

void CallFailWithContextFirst(IDispatch* fail, bool memoryForm, const VARIANT& context,
                              HRESULT hr) noexcept {
  if (!fail) return;
  if (memoryForm)
    (void)CallScript(fail, {ArgNull(), context}, ArgI4(hr));
  else
    (void)CallScript(fail, {context}, ArgI4(hr));
}

// Progress of an extraction, answered by the script's progress function.
class CScriptExtractEvents final : public IExtractEvents {
 public:
  explicit CScriptExtractEvents(CJob& job) : job_(job) {}

  // progress(name): the entry's name alone, without the context, so script
  // tells these calls from the per-block ones by their argument count.
  EntryChoice OnEntry(const std::wstring& name) override {
    if (job_.Stopping()) return EntryChoice::kAbort;
    IDispatch* progress = job_.Object(L"progress");
    if (!progress || FAILED(SetName(name))) return EntryChoice::kExtract;
    unique_variant answer;
    VARIANT argument = ArgString(name_.get());
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    (void)progress->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           answer.put(), nullptr, nullptr);
    if (IsFalse(*answer)) return EntryChoice::kAbort;
    if (IsIntegerZero(*answer)) return EntryChoice::kSkip;
    return EntryChoice::kExtract;
  }

  bool OnBlock(const std::wstring& name, uint64_t total, uint64_t processed) override {
    if (job_.Stopping()) return false;
    if (!job_.Has(L"progress") || FAILED(SetName(name))) return true;
    unique_variant answer;
    job_.Call(L"progress", {ArgString(name_.get()), ArgCount(total), ArgCount(processed)},
              answer.put());
    return !IsFalse(*answer);
  }

 private:
  HRESULT SetName(const std::wstring& name) {
    if (name_ && nameText_ == name) return S_OK;
    nameText_ = name;
    name_.reset(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
    return name_ ? S_OK : E_OUTOFMEMORY;
  }

  CJob& job_;
  std::wstring nameText_;
  unique_bstr name_;
};

HRESULT RunUnzip(CJob& job, const CUnzipRequest& request) {
  OMB_RETURN_IF_FAILED(request.setupResult);
  CScriptExtractEvents events(job);
  if (request.memoryForm)
    return ExtractArchive(request.bytes.data(), request.bytes.size(), request.dest,
                          request.overwrite, &events);
  return ExtractArchiveFile(request.source, request.index, request.dest, request.overwrite,
                            &events);
}

// One file or folder to put into the archive.
struct ZipItem {
  std::wstring root;
  std::wstring path;
  bool isFolder = false;
};

struct WalkState {
  const std::wstring* root;
  const std::wstring* skip;  // the output file, when it lies inside the tree
  std::vector<ZipItem>* items;
  uint64_t* total;
};

// path as the platform resolves it: full, with backslashes, without "." and
// ".." and without a trailing separator, so that two spellings of one file
// compare equal. (The platform leaves "\\?\" paths as they are.)
std::wstring FullPath(const std::wstring& path) {
  std::wstring full = path;
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size > 0) {
    full.assign(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    if (full.empty()) full = path;
  }
  for (wchar_t& c : full)
    if (c == L'/') c = L'\\';
  while (full.size() > 1 && full.back() == L'\\' && full[full.size() - 2] != L':') full.pop_back();
  return full;
}

// Two full paths (FullPath) name the same file when they differ only in case
// or in a "\\?\" prefix before a drive letter.
bool SamePath(const std::wstring& a, const std::wstring& b) noexcept {
  const auto key = [](const std::wstring& path) {
    const bool prefixed = path.size() > 6 && path.compare(0, 4, L"\\\\?\\") == 0 && path[5] == L':';
    return std::wstring_view(path).substr(prefixed ? 4 : 0);
  };
  const std::wstring_view x = key(a), y = key(b);
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

HRESULT RecordWalked(void* data, const wchar_t* path, DWORD attributes, ULONGLONG size) noexcept {
  auto* state = static_cast<WalkState*>(data);
  try {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && SamePath(path, *state->skip)) return S_OK;
    state->items->push_back(ZipItem{*state->root, path, folder});
    if (!folder) *state->total += size;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_ABORT;
  }
}

// sources and output are normalised (FullPath); an output inside a source
// folder is left out of the archive.
HRESULT CollectItems(const std::vector<std::wstring>& sources, const std::wstring& output,
                     std::vector<ZipItem>* items, uint64_t* total) {
  for (const std::wstring& source : sources) {
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return E_FAIL;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      const std::wstring& root = source;
      WalkState state{&root, &output, items, total};
      const HRESULT hr = WalkDirectory(root.c_str(), nullptr, true, &RecordWalked, &state);
      if (hr == E_ABORT) return E_OUTOFMEMORY;
      // E_FAIL alone means the folder is empty.
      if (FAILED(hr) && hr != E_FAIL) return hr;
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data)) return E_FAIL;
    *total += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    items->push_back(ZipItem{source, source, false});
  }
  return S_OK;
}

// The name inside the archive: the path below its root with '/' separators,
// a folder with '/' appended; a file that is its own root by its file name.
std::wstring ArchiveName(const ZipItem& item) {
  std::wstring name;
  if (item.path.size() > item.root.size()) {
    // A drive root ("C:\\") already ends with its separator.
    name = item.path.substr(item.root.size() + (item.root.back() == L'\\' ? 0 : 1));
  } else {
    const size_t slash = item.path.find_last_of(L"\\/");
    name = slash == std::wstring::npos ? item.path : item.path.substr(slash + 1);
  }
  for (wchar_t& c : name)
    if (c == L'\\') c = L'/';
  if (item.isFolder) name += L'/';
  return name;
}

FILETIME LastWriteTime(const std::wstring& path) noexcept {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
  return data.ftLastWriteTime;
}

class CZipBuild {
 public:
  CZipBuild(CJob& job, const CZipRequest& request) : job_(job), request_(request) {}

  HRESULT Run() {
    OMB_RETURN_IF_FAILED(request_.setupResult);
    // Before the output is opened, which would empty a source that is the
    // output itself.
    OMB_RETURN_IF_FAILED(NormalisePaths());
    OMB_RETURN_IF_FAILED(OpenOutput());
    HRESULT hr = Build();
    if (FAILED(hr) && createdFile_) {
      file_.reset();
      DeleteFileW(request_.destPath.c_str());
    }
    return hr;
  }

 private:
  HRESULT NormalisePaths() {
    if (!request_.destPath.empty()) output_ = FullPath(request_.destPath);
    sources_.reserve(request_.sources.size());
    for (const std::wstring& source : request_.sources) {
      sources_.push_back(FullPath(source));
      if (!output_.empty() && SamePath(sources_.back(), output_)) return E_INVALIDARG;
    }
    return S_OK;
  }

  HRESULT OpenOutput() {
    if (request_.destPath.empty()) return request_.destStream ? S_OK : E_FAIL;
    file_.reset(CreateFileW(request_.destPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, request_.overwrite ? CREATE_ALWAYS : CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return HResultFromLastError();
    createdFile_ = true;
    return S_OK;
  }

  HRESULT Build() {
    std::vector<ZipItem> items;
    OMB_RETURN_IF_FAILED(CollectItems(sources_, output_, &items, &total_));
    CZipWriter writer([this](uint64_t offset, const BYTE* data, size_t size) {
      return WriteBlock(offset, data, size);
    });
    writer_ = &writer;
    for (const ZipItem& item : items) {
      if (item.isFolder && item.path.size() <= item.root.size()) continue;
      OMB_RETURN_IF_FAILED(SetProcessing(item.path));
      const std::wstring name = ArchiveName(item);
      OMB_RETURN_IF_FAILED(item.isFolder ? writer.AddFolder(name, LastWriteTime(item.path))
                                         : writer.AddFile(name, item.path));
    }
    OMB_RETURN_IF_FAILED(writer.Finish());
    // The output holds exactly the archive: bytes it held before are cut.
    if (file_ && !SetEndOfFile(file_.get())) return HResultFromLastError();
    if (!file_) OMB_RETURN_IF_FAILED(request_.destStream->SetSize(writer.ArchiveBytes()));
    return S_OK;
  }

  HRESULT SetProcessing(const std::wstring& path) {
    processing_.reset(SysAllocStringLen(path.data(), static_cast<UINT>(path.size())));
    return processing_ ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT WriteBlock(uint64_t offset, const BYTE* data, size_t size) {
    if (job_.Stopping()) return E_ABORT;
    OMB_RETURN_IF_FAILED(WriteOutput(offset, data, size));
    if (!job_.Has(L"progress")) return S_OK;
    unique_variant answer;
    job_.Call(L"progress",
              {ArgString(processing_.get()), ArgCount(total_), ArgCount(writer_->SourceBytesDone())},
              answer.put());
    return IsFalse(*answer) ? E_ABORT : S_OK;
  }

  HRESULT WriteOutput(uint64_t offset, const BYTE* data, size_t size) {
    if (file_) {
      LARGE_INTEGER at;
      at.QuadPart = static_cast<LONGLONG>(offset);
      DWORD written = 0;
      if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) ||
          !WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
          written != size)
        return E_FAIL;
      return S_OK;
    }
    OMB_RETURN_IF_FAILED(request_.destStream->Seek(static_cast<LONGLONG>(offset), 0, nullptr));
    ULONG written = 0;
    OMB_RETURN_IF_FAILED(request_.destStream->Write(data, static_cast<ULONG>(size), &written));
    return written == size ? S_OK : E_FAIL;
  }

  CJob& job_;
  const CZipRequest& request_;
  std::wstring output_;  // normalised; empty for a stream
  std::vector<std::wstring> sources_;  // normalised
  unique_file file_;
  bool createdFile_ = false;
  uint64_t total_ = 0;
  unique_bstr processing_;
  CZipWriter* writer_ = nullptr;
};

}  // namespace

HRESULT ReadSources(IDispatch* options, const std::function<std::wstring(const wchar_t*)>& resolve,
                    std::vector<std::wstring>* sources) {
  unique_variant src;
  ReadMember(options, L"src", src.put());
  // An empty path would resolve to the page's own folder.
  if (src.vt() == VT_BSTR) {
    if (SysStringLen(src->bstrVal) == 0) return E_INVALIDARG;
    sources->push_back(resolve(src->bstrVal));
    return S_OK;
  }
  if (src.vt() != VT_DISPATCH || !src->pdispVal) return E_FAIL;
  std::optional<LONG> length = OptionNumber(src->pdispVal, L"length");
  if (!length || *length < 0) return E_FAIL;
  for (LONG i = 0; i < *length; ++i) {
    unique_variant element;
    ReadMember(src->pdispVal, std::to_wstring(i).c_str(), element.put());
    if (element.vt() != VT_BSTR) return E_FAIL;
    if (SysStringLen(element->bstrVal) == 0) return E_INVALIDARG;
    sources->push_back(resolve(element->bstrVal));
  }
  return S_OK;
}

void ReportUnzipFailure(const CScriptCallbacks& callbacks, bool memoryForm, HRESULT hr) noexcept {
  CallFailWithContextFirst(callbacks.Get(L"fail"), memoryForm, callbacks.Context(), hr);
}

HRESULT StartUnzipJob(const CScriptCallbacks& callbacks, IUnknown* owner,
                      CUnzipRequest request) noexcept {
  try {
    auto shared = std::make_shared<CUnzipRequest>(std::move(request));
    return StartJob(callbacks, owner, [shared](CJob& job) {
      const HRESULT hr = RunUnzip(job, *shared);
      if (SUCCEEDED(hr))
        job.Call(L"success", {});
      else if (job.Has(L"fail"))
        CallFailWithContextFirst(job.Object(L"fail"), shared->memoryForm, job.Context(), hr);
    });
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT StartZipJob(const CScriptCallbacks& callbacks, IUnknown* owner, CZipRequest request) noexcept {
  try {
    auto shared = std::make_shared<CZipRequest>(std::move(request));
    return StartJob(callbacks, owner, [shared](CJob& job) {
      const HRESULT hr = CZipBuild(job, *shared).Run();
      if (SUCCEEDED(hr))
        job.Call(L"success", {});
      else
        job.Call(L"fail", {ArgI4(hr)});
    });
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb::zip
