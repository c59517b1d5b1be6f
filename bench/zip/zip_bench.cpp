// The zip bench's Windows side: builds or extracts an archive with the same
// reader, writer and extraction code as the "minizip" plug-in, and prints
// the time spent inside the process in milliseconds.
//
//   zip_bench zip FOLDER OUT.zip     every file and folder below FOLDER
//   zip_bench unzip ARCHIVE.zip DEST
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/core/walk.h"
#include "app/plugins/zip/zip_extract.h"
#include "app/plugins/zip/zip_writer.h"
#include "sdk/com.h"

namespace {

struct Item {
  std::wstring path;
  bool folder;
};

HRESULT Collect(void* data, const wchar_t* path, DWORD attributes, ULONGLONG) noexcept {
  static_cast<std::vector<Item>*>(data)->push_back({path, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  return S_OK;
}

HRESULT Zip(const std::wstring& folder, const std::wstring& out) {
  std::vector<Item> items;
  (void)WalkDirectory(folder.c_str(), nullptr, true, &Collect, &items);
  omb::unique_file file(CreateFileW(out.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return omb::HResultFromLastError();
  omb::zip::CZipWriter writer([&](uint64_t offset, const BYTE* data, size_t size) -> HRESULT {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr))
      return E_FAIL;
    return S_OK;
  });
  for (const Item& item : items) {
    std::wstring name = item.path.substr(folder.size() + 1);
    for (wchar_t& c : name)
      if (c == L'\\') c = L'/';
    if (item.folder) {
      OMB_RETURN_IF_FAILED(writer.AddFolder(name + L"/", FILETIME{}));
    } else {
      OMB_RETURN_IF_FAILED(writer.AddFile(name, item.path));
    }
  }
  return writer.Finish();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: zip_bench zip FOLDER OUT.zip | unzip ARCHIVE DEST\n");
    return 2;
  }
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const std::wstring mode = argv[1];
  const HRESULT hr = mode == L"zip" ? Zip(argv[2], argv[3])
                                    : omb::zip::ExtractArchiveFile(argv[2], 0, argv[3], true, nullptr);
  QueryPerformanceCounter(&end);
  printf("%.1f\n", 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
  if (FAILED(hr)) fprintf(stderr, "failed: %08lX\n", static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}
