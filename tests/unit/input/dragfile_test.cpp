// Drag-file bindings: exact names, replacing and removing a binding, and the
// object "get" answers with.
#include <gtest/gtest.h>

#include "app/core/script_call.h"
#include "app/plugins/dragfile/dragfile_plugin.h"
#include "tests/unit/core/recording_dispatch.h"
#include "tests/unit/stream/script_caller.h"

namespace {

using namespace scripttest;

TEST(DragFilePlugin, BindsReplacesAndRemoves) {
  auto plugin = omb::Make<omb::CDragFilePlugin>();
  Strings s;
  EXPECT_EQ(IdOf(plugin.Get(), L"bind"), -6999);
  EXPECT_EQ(IdOf(plugin.Get(), L"get"), -6998);
  for (const wchar_t* name : {L"Bind", L"get ", L""}) EXPECT_EQ(IdOf(plugin.Get(), name), DISPID_UNKNOWN);

  auto first = New<RecordingDispatch>(), second = New<RecordingDispatch>();
  omb::unique_variant got;
  EXPECT_EQ(Call(plugin.Get(), L"bind", {s(L"zone"), Obj(first.Get()), I4(1)}, nullptr), S_OK);
  EXPECT_EQ(Call(plugin.Get(), L"bind", {s(L"zone"), Obj(second.Get()), s(L"ctx")}, nullptr), S_OK);
  ASSERT_EQ(Call(plugin.Get(), L"get", {s(L"zone")}, got.get()), S_OK);
  ASSERT_EQ(got.vt(), VT_DISPATCH);
  omb::unique_variant callback, context;
  ReadMember(got->pdispVal, L"callback", callback.get());
  ReadMember(got->pdispVal, L"context", context.get());
  EXPECT_EQ(callback->pdispVal, static_cast<IDispatch*>(second.Get())) << "the second binding wins";
  EXPECT_EQ(Str(context), L"ctx");

  EXPECT_EQ(Call(plugin.Get(), L"get", {s(L"Zone")}, got.get()), S_OK);
  EXPECT_EQ(got.vt(), VT_EMPTY) << "identifiers are exact";
  EXPECT_EQ(Call(plugin.Get(), L"bind", {s(L"zone"), I4(0)}, nullptr), S_OK);
  EXPECT_EQ(Call(plugin.Get(), L"get", {s(L"zone")}, got.get()), S_OK);
  EXPECT_EQ(got.vt(), VT_EMPTY) << "a non-object removes the binding";

  EXPECT_EQ(Call(plugin.Get(), L"bind", {s(L"zone")}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(plugin.Get(), L"bind", {I4(1), Obj(first.Get())}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(plugin.Get(), L"get", {I4(1)}, got.get()), E_INVALIDARG);
}

}  // namespace
