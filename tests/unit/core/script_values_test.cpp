// Host-built script objects and arrays, member reads and writes, option
// readers and the callback convention.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "app/core/unknown.h"
#include "tests/unit/core/recording_dispatch.h"

namespace {

VARIANT I4(LONG n) { return ArgI4(n); }

class ScopedBstr {
 public:
  explicit ScopedBstr(const wchar_t* s) : b_(SysAllocString(s)) {}
  BSTR get() const { return b_.get(); }

 private:
  omb::unique_bstr b_;
};

// Member names in enumeration order.
std::vector<std::wstring> Enumerate(IDispatchEx* obj) {
  std::vector<std::wstring> names;
  DISPID id = DISPID_STARTENUM;
  while (obj->GetNextDispID(fdexEnumAll, id, &id) == S_OK) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, obj->GetMemberName(id, &name));
    names.push_back(name ? name : L"?");
    SysFreeString(name);
  }
  return names;
}

std::wstring Read(IDispatch* obj, const wchar_t* name) {
  omb::unique_variant v;
  if (FAILED(ReadMember(obj, name, v.put()))) return L"<missing>";
  return RecordingDispatch::Describe(*v);
}

ULONGLONG Length(IDispatch* array) {
  omb::unique_variant v;
  EXPECT_EQ(S_OK, ReadMember(array, L"length", v.put()));
  EXPECT_EQ(VT_UI8, v.vt());
  return v->ullVal;
}

TEST(ScriptObject, EnumeratesNewestFirstAndKeepsOneMemberPerName) {
  auto obj = New<CObject>();
  ASSERT_EQ(S_OK, WriteMemberByName(obj.Get(), L"a", I4(1)));
  ASSERT_EQ(S_OK, WriteMemberByName(obj.Get(), L"b", I4(2)));
  ASSERT_EQ(S_OK, WriteMemberByName(obj.Get(), L"c", I4(3)));
  ASSERT_EQ(S_OK, WriteMemberByName(obj.Get(), L"a", I4(4)));
  EXPECT_EQ((std::vector<std::wstring>{L"c", L"b", L"a"}), Enumerate(obj.Get()));
  EXPECT_EQ(L"3:4", Read(obj.Get(), L"a"));
  EXPECT_EQ(3u, obj->Count());
}

TEST(ScriptObject, NewMembersTakeDescendingIdsFromOneCounterForAllObjects) {
  auto first = New<CObject>();
  auto second = New<CArray>();
  DISPID a = 0, b = 0, c = 0;
  ASSERT_EQ(S_OK, first->GetDispID(ScopedBstr(L"x").get(), fdexNameEnsure, &a));
  ASSERT_EQ(S_OK, second->GetDispID(ScopedBstr(L"x").get(), fdexNameEnsure, &b));
  ASSERT_EQ(S_OK, first->GetDispID(ScopedBstr(L"y").get(), fdexNameEnsure, &c));
  EXPECT_LE(a, -6001);
  EXPECT_EQ(a - 1, b);
  EXPECT_EQ(a - 2, c);
}

TEST(ScriptObject, UnknownNameFailsUntilEnsuredThenReadsEmpty) {
  auto obj = New<CObject>();
  ScopedBstr name(L"later");
  LPOLESTR names[] = {name.get()};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, obj->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, obj->GetDispID(name.get(), fdexNameCaseSensitive, &id));
  EXPECT_EQ(L"<missing>", Read(obj.Get(), L"later"));

  ASSERT_EQ(S_OK, obj->GetDispID(name.get(), fdexNameEnsure, &id));
  DISPID again = 0;
  EXPECT_EQ(S_OK, obj->GetDispID(name.get(), fdexNameEnsure, &again));
  EXPECT_EQ(id, again);
  EXPECT_EQ(L"0:", Read(obj.Get(), L"later"));
  EXPECT_EQ(L"<missing>", Read(obj.Get(), L"Later"));  // case-sensitive
}

