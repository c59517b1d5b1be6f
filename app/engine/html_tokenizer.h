// A small HTML tokenizer: start and end tags with their attributes, text,
// comments, and the raw text of <script>, <style> and similar elements. It
// follows the browser rules that matter for finding elements and scripts in
// real pages; it does not build a tree (html_tree.h does).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace omb::engine {

struct HtmlAttribute {
  std::wstring name;   // lower case
  std::wstring value;  // character references decoded
};

enum class HtmlTokenKind { kStartTag, kEndTag, kText, kComment };

struct HtmlToken {
  HtmlTokenKind kind = HtmlTokenKind::kText;
  std::wstring name;  // tag name, lower case
  std::vector<HtmlAttribute> attributes;
  bool selfClosing = false;
  std::wstring text;  // text, raw text or comment body
  unsigned line = 0;  // zero-based line where the token's content starts
};

// Decodes character references (&amp; &lt; &#65; &#x41; ...) in text.
std::wstring DecodeCharacterReferences(std::wstring_view text);

// Lower-cases ASCII letters only, as HTML does for tag and attribute names.
std::wstring AsciiLower(std::wstring_view text);

class HtmlTokenizer {
 public:
  explicit HtmlTokenizer(std::wstring_view source) noexcept : source_(source) {}

  // Reads the next token; false at the end of the source.
  bool Next(HtmlToken* token);

 private:
  bool ReadMarkup(HtmlToken* token);
  bool ReadTag(HtmlToken* token, bool end);
  void ReadAttributes(HtmlToken* token);
  void ReadComment(HtmlToken* token);
  void ReadBogusComment(HtmlToken* token);
  void ReadRawText(HtmlToken* token);
  void ReadText(HtmlToken* token);
  void Advance(size_t count) noexcept;
  bool AtEnd() const noexcept { return pos_ >= source_.size(); }
  wchar_t Peek(size_t ahead = 0) const noexcept {
    return pos_ + ahead < source_.size() ? source_[pos_ + ahead] : L'\0';
  }

  std::wstring_view source_;
  size_t pos_ = 0;
  unsigned line_ = 0;
  std::wstring rawTextEnd_;  // set after a start tag whose content is raw text
  bool rawTextDecodes_ = false;
};

}  // namespace omb::engine
