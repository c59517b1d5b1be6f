#include "app/core/cmdline.h"

#include <shellapi.h>

namespace omb {
namespace {

bool IsPrefix(wchar_t c) noexcept { return c == L'/' || c == L'-'; }

const wchar_t* DropPrefix(const wchar_t* name) noexcept {
  return (name && IsPrefix(name[0])) ? name + 1 : name;
}

wchar_t Fold(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c; }

// Reads "key=value": the key is everything before the first '=', the value
// runs to the first line break. Neither may be empty; neither has a length
// limit, so a long folder path is a pair like any other.
bool ScanPair(const std::wstring& arg, std::wstring& key, std::wstring& value) {
  const size_t eq = arg.find(L'=');
  if (eq == std::wstring::npos || eq == 0) return false;
  const size_t end = arg.find_first_of(L"\r\n", eq + 1);
  const size_t length = (end == std::wstring::npos ? arg.size() : end) - (eq + 1);
  if (length == 0) return false;
  key = arg.substr(0, eq);
  value = arg.substr(eq + 1, length);
  return true;
}

}  // namespace

bool AsciiCaseLess::operator()(const std::wstring& a, const std::wstring& b) const noexcept {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

CCmdLine::CCmdLine() { Parse(GetCommandLineW()); }

CCmdLine::CCmdLine(const wchar_t* commandLine) { Parse(commandLine); }

void CCmdLine::Parse(const wchar_t* commandLine) {
  argv_ = CommandLineToArgvW(commandLine, &count_);
  argvBlock_.reset(reinterpret_cast<HLOCAL>(argv_));
  if (!argv_) count_ = 0;
  if (count_ < 2) return;
  for (int i = 1; i < count_; ++i) {
    const std::wstring arg = argv_[i];
    std::wstring key, value;
    if (ScanPair(arg, key, value)) {
      pairs_.emplace(std::move(key), std::move(value));
    } else if (arg.empty() || !IsPrefix(arg[0])) {
      switches_.insert(arg);
    } else if (i + 1 < count_ && !IsPrefix(argv_[i + 1][0])) {
      pairs_.emplace(arg.substr(1), argv_[i + 1]);
      ++i;
    } else {
      switches_.insert(arg.substr(1));
    }
  }
}

const std::wstring* CCmdLine::Value(const wchar_t* key) const {
  if (!key) return nullptr;
  const auto it = pairs_.find(DropPrefix(key));
  return it == pairs_.end() ? nullptr : &it->second;
}

bool CCmdLine::HasSwitch(const wchar_t* name) const {
  return name && switches_.count(DropPrefix(name)) != 0;
}

const wchar_t* CCmdLine::Arg(int index) const noexcept {
  return (index >= 0 && index < count_) ? argv_[index] : nullptr;
}

}  // namespace omb
