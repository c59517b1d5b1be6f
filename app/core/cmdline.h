// The parsed process command line: key=value pairs, "/key value" pairs and
// switches (prefixed names and plain words). Keys and switches compare
// case-insensitively (A-Z fold to a-z); the first occurrence of a key wins.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "sdk/com.h"

namespace omb {

// Orders strings with A-Z folded to a-z and every other code unit compared as is.
struct AsciiCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const noexcept;
};

class CCmdLine {
 public:
  // Parses the process command line (GetCommandLineW).
  CCmdLine();
  // Parses the given command line, split as the platform splits it.
  explicit CCmdLine(const wchar_t* commandLine);

  // The value of key, or null. One leading '/' or '-' of key is dropped.
  const std::wstring* Value(const wchar_t* key) const;
  // True when name (one leading '/' or '-' dropped) is a switch or plain word.
  bool HasSwitch(const wchar_t* name) const;

  int Count() const noexcept { return count_; }
  // The raw argument at index (0 is the program path); null when out of range.
  const wchar_t* Arg(int index) const noexcept;

  const std::map<std::wstring, std::wstring, AsciiCaseLess>& Pairs() const noexcept { return pairs_; }
  const std::set<std::wstring, AsciiCaseLess>& Switches() const noexcept { return switches_; }

 private:
  void Parse(const wchar_t* commandLine);

  int count_ = 0;
  unique_hlocal argvBlock_;  // the splitter's vector, freed with LocalFree
  wchar_t** argv_ = nullptr;
  std::map<std::wstring, std::wstring, AsciiCaseLess> pairs_;
  std::set<std::wstring, AsciiCaseLess> switches_;
};

}  // namespace omb
