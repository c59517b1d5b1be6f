// The pattern is parsed by recursive descent into a small instruction program
// (one Split per choice point), which a Pike VM runs over the text: every
// alternative advances one character at a time in priority order, so the
// result is the one a greedy backtracking matcher would find, in time linear
// in the text and with no stack that grows with it. Patterns may come from
// script, so nesting, group count and program size are capped.
#include "app/core/regex.h"

namespace {

constexpr int kMaxNesting = 100;
constexpr size_t kMaxGroups = 50;
constexpr size_t kMaxProgram = 10000;

// The backslash abbreviations, written in the grammar itself.
std::wstring_view Abbreviation(wchar_t letter) {
  switch (letter) {
    case L'a': return L"[a-zA-Z0-9]";
    case L'b': return L"[ \t]";
    case L'c': return L"[a-zA-Z]";
    case L'd': return L"[0-9]";
    case L'h': return L"[0-9a-fA-F]";
    case L'n': return L"(\r\n|\r|\n)";
    case L'q': return L"(\"[^\"]*\"|'[^']*')";
    case L'w': return L"([a-zA-Z]+)";
    case L'z': return L"([0-9]+)";
    default: return {};
  }
}

bool IsRepetition(wchar_t c) { return c == L'?' || c == L'*' || c == L'+'; }

}  // namespace

bool CRegExp::CharClass::Contains(wchar_t c) const {
  for (const auto& [low, high] : ranges) {
    if (c >= low && c <= high) return !negated;
  }
  return negated;
}

class CRegExp::Parser {
 public:
  Parser(CRegExp& re, std::wstring_view text, int depth) : re_(re), text_(text), depth_(depth) {}

  bool ParseAll(Code& out) { return ParseAlternation(out) && AtEnd(); }

 private:
  bool AtEnd() const { return pos_ == text_.size(); }
  bool Next(wchar_t& c) {
    if (AtEnd()) return false;
    c = text_[pos_++];
    return true;
  }
  static void Append(Code& out, const Code& code) {
    out.insert(out.end(), code.begin(), code.end());
  }
  static int Size(const Code& code) { return static_cast<int>(code.size()); }

  // branch ("|" branch)*: Split to each branch but the last, each followed by a jump to the end.
  bool ParseAlternation(Code& out) {
    std::vector<Code> branches(1);
    if (!ParseSequence(branches.back())) return false;
    while (!AtEnd() && text_[pos_] == L'|') {
      ++pos_;
      branches.emplace_back();
      if (!ParseSequence(branches.back())) return false;
    }
    Code code;
    std::vector<size_t> jumps;
    for (size_t i = 0; i + 1 < branches.size(); ++i) {
      code.push_back({Op::Split, 0, 1, Size(branches[i]) + 2});
      Append(code, branches[i]);
      jumps.push_back(code.size());
      code.push_back({Op::Jump, 0, 0, 0});
    }
    Append(code, branches.back());
    for (size_t at : jumps) code[at].x = static_cast<int>(code.size() - at);
    Append(out, code);
    return out.size() <= kMaxProgram;
  }

  bool ParseSequence(Code& out) {
    while (!AtEnd() && text_[pos_] != L'|' && text_[pos_] != L')' && text_[pos_] != L'}') {
      if (!ParseRepetition(out)) return false;
    }
    return true;
  }

  bool ParseRepetition(Code& out) {
    Code atom;
    bool repeatable = true;
    if (!ParseAtom(atom, repeatable)) return false;
    if (AtEnd() || !IsRepetition(text_[pos_])) {
      Append(out, atom);
      return true;
    }
    const wchar_t op = text_[pos_++];
    if (!repeatable) return false;  // a second repetition fails as an atom
    const int n = Size(atom);
    if (op == L'+') {
      Append(out, atom);
      out.push_back({Op::Split, 0, -n, 1});
    } else if (op == L'*') {
      out.push_back({Op::Split, 0, 1, n + 2});
      Append(out, atom);
      out.push_back({Op::Jump, 0, -(n + 1), 0});
    } else {
      out.push_back({Op::Split, 0, 1, n + 1});
      Append(out, atom);
    }
    return true;
  }

