#include "app/engine/html_tokenizer.h"

#include <cwctype>

namespace omb::engine {
namespace {

bool IsSpace(wchar_t c) noexcept {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f';
}
bool IsAsciiLetter(wchar_t c) noexcept {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}
bool IsHexDigit(wchar_t c) noexcept {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}
unsigned HexValue(wchar_t c) noexcept {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return c - L'A' + 10;
}

struct NamedReference {
  std::wstring_view name;
  wchar_t value;
};
constexpr NamedReference kNamedReferences[] = {
    {L"amp", L'&'},         {L"lt", L'<'},         {L"gt", L'>'},         {L"quot", L'"'},
    {L"apos", L'\''},       {L"nbsp", L'\u00A0'},  {L"copy", L'\u00A9'},  {L"reg", L'\u00AE'},
    {L"hellip", L'\u2026'}, {L"mdash", L'\u2014'}, {L"ndash", L'\u2013'}, {L"laquo", L'\u00AB'},
    {L"raquo", L'\u00BB'},
};

void AppendCodePoint(std::wstring& out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x10000) {
    out.push_back(static_cast<wchar_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one numeric reference after "&#"; returns the characters used
// (0 when the text is not a reference).
size_t DecodeNumeric(std::wstring_view rest, std::wstring& out) {
  size_t i = 0;
  const bool hex = i < rest.size() && (rest[i] == L'x' || rest[i] == L'X');
  if (hex) ++i;
  const size_t digitsStart = i;
  unsigned long cp = 0;
  for (; i < rest.size(); ++i) {
    const wchar_t c = rest[i];
    unsigned digit;
    if (hex && IsHexDigit(c)) {
      digit = HexValue(c);
    } else if (!hex && c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else {
      break;
    }
    cp = cp > 0x10FFFF ? cp : cp * (hex ? 16 : 10) + digit;
  }
  if (i == digitsStart) return 0;
  if (i < rest.size() && rest[i] == L';') ++i;
  AppendCodePoint(out, cp);
  return i;
}

size_t DecodeNamed(std::wstring_view rest, std::wstring& out) {
  const size_t semicolon = rest.find(L';');
  if (semicolon == std::wstring_view::npos || semicolon > 8) return 0;
  const std::wstring_view name = rest.substr(0, semicolon);
  for (const auto& ref : kNamedReferences) {
    if (ref.name == name) {
      out.push_back(ref.value);
      return semicolon + 1;
    }
  }
  return 0;
}

bool IsRawTextElement(std::wstring_view name) noexcept {
  return name == L"script" || name == L"style" || name == L"xmp" || name == L"iframe" ||
         name == L"noembed" || name == L"noframes" || name == L"noscript";
}
bool IsEscapableRawTextElement(std::wstring_view name) noexcept {
  return name == L"title" || name == L"textarea";
}

}  // namespace

std::wstring AsciiLower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return out;
}

std::wstring DecodeCharacterReferences(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != L'&') {
      out.push_back(text[i++]);
      continue;
    }
    const std::wstring_view rest = text.substr(i + 1);
    size_t used = 0;  // characters of the reference after the '&'
    if (!rest.empty() && rest[0] == L'#') {
      const size_t digits = DecodeNumeric(rest.substr(1), out);
      used = digits ? digits + 1 : 0;
    } else {
      used = DecodeNamed(rest, out);
    }
    if (used == 0) out.push_back(L'&');
    i += 1 + used;
  }
  return out;
}

void HtmlTokenizer::Advance(size_t count) noexcept {
  for (size_t end = pos_ + count; pos_ < end && pos_ < source_.size(); ++pos_)
    if (source_[pos_] == L'\n') ++line_;
}

bool HtmlTokenizer::Next(HtmlToken* token) {
  *token = HtmlToken();
  for (;;) {
    if (AtEnd()) return false;
    if (!rawTextEnd_.empty()) {
      ReadRawText(token);
      return true;
    }
    if (Peek() == L'<') {
      const size_t before = pos_;
      if (ReadMarkup(token)) return true;
      if (pos_ != before) continue;  // markup that produces no token
    }
    ReadText(token);
    return true;
  }
}

// At '<': reads a tag or comment; false when the '<' is plain text.
bool HtmlTokenizer::ReadMarkup(HtmlToken* token) {
  const wchar_t next = Peek(1);
  if (IsAsciiLetter(next)) return ReadTag(token, false);
  if (next == L'/') {
    if (IsAsciiLetter(Peek(2))) return ReadTag(token, true);
    if (Peek(2) == L'>') {  // "</>" is dropped
      Advance(3);
      return false;
    }
    Advance(2);
    ReadBogusComment(token);
    return true;
  }
  if (next == L'!') {
    if (source_.substr(pos_, 4) == L"<!--") {
      ReadComment(token);
    } else {
      Advance(2);
      ReadBogusComment(token);
    }
    return true;
  }
  if (next == L'?') {
    Advance(1);
    ReadBogusComment(token);
    return true;
  }
  return false;
}

bool HtmlTokenizer::ReadTag(HtmlToken* token, bool end) {
  token->kind = end ? HtmlTokenKind::kEndTag : HtmlTokenKind::kStartTag;
  token->line = line_;
  Advance(end ? 2 : 1);
  const size_t nameStart = pos_;
  while (!AtEnd() && !IsSpace(Peek()) && Peek() != L'/' && Peek() != L'>') Advance(1);
  token->name = AsciiLower(source_.substr(nameStart, pos_ - nameStart));
  ReadAttributes(token);
  if (end) {
    token->attributes.clear();
    token->selfClosing = false;
  } else if (IsRawTextElement(token->name) || IsEscapableRawTextElement(token->name)) {
    rawTextEnd_ = L"</" + token->name;
    rawTextDecodes_ = IsEscapableRawTextElement(token->name);
  }
  return true;
}

void HtmlTokenizer::ReadAttributes(HtmlToken* token) {
  for (;;) {
    while (!AtEnd() && (IsSpace(Peek()) || Peek() == L'/')) {
      token->selfClosing = Peek() == L'/' && Peek(1) == L'>';
      Advance(1);
    }
    if (AtEnd()) return;
    if (Peek() == L'>') {
      Advance(1);
      return;
    }
    token->selfClosing = false;
    const size_t nameStart = pos_;
    Advance(1);  // a leading '=' belongs to the name
    while (!AtEnd() && !IsSpace(Peek()) && Peek() != L'/' && Peek() != L'>' && Peek() != L'=')
      Advance(1);
    HtmlAttribute attribute{AsciiLower(source_.substr(nameStart, pos_ - nameStart)), {}};
    while (!AtEnd() && IsSpace(Peek())) Advance(1);
    if (Peek() == L'=') {
      Advance(1);
      while (!AtEnd() && IsSpace(Peek())) Advance(1);
      const wchar_t quote = Peek();
      size_t valueStart, valueEnd;
      if (quote == L'"' || quote == L'\'') {
        Advance(1);
        valueStart = pos_;
        while (!AtEnd() && Peek() != quote) Advance(1);
        valueEnd = pos_;
        Advance(1);
      } else {
        valueStart = pos_;
        while (!AtEnd() && !IsSpace(Peek()) && Peek() != L'>') Advance(1);
        valueEnd = pos_;
      }
      attribute.value =
          DecodeCharacterReferences(source_.substr(valueStart, valueEnd - valueStart));
    }
    bool duplicate = false;  // the first of repeated attributes wins
    for (const auto& existing : token->attributes) duplicate |= existing.name == attribute.name;
    if (!duplicate) token->attributes.push_back(std::move(attribute));
  }
}

void HtmlTokenizer::ReadComment(HtmlToken* token) {
  token->kind = HtmlTokenKind::kComment;
  token->line = line_;
  Advance(4);
  if (Peek() == L'>') {  // "<!-->"
    Advance(1);
    return;
  }
  if (Peek() == L'-' && Peek(1) == L'>') {  // "<!--->"
    Advance(2);
    return;
  }
  const size_t end = source_.find(L"-->", pos_);
  const size_t stop = end == std::wstring_view::npos ? source_.size() : end;
  token->text.assign(source_.substr(pos_, stop - pos_));
  Advance(stop - pos_ + (end == std::wstring_view::npos ? 0 : 3));
}

void HtmlTokenizer::ReadBogusComment(HtmlToken* token) {
  token->kind = HtmlTokenKind::kComment;
  token->line = line_;
  const size_t end = source_.find(L'>', pos_);
  const size_t stop = end == std::wstring_view::npos ? source_.size() : end;
  token->text.assign(source_.substr(pos_, stop - pos_));
  Advance(stop - pos_ + (end == std::wstring_view::npos ? 0 : 1));
}

// Raw text runs up to "</name" followed by a space, '/' or '>' (any case).
void HtmlTokenizer::ReadRawText(HtmlToken* token) {
  token->kind = HtmlTokenKind::kText;
  token->line = line_;
  size_t stop = pos_;
  for (;; ++stop) {
    stop = source_.find(L"</", stop);
    if (stop == std::wstring_view::npos) {
      stop = source_.size();
      break;
    }
    const size_t after = stop + rawTextEnd_.size();
    if (after <= source_.size() &&
        AsciiLower(source_.substr(stop, rawTextEnd_.size())) == rawTextEnd_ &&
        (after == source_.size() || IsSpace(source_[after]) || source_[after] == L'/' ||
         source_[after] == L'>'))
      break;
  }
  const std::wstring_view raw = source_.substr(pos_, stop - pos_);
  token->text = rawTextDecodes_ ? DecodeCharacterReferences(raw) : std::wstring(raw);
  Advance(stop - pos_);
  rawTextEnd_.clear();
}

void HtmlTokenizer::ReadText(HtmlToken* token) {
  token->kind = HtmlTokenKind::kText;
  token->line = line_;
  const size_t start = pos_;
  Advance(1);  // the first character is text even when it is a '<'
  while (!AtEnd()) {
    if (Peek() == L'<') {
      const wchar_t next = Peek(1);
      if (IsAsciiLetter(next) || next == L'/' || next == L'!' || next == L'?') break;
    }
    Advance(1);
  }
  token->text = DecodeCharacterReferences(source_.substr(start, pos_ - start));
}

}  // namespace omb::engine
