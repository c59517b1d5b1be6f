#include "app/engine/document_mode.h"

#include <gtest/gtest.h>

namespace omb::engine {
namespace {

TEST(DocumentMode, TheHighestRequestThatTheControlKnowsWins) {
  EXPECT_EQ(11, RequestedDocumentMode(L"IE=edge"));
  EXPECT_EQ(11, RequestedDocumentMode(L" ie=Edge , chrome=1"));
  EXPECT_EQ(9, RequestedDocumentMode(L"IE=8; IE=9"));
  EXPECT_EQ(8, RequestedDocumentMode(L"IE=EmulateIE8"));
  EXPECT_EQ(0, RequestedDocumentMode(L"chrome=1"));
  EXPECT_EQ(0, RequestedDocumentMode(L"IE=12345"));
  EXPECT_EQ(0, RequestedDocumentMode(L""));
}

TEST(DocumentMode, TheElementCountsOnlyAtTheStartOfTheHead) {
  const char* const meta = "<meta http-equiv=\"x-ua-compatible\" content=\"IE=9\">";
  auto mode = [](const std::string& html) {
    return DocumentMode(BuildPageTree(std::wstring(html.begin(), html.end())));
  };
  EXPECT_EQ(7, mode("<!DOCTYPE html><p>no element"));
  EXPECT_EQ(9, mode(std::string("<html><head><title>t</title><meta charset=utf-8>") + meta));
  EXPECT_EQ(7, mode(std::string("<head><script></script>") + meta));
  EXPECT_EQ(7, mode(std::string("<body>") + meta));
  EXPECT_EQ(ScriptDialect::kJScript57, DialectOfMode(7));
  EXPECT_EQ(ScriptDialect::kJScript58, DialectOfMode(8));
  EXPECT_EQ(ScriptDialect::kEs5, DialectOfMode(11));
}

}  // namespace
}  // namespace omb::engine