  bool ParseAtom(Code& out, bool& repeatable) {
    const wchar_t c = text_[pos_++];
    switch (c) {
      case L'.': out.push_back({Op::Any, 0, 0, 0}); return true;
      case L'[': return ParseClass(out);
      case L'(': return ParseGroup(out, L')', false);
      case L'{': return ParseGroup(out, L'}', true);
      case L'\\': return ParseEscape(out);
      case L'^':
      case L'$':
        repeatable = false;
        out.push_back({c == L'^' ? Op::TextStart : Op::TextEnd, 0, 0, 0});
        return true;
      case L')':
      case L'}':
      case L']':  // unbalanced
      case L'?':
      case L'*':
      case L'+':  // nothing to repeat
        return false;
      default: out.push_back({Op::Char, c, 0, 0}); return true;
    }
  }

  bool ParseGroup(Code& out, wchar_t close, bool capture) {
    if (depth_ >= kMaxNesting) return false;
    size_t group = 0;
    if (capture && (group = ++re_.groupCount_) > kMaxGroups) return false;
    ++depth_;
    Code body;
    const bool closed = ParseAlternation(body) && !AtEnd() && text_[pos_] == close;
    --depth_;
    if (!closed) return false;
    ++pos_;
    if (capture) out.push_back({Op::Save, 0, static_cast<int>(2 * group), 0});
    Append(out, body);
    if (capture) out.push_back({Op::Save, 0, static_cast<int>(2 * group + 1), 0});
    return true;
  }

  bool ParseEscape(Code& out) {
    wchar_t c;
    if (!Next(c)) return false;
    const std::wstring_view expansion = Abbreviation(c);
    if (expansion.empty()) {
      out.push_back({Op::Char, c, 0, 0});
      return true;
    }
    Parser inner(re_, expansion, depth_ + 1);
    return inner.ParseAll(out);
  }

  // A class member: a character, or a backslash and the character it quotes.
  bool ParseClassChar(wchar_t& c) { return Next(c) && (c != L'\\' || Next(c)); }

  bool ParseClass(Code& out) {
    CharClass cls;
    if (!AtEnd() && text_[pos_] == L'^') {
      cls.negated = true;
      ++pos_;
    }
    while (AtEnd() || text_[pos_] != L']') {
      wchar_t low, high;
      if (!ParseClassChar(low)) return false;
      high = low;
      if (pos_ + 1 < text_.size() && text_[pos_] == L'-' && text_[pos_ + 1] != L']') {
        ++pos_;
        if (!ParseClassChar(high) || high < low) return false;
      }
      cls.ranges.emplace_back(low, high);
    }
    ++pos_;
    if (cls.ranges.empty()) return false;
    out.push_back({Op::Class, 0, static_cast<int>(re_.classes_.size()), 0});
    re_.classes_.push_back(std::move(cls));
    return true;
  }

  CRegExp& re_;
  std::wstring_view text_;
  size_t pos_ = 0;
  int depth_;
};

bool CRegExp::Compile(std::wstring_view pattern) {
  program_.clear();
  classes_.clear();
  groupCount_ = 0;
  Code body;
  if (!Parser(*this, pattern, 0).ParseAll(body)) {
    classes_.clear();
    groupCount_ = 0;
    return false;
  }
  program_.push_back({Op::Save, 0, 0, 0});
  program_.insert(program_.end(), body.begin(), body.end());
  program_.push_back({Op::Save, 0, 1, 0});
  program_.push_back({Op::Match, 0, 0, 0});
  return true;
}

// Runs the program over the text. A thread is a program position plus its
// capture slots; each list holds the threads waiting at one text position, in
// priority order, at most one per program position.
class CRegExp::Matcher {
 public:
  Matcher(const CRegExp& re, std::wstring_view text, size_t slots)
      : re_(re), text_(text), slots_(slots), marks_(re.program_.size(), npos), work_(slots) {}

