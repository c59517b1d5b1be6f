#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include "app/plugins/window/drag_sink.h"
#include "app/plugins/window/window_logic.h"

namespace omb {
namespace {

// A 100 x 80 view: the inner rectangle is 6..94 x 6..74, edges inclusive.
constexpr RECT kView{0, 0, 100, 80};

TEST(EdgeHitTest, CornersWinOverSides) {
  EXPECT_EQ(EdgeHitTest(kView, {0, 0}), HTTOPLEFT);
  EXPECT_EQ(EdgeHitTest(kView, {6, 6}), HTTOPLEFT);
  EXPECT_EQ(EdgeHitTest(kView, {3, 79}), HTBOTTOMLEFT);
  EXPECT_EQ(EdgeHitTest(kView, {94, 2}), HTTOPRIGHT);
  EXPECT_EQ(EdgeHitTest(kView, {99, 74}), HTBOTTOMRIGHT);
}

TEST(EdgeHitTest, SidesAndInterior) {
  EXPECT_EQ(EdgeHitTest(kView, {6, 40}), HTLEFT);
  EXPECT_EQ(EdgeHitTest(kView, {94, 40}), HTRIGHT);
  EXPECT_EQ(EdgeHitTest(kView, {50, 6}), HTTOP);
  EXPECT_EQ(EdgeHitTest(kView, {50, 74}), HTBOTTOM);
  EXPECT_EQ(EdgeHitTest(kView, {7, 7}), 0);
  EXPECT_EQ(EdgeHitTest(kView, {93, 73}), 0);
  EXPECT_EQ(EdgeHitTest(kView, {50, 40}), 0);
}

TEST(EdgeHitTest, PointsOutsideTheViewCountAsItsEdges) {
  EXPECT_EQ(EdgeHitTest(kView, {-5, 40}), HTLEFT);
  EXPECT_EQ(EdgeHitTest(kView, {50, 200}), HTBOTTOM);
}

TEST(SizeDirection, MapsEdgeCodesAndRejectsOthers) {
  EXPECT_EQ(SizeDirectionOfHitTest(HTLEFT), WMSZ_LEFT);
  EXPECT_EQ(SizeDirectionOfHitTest(HTTOPLEFT), WMSZ_TOPLEFT);
  EXPECT_EQ(SizeDirectionOfHitTest(HTBOTTOMRIGHT), WMSZ_BOTTOMRIGHT);
  EXPECT_EQ(SizeDirectionOfHitTest(0), 0);
  EXPECT_EQ(SizeDirectionOfHitTest(HTCAPTION), 0);
  EXPECT_EQ(SizeDirectionOfHitTest(HTBORDER), 0);
}

constexpr uint32_t W = 0x00FFFFFF;
constexpr uint32_t B = 0x00000000;

TEST(OpaqueRuns, WhitePixelsEndRunsAndOpenRunsReachTheRowEnd) {
  const uint32_t pixels[] = {
      W, B, B, W, B,  // runs 1..3 and 4..5
      B, B, B, B, B,  // one run over the whole row
      W, W, W, W, W,  // nothing
  };
  const auto runs = OpaqueRuns(pixels, 5, 3);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].left, 1);
  EXPECT_EQ(runs[0].right, 3);
  EXPECT_EQ(runs[0].top, 0);
  EXPECT_EQ(runs[0].bottom, 1);
  EXPECT_EQ(runs[1].left, 4);
  EXPECT_EQ(runs[1].right, 5);
  EXPECT_EQ(runs[2].left, 0);
  EXPECT_EQ(runs[2].right, 5);
  EXPECT_EQ(runs[2].top, 1);
}

TEST(OpaqueRuns, OnlyExactWhiteIsSeeThroughAndTheHighByteIsIgnored) {
  const uint32_t pixels[] = {0xFFFFFFFF, 0x00FFFFFE, 0x00FEFFFF};
  const auto runs = OpaqueRuns(pixels, 3, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].left, 1);
  EXPECT_EQ(runs[0].right, 3);
}

TEST(MessageBoxStyle, TypeAndIconWords) {
  EXPECT_EQ(MessageBoxStyle(nullptr, nullptr), UINT(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
  EXPECT_EQ(MessageBoxStyle(L"OKCANCEL", L"Error"), UINT(MB_OKCANCEL | MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_EQ(MessageBoxStyle(L"yesNo", nullptr), UINT(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND));
  EXPECT_EQ(MessageBoxStyle(L"yesNo", L"warning"), UINT(MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND));
  EXPECT_EQ(MessageBoxStyle(L"abortRetry", L"sparkles"), UINT(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
}

TEST(FileDialogFlags, OverwritePromptReplacesFileMustExistInSingleMode) {
  EXPECT_EQ(FileDialogFlags(false, false, false), 0x80Cu);
  EXPECT_EQ(FileDialogFlags(false, true, false), 0x180Cu);
  EXPECT_EQ(FileDialogFlags(false, true, true), 0x80Eu);
  EXPECT_EQ(FileDialogFlags(true, true, true), 0x1A0Cu);
}

TEST(ProgressState, WordsIgnoreCase) {
  EXPECT_EQ(ProgressStateOfWord(L"none"), 0);
  EXPECT_EQ(ProgressStateOfWord(L"Cycle"), 1);
  EXPECT_EQ(ProgressStateOfWord(L"normal"), 2);
  EXPECT_EQ(ProgressStateOfWord(L"ERROR"), 4);
  EXPECT_EQ(ProgressStateOfWord(L"PAUSE"), 8);
  EXPECT_FALSE(ProgressStateOfWord(L"paused").has_value());
  EXPECT_FALSE(ProgressStateOfWord(nullptr).has_value());
}

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

TEST(DragVerdict, FormControlsStopTheWalkWhateverTheirAttribute) {
  VARIANT yes = Text(L"TRUE");
  EXPECT_EQ(DragVerdictOf(L"BUTTON", yes), DragVerdict::kNoDrag);
  EXPECT_EQ(DragVerdictOf(L"input", yes), DragVerdict::kNoDrag);
  EXPECT_EQ(DragVerdictOf(L"div", yes), DragVerdict::kDrag);
  VariantClear(&yes);
}

TEST(DragVerdict, AttributeValues) {
  VARIANT no = Text(L"False");
  VARIANT other = Text(L"yes");
  VARIANT empty;
  VariantInit(&empty);
  VARIANT flag;
  VariantInit(&flag);
  flag.vt = VT_BOOL;
  flag.boolVal = VARIANT_FALSE;
  EXPECT_EQ(DragVerdictOf(L"span", no), DragVerdict::kNoDrag);
  EXPECT_EQ(DragVerdictOf(L"span", other), DragVerdict::kContinue);
  EXPECT_EQ(DragVerdictOf(L"span", empty), DragVerdict::kContinue);
  EXPECT_EQ(DragVerdictOf(L"span", flag), DragVerdict::kNoDrag);
  flag.boolVal = VARIANT_TRUE;
  EXPECT_EQ(DragVerdictOf(L"span", flag), DragVerdict::kDrag);
  VariantClear(&no);
  VariantClear(&other);
}

}  // namespace
}  // namespace omb
