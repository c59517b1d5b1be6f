// The document mode the platform's browser control gives a page, and the
// script dialect that mode runs, so that a page behaves here as it will on
// Windows.
//
// A hosted WebBrowser control without a browser-emulation setting shows
// every page in its oldest standards mode (7), whose script engine has
// JScript 5.7 semantics: no JSON and no ES5 library. A page asks for a
// newer mode with the X-UA-Compatible meta element, which counts only in the
// head, before any element other than title and meta:
//   <meta http-equiv="X-UA-Compatible" content="IE=edge">
// Its content lists one or more requests ("IE=8", "IE=EmulateIE9",
// "IE=edge", separated by ';' or ','); the highest one wins.
#pragma once

#include <string_view>

#include "app/engine/html_tree.h"

namespace omb::engine {

enum class ScriptDialect {
  kJScript57,  // modes 5 and 7: no JSON
  kJScript58,  // mode 8: JSON
  kEs5,        // modes 9 and up ("edge"): JSON and the ES5 library
};

inline constexpr int kDefaultDocumentMode = 7;
inline constexpr int kNewestDocumentMode = 11;

// The mode one X-UA-Compatible content value asks for; 0 when it asks for
// none this engine knows.
int RequestedDocumentMode(std::wstring_view content);

// The page's document mode: the one its X-UA-Compatible element asks for,
// else kDefaultDocumentMode.
int DocumentMode(const PageTree& tree);

ScriptDialect DialectOfMode(int mode) noexcept;

}  // namespace omb::engine