TEST(ScriptObject, StoresPointersRawAndEverythingElseAsDeepCopies) {
  auto obj = New<CObject>();
  int target = 7;
  VARIANT ptr;
  VariantInit(&ptr);
  ptr.vt = VT_PTR;
  ptr.byref = &target;
  ASSERT_EQ(S_OK, obj->SetMember(L"p", ptr));

  BSTR text = SysAllocString(L"hello");
  ASSERT_EQ(S_OK, obj->SetMember(L"s", ArgString(text)));
  SysFreeString(text);

  auto held = New<RecordingDispatch>();
  const ULONG baseline = held->Refs();
  ASSERT_EQ(S_OK, obj->SetMember(L"o", ArgObject(held.Get())));
  EXPECT_EQ(baseline + 1, held->Refs());

  omb::unique_variant v;
  ASSERT_EQ(S_OK, ReadMember(obj.Get(), L"p", v.put()));
  EXPECT_EQ(VT_PTR, v.vt());
  EXPECT_EQ(&target, v->byref);
  v->vt = VT_EMPTY;  // not ours to free
  EXPECT_EQ(L"8:hello", Read(obj.Get(), L"s"));

  obj.Reset();
  EXPECT_EQ(baseline, held->Refs());
}

TEST(ScriptObject, StoresWhatAByReferenceArgumentPointsTo) {
  auto obj = New<CObject>();
  LONG number = 5;
  VARIANT inner = ArgString(SysAllocString(L"text"));
  VARIANT refs[2] = {};
  refs[0].vt = VT_BYREF | VT_I4;
  refs[0].plVal = &number;
  refs[1].vt = VT_BYREF | VT_VARIANT;
  refs[1].pvarVal = &inner;
  ASSERT_EQ(S_OK, obj->SetMember(L"n", refs[0]));
  ASSERT_EQ(S_OK, obj->SetMember(L"v", refs[1]));
  number = 6;  // the caller's storage changes or goes away after the call
  VariantClear(&inner);
  EXPECT_EQ(L"3:5", Read(obj.Get(), L"n"));
  EXPECT_EQ(L"8:text", Read(obj.Get(), L"v"));
}

TEST(ScriptObject, ArrayElementsNeverTakeThePushOrLengthIds) {
  // Member ids come from one process-wide counter: run it up to just before
  // the ids of push and length, then push across them.
  auto filler = New<CObject>();
  DISPID next = 0;
  ASSERT_EQ(S_OK, filler->GetDispID(ScopedBstr(L"probe").get(), fdexNameEnsure, &next));
  for (int i = 0; --next > CArray::kPushId + 3; ++i)
    ASSERT_EQ(S_OK, filler->SetMember((L"f" + std::to_wstring(i)).c_str(), I4(i)));
  auto array = New<CArray>();
  for (LONG i = 0; i < 8; ++i) ASSERT_EQ(S_OK, ArrayPush(array.Get(), I4(100 + i)));
  EXPECT_EQ(8u, Length(array.Get()));
  for (LONG i = 0; i < 8; ++i)
    EXPECT_EQ(L"3:" + std::to_wstring(100 + i), Read(array.Get(), std::to_wstring(i).c_str())) << i;
}

TEST(ScriptObject, AnswersInvalidCallsWithTheirCodes) {
  auto obj = New<CObject>();
  ASSERT_EQ(S_OK, obj->SetMember(L"m", I4(5)));
  DISPID id = 0;
  ASSERT_EQ(S_OK, obj->GetDispID(ScopedBstr(L"m").get(), 0, &id));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);

  EXPECT_EQ(E_INVALIDARG, obj->Invoke(-1234, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                                      nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG,
            obj->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL,
            obj->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
  // A member holding a value is read, not called, when both flags come.
  EXPECT_EQ(S_OK, obj->InvokeEx(id, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                                nullptr, nullptr));
  EXPECT_EQ(5, result.lVal);

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"m")};
  EXPECT_EQ(E_INVALIDARG, obj->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr));
  BSTR name = nullptr;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, obj->GetMemberName(-1234, &name));
  DISPID next = 0;
  EXPECT_EQ(S_FALSE, obj->GetNextDispID(0, id, &next));
}

