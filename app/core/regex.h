#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

// A small, case-sensitive regular expression over UTF-16 text.
//
// Grammar: literal characters; "." (any character); bracket classes "[a-z_]"
// with ranges and "^" negation; the anchors "^" (start of text) and "$" (end of
// text); the greedy repetitions "?", "*" and "+"; "|" alternation; "( )" for
// grouping; "{ }" for match groups, whose spans Search reports; and backslash
// escapes: \a [a-zA-Z0-9], \b [ \t], \c [a-zA-Z], \d [0-9], \h [0-9a-fA-F],
// \n a line break (\r\n, \r or \n), \q a string in double or single quotes,
// \w [a-zA-Z]+, \z [0-9]+. A backslash before any other character stands for
// that character; inside brackets a backslash always quotes the next one.
//
// Matching time is linear in the text and uses no stack that grows with it.
class CRegExp {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // Characters [begin, end) of the text; both npos for a group that took no part.
  struct Span {
    size_t begin = npos;
    size_t end = npos;
  };

  // Compiles pattern, replacing any earlier one. False when the pattern is
  // malformed (or beyond the size limits); nothing is compiled then.
  [[nodiscard]] bool Compile(std::wstring_view pattern);
  bool IsCompiled() const { return !program_.empty(); }

  // Number of "{ }" groups in the compiled pattern.
  size_t GroupCount() const { return groupCount_; }

  // Finds the leftmost match anywhere in text (unless anchored). When spans is
  // given it receives GroupCount() + 1 entries: [0] the whole match, [i] the
  // i-th group in order of its opening brace (the last iteration when
  // repeated). False when there is no match or nothing is compiled.
  [[nodiscard]] bool Search(std::wstring_view text, std::vector<Span>* spans = nullptr) const;

 private:
  enum class Op : unsigned char { Char, Any, Class, Split, Jump, Save, TextStart, TextEnd, Match };

  // Jump targets (x, and y for Split) are relative to the instruction itself,
  // so compiled fragments can be concatenated and nested without fix-ups.
  // Char uses ch; Class indexes classes_ with x; Save stores into slot x.
  struct Inst {
    Op op;
    wchar_t ch;
    int x;
    int y;
  };
  using Code = std::vector<Inst>;

  struct CharClass {
    bool negated = false;
    std::vector<std::pair<wchar_t, wchar_t>> ranges;
    bool Contains(wchar_t c) const;
  };

  class Parser;
  class Matcher;

  std::vector<Inst> program_;
  std::vector<CharClass> classes_;
  size_t groupCount_ = 0;
};