  bool Run(std::vector<size_t>& matchCaps) {
    const std::vector<size_t> fresh(slots_, npos);
    bool matched = false;
    for (size_t pos = 0;; ++pos) {
      if (!matched) AddThread(current_, 0, fresh.data(), pos);
      if (current_.pcs.empty()) break;
      for (size_t i = 0; i < current_.pcs.size(); ++i) {
        const int pc = current_.pcs[i];
        const size_t* caps = current_.caps.data() + i * slots_;
        const Inst& inst = re_.program_[pc];
        if (inst.op == Op::Match) {
          matchCaps.assign(caps, caps + slots_);
          matched = true;
          break;  // threads of lower priority lose to this match
        }
        if (pos < text_.size() && Accepts(inst, text_[pos]))
          AddThread(next_, pc + 1, caps, pos + 1);
      }
      if (pos == text_.size()) break;
      std::swap(current_, next_);
      next_.pcs.clear();
      next_.caps.clear();
    }
    return matched;
  }

 private:
  struct ThreadList {
    std::vector<int> pcs;
    std::vector<size_t> caps;
  };
  // A pending program position, or (pc < 0) a capture slot to restore.
  struct Pending {
    int pc;
    size_t slot;
    size_t value;
  };

  bool Accepts(const Inst& inst, wchar_t c) const {
    switch (inst.op) {
      case Op::Char: return c == inst.ch;
      case Op::Any: return true;
      case Op::Class: return re_.classes_[inst.x].Contains(c);
      default: return false;
    }
  }

  // Follows jumps, splits, saves and anchors from pc at text position pos,
  // depth first in priority order, adding the threads that consume a character
  // or match. Each program position is taken once per text position.
  void AddThread(ThreadList& list, int pc0, const size_t* caps, size_t pos) {
    work_.assign(caps, caps + slots_);
    stack_.push_back({pc0, 0, 0});
    while (!stack_.empty()) {
      const Pending p = stack_.back();
      stack_.pop_back();
      if (p.pc < 0) {
        work_[p.slot] = p.value;
        continue;
      }
      if (marks_[p.pc] == pos) continue;
      marks_[p.pc] = pos;
      const Inst& inst = re_.program_[p.pc];
      switch (inst.op) {
        case Op::Jump: stack_.push_back({p.pc + inst.x, 0, 0}); break;
        case Op::Split:
          stack_.push_back({p.pc + inst.y, 0, 0});
          stack_.push_back({p.pc + inst.x, 0, 0});
          break;
        case Op::Save: {
          const size_t slot = static_cast<size_t>(inst.x);
          if (slot < slots_) {
            stack_.push_back({-1, slot, work_[slot]});
            work_[slot] = pos;
          }
          stack_.push_back({p.pc + 1, 0, 0});
          break;
        }
        case Op::TextStart:
          if (pos == 0) stack_.push_back({p.pc + 1, 0, 0});
          break;
        case Op::TextEnd:
          if (pos == text_.size()) stack_.push_back({p.pc + 1, 0, 0});
          break;
        default:
          list.pcs.push_back(p.pc);
          list.caps.insert(list.caps.end(), work_.begin(), work_.end());
          break;
      }
    }
  }

  const CRegExp& re_;
  std::wstring_view text_;
  size_t slots_;
  std::vector<size_t> marks_;  // text position at which each program position was last taken
  std::vector<size_t> work_;
  std::vector<Pending> stack_;
  ThreadList current_;
  ThreadList next_;
};

bool CRegExp::Search(std::wstring_view text, std::vector<Span>* spans) const {
  if (program_.empty()) return false;
  // Without spans wanted, no capture slots are kept at all.
  const size_t slots = spans ? 2 * (groupCount_ + 1) : 0;
  std::vector<size_t> caps;
  if (!Matcher(*this, text, slots).Run(caps)) return false;
  if (spans) {
    spans->assign(groupCount_ + 1, Span{});
    for (size_t i = 0; i <= groupCount_; ++i) {
      if (caps[2 * i] != npos && caps[2 * i + 1] != npos)
        (*spans)[i] = {caps[2 * i], caps[2 * i + 1]};
    }
  }
  return true;
}