TEST(ScriptObject, ArrayCountsEveryMemberForLengthAndPush) {
  IDispatch* raw = nullptr;
  ASSERT_EQ(S_OK, CreateScriptObject(L"ARRAY", &raw));
  ComPtr<IDispatch> array = Own(raw);
  EXPECT_EQ(0u, Length(array.Get()));

  ASSERT_EQ(S_OK, ArrayPush(array.Get(), I4(10)));
  EXPECT_EQ(1u, Length(array.Get()));
  EXPECT_EQ(L"3:10", Read(array.Get(), L"0"));

  ASSERT_EQ(S_OK, ArrayPush(array.Get(), I4(11)));
  ASSERT_EQ(S_OK, WriteMemberByName(array.Get(), L"x", I4(99)));
  ASSERT_EQ(S_OK, WriteMemberByName(array.Get(), L"x", I4(98)));  // reassignment
  EXPECT_EQ(3u, Length(array.Get()));
  ASSERT_EQ(S_OK, ArrayPush(array.Get(), I4(12)));
  EXPECT_EQ(L"3:12", Read(array.Get(), L"3"));
  EXPECT_EQ(4u, Length(array.Get()));

  // Script engines find "push" through IDispatchEx::GetDispID.
  ComPtr<IDispatchEx> ex;
  ASSERT_EQ(S_OK, array.As(&ex));
  DISPID push = 0;
  EXPECT_EQ(S_OK, ex->GetDispID(ScopedBstr(L"push").get(), fdexNameEnsure, &push));
  EXPECT_EQ(CArray::kPushId, push);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(E_INVALIDARG, array->Invoke(CArray::kLengthId, IID_NULL, 0, DISPATCH_PROPERTYGET,
                                        &none, nullptr, nullptr, nullptr));
}

TEST(ScriptObject, CreatesOnlyObjectsAndArrays) {
  IDispatch* obj = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(E_NOINTERFACE, CreateScriptObject(L"map", &obj));
  EXPECT_EQ(nullptr, obj);
  EXPECT_EQ(E_INVALIDARG, CreateScriptObject(L"object", nullptr));
  ASSERT_EQ(S_OK, CreateScriptObject(L"Object", &obj));
  EXPECT_EQ(L"<missing>", Read(obj, L"length"));  // a plain object has no length

  // The caller gets the only reference: releasing it frees the members.
  auto held = New<RecordingDispatch>();
  const ULONG baseline = held->Refs();
  ASSERT_EQ(S_OK, WriteMemberByName(obj, L"held", ArgObject(held.Get())));
  EXPECT_EQ(0u, obj->Release());
  EXPECT_EQ(baseline, held->Refs());
}

TEST(ScriptCall, OptionReadersAcceptOnlyTheirTypes) {
  auto options = New<CObject>();
  ScopedBstr text(L"C:\\x");
  ASSERT_EQ(S_OK, options->SetMember(L"path", ArgString(text.get())));
  ASSERT_EQ(S_OK, options->SetMember(L"flag", ArgBool(true)));
  ASSERT_EQ(S_OK, options->SetMember(L"one", I4(1)));
  ASSERT_EQ(S_OK, options->SetMember(L"half", ArgDouble(12.4)));

  omb::unique_bstr s;
  EXPECT_TRUE(OptionString(options.Get(), L"path", &s));
  EXPECT_STREQ(L"C:\\x", s.get());
  EXPECT_FALSE(OptionString(options.Get(), L"one", &s));
  EXPECT_EQ(nullptr, s.get());

  EXPECT_TRUE(OptionBool(options.Get(), L"flag", false));
  EXPECT_FALSE(OptionBool(options.Get(), L"one", false));  // 1 is not a boolean
  EXPECT_TRUE(OptionBool(options.Get(), L"missing", true));

  EXPECT_EQ(1, OptionInt(options.Get(), L"one"));
  EXPECT_FALSE(OptionInt(options.Get(), L"half").has_value());
  EXPECT_EQ(12, OptionNumber(options.Get(), L"half"));
  EXPECT_FALSE(OptionNumber(options.Get(), L"missing").has_value());  // not 0
  EXPECT_FALSE(OptionNumber(options.Get(), L"path").has_value());
}

