// The calls bench's floor: the platform's script engine calling minimal host
// objects of our own, one per call form, each answering the one member that
// form calls (bench/script_floor.h). It runs the bench's loops unchanged:
//
//   calls_floor <loops.js> <n>
//
// and prints the same "calls-sample ..." line as the host's bench page.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/script_floor.h"

namespace {

// out.print(text): the sample line, UTF-8, to standard output.
void Print(const DISPPARAMS* params) {
  if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) return;
  const BSTR text = params->rgvarg[0].bstrVal;
  const int length = static_cast<int>(SysStringLen(text));
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string line(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, line.data(), bytes, nullptr, nullptr);
  line += '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

bool ReadUtf8File(const wchar_t* path, std::wstring* text) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
  text->assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text->data(), length);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: calls_floor <loops.js> <n>\n");
    return 2;
  }
  std::wstring code;
  if (!ReadUtf8File(argv[1], &code)) {
    std::fprintf(stderr, "calls_floor: cannot read the loops\n");
    return 2;
  }
  const long n = std::wcstol(argv[2], nullptr, 10);
  code += L"\nout.print(runCalls({read: fRead, method: fMethod, argsMethod: fArgsMethod, string: fString,"
          L" envString: fEnvString, object: fObject}, " +
          std::to_wstring(n) + L"));\n";

  if (FAILED(OleInitialize(nullptr))) return 3;
  bool ran = false;
  {
    using bench::MinimalObject;
    bench::FloorSite site;
    const struct {
      const wchar_t* item;
      MinimalObject* object;
    } items[] = {
        {L"fRead", new MinimalObject(L"isX64Process", MinimalObject::kReturnsTrue)},
        {L"fMethod", new MinimalObject(L"isVisible", MinimalObject::kReturnsTrue)},
        {L"fArgsMethod", new MinimalObject(L"getOrgArgsCount", MinimalObject::kReturnsTrue)},
        {L"fString", new MinimalObject(L"isSwitchExist", MinimalObject::kReturnsTrue)},
        {L"fEnvString", new MinimalObject(L"getEnvirVar", MinimalObject::kReturnsTrue)},
        {L"fObject", new MinimalObject(L"cmdArgs", MinimalObject::kReturnsSelf)},
        {L"out", new MinimalObject(L"print", MinimalObject::kReturnsTrue, Print)},
    };
    for (const auto& entry : items) {
      site.Add(entry.item, entry.object);
      entry.object->Release();
    }
    ran = bench::RunScript(site, {L"fRead", L"fMethod", L"fArgsMethod", L"fString", L"fEnvString", L"fObject", L"out"},
                          code.c_str());
  }
  OleUninitialize();
  return ran ? 0 : 1;
}