TEST(ScriptCall, CallsWithArgumentsInScriptOrderAndContextLast) {
  auto fn = New<RecordingDispatch>();
  auto options = New<CObject>();
  ScopedBstr context(L"ctx");
  ASSERT_EQ(S_OK, options->SetMember(L"success", ArgObject(fn.Get())));
  ASSERT_EQ(S_OK, options->SetMember(L"context", ArgString(context.get())));

  EXPECT_EQ(S_OK, CallOption(options.Get(), L"success", {I4(1), ArgDouble(2.5)}));
  ASSERT_EQ(1u, fn->calls.size());
  const auto& call = fn->calls[0];
  EXPECT_EQ(DISPID_VALUE, call.id);
  EXPECT_EQ(DISPATCH_METHOD, call.flags);
  EXPECT_EQ(1024u, call.lcid);
  EXPECT_EQ(0u, call.namedCount);
  EXPECT_FALSE(call.wantedResult);
  EXPECT_EQ((std::vector<std::wstring>{L"3:1", L"5:2.5", L"8:ctx"}), call.args);

  // Without a context the function still gets a last, empty argument.
  auto bare = New<CObject>();
  ASSERT_EQ(S_OK, bare->SetMember(L"fail", ArgObject(fn.Get())));
  EXPECT_EQ(S_OK, CallOption(bare.Get(), L"fail", {I4(-2147024809)}));
  EXPECT_EQ((std::vector<std::wstring>{L"3:-2147024809", L"0:"}), fn->calls[1].args);
}

TEST(ScriptCall, CallbackOptionThatIsNoFunctionIsIgnored) {
  auto options = New<CObject>();
  ScopedBstr text(L"function(){}");
  ASSERT_EQ(S_OK, options->SetMember(L"success", ArgString(text.get())));
  EXPECT_EQ(S_FALSE, CallOption(options.Get(), L"success", {}));
  EXPECT_EQ(S_FALSE, CallOption(options.Get(), L"missing", {}));
  CScriptCallbacks callbacks(options.Get(), {L"success", L"missing"});
  EXPECT_FALSE(callbacks.Has(L"success"));
  EXPECT_EQ(S_FALSE, callbacks.Call(L"success", {}));
}

TEST(ScriptCall, MarshalledFunctionOptionIsUnmarshalled) {
  omb::unique_coinit com(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(S_OK, com.result());
  {
    auto fn = New<RecordingDispatch>();
    const ULONG baseline = fn->Refs();
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, fn.Get(), &stream));
    auto record = New<CObject>();
    VARIANT unknown;
    omb::SetUnknown(&unknown, stream.Get());
    ASSERT_EQ(S_OK, record->SetMember(L"progress", unknown));
    VariantClear(&unknown);
    stream.Reset();

    ComPtr<IDispatch> got = OptionFunction(record.Get(), L"progress");
    EXPECT_EQ(static_cast<IDispatch*>(fn.Get()), got.Get());  // same apartment: the object
    got.Reset();
    record.Reset();
    EXPECT_EQ(baseline, fn->Refs());
  }
}

TEST(ScriptCall, WriteOffersObjectsByReferenceFirst) {
  auto target = New<RecordingDispatch>();
  auto value = New<RecordingDispatch>();
  EXPECT_EQ(S_OK, WriteMember(target.Get(), 7, ArgObject(value.Get())));
  EXPECT_EQ(S_OK, WriteMember(target.Get(), 7, I4(3)));
  target->refusedFlags = DISPATCH_PROPERTYPUTREF;
  EXPECT_EQ(S_OK, WriteMember(target.Get(), 7, ArgObject(value.Get())));
  ASSERT_EQ(3u, target->calls.size());
  EXPECT_EQ(DISPATCH_PROPERTYPUTREF, target->calls[0].flags);
  EXPECT_EQ(DISPID_PROPERTYPUT, target->calls[0].firstNamed);
  EXPECT_EQ(DISPATCH_PROPERTYPUT, target->calls[1].flags);
  EXPECT_EQ(DISPATCH_PROPERTYPUT, target->calls[2].flags);  // after the refused put-by-ref
  EXPECT_EQ((std::vector<std::wstring>{L"3:3"}), target->calls[1].args);
}

class EventSink : public CDispatchBase {
 public:
  DISPID lastId = 0;
  WORD lastFlags = 0;

 protected:
  HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT*) noexcept override {
    lastId = id;
    lastFlags = flags;
    return S_FALSE;
  }
};

TEST(ScriptCall, EventSinkAnswersOnlyUnknownAndDispatch) {
  auto sink = New<EventSink>();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOTIMPL, sink->QueryInterface(__uuidof(IDispatchEx), &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_INVALIDARG, sink->QueryInterface(IID_IDispatch, nullptr));
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(S_OK, sink.As(&unknown));
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"x")};
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, sink->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(S_OK, sink->GetTypeInfoCount(nullptr));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(S_FALSE, sink->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
  EXPECT_EQ(42, sink->lastId);
  EXPECT_EQ(DISPATCH_METHOD, sink->lastFlags);
}

}  // namespace
