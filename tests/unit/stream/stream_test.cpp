// The "stream" plug-in: its block, the native OMB::IStream and the script
// members, driven the way page script and other plug-ins drive them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/plugins/stream/stream_plugin.h"
#include "tests/unit/stream/script_caller.h"

using namespace scripttest;
using omb::CStreamPlugin;
using omb::unique_variant;

namespace {

constexpr ULONGLONG kMiB = 0x100000;

// A script object that is not a stream.
class Plain : public omb::ComObject<Plain, IDispatch> {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    return E_NOTIMPL;
  }
};

class StreamTest : public testing::Test {
 protected:
  ComPtr<CStreamPlugin> NewStream() { return omb::Make<CStreamPlugin>(); }
  IDispatch* Script(const ComPtr<CStreamPlugin>& s) {
    return static_cast<omb::DispatchTable<CStreamPlugin>*>(s.Get());
  }
  void WriteBytes(CStreamPlugin* s, const char* bytes, ULONG n) {
    ULONG written = 0;
    ASSERT_EQ(S_OK, s->Write(reinterpret_cast<const BYTE*>(bytes), n, &written));
    ASSERT_EQ(n, written);
  }
  std::string Data(CStreamPlugin* s) {
    return std::string(reinterpret_cast<const char*>(s->GetBuffer()), s->GetSize());
  }

  ComPtr<CStreamPlugin> s_ = NewStream();
  IDispatch* js_ = Script(s_);
  unique_variant r_;
  Strings str_;
};

TEST(StreamGrowth, StepsAreATenthOfTheCapacityInWholeMebibytes) {
  EXPECT_EQ(kMiB, CStreamPlugin::GrownCapacity(0, 1));
  EXPECT_EQ(2 * kMiB, CStreamPlugin::GrownCapacity(kMiB, kMiB + 1));
  EXPECT_EQ(kMiB, CStreamPlugin::GrownCapacity(kMiB, kMiB));  // fits: unchanged
  EXPECT_EQ(22 * kMiB, CStreamPlugin::GrownCapacity(20 * kMiB, 20 * kMiB + 1));
  // 2.5 MiB rounds up to a 3 MiB step.
  EXPECT_EQ(27 * kMiB, CStreamPlugin::GrownCapacity(25 * kMiB, 25 * kMiB + 1));
  EXPECT_EQ(0u, CStreamPlugin::GrownCapacity(kMiB, ~0ull - 5));
}

TEST_F(StreamTest, SmallWritesReallocateRarelyAndKeepTheData) {
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    char chunk[700];
    memset(chunk, 'a' + i % 26, sizeof chunk);
    WriteBytes(s_.Get(), chunk, sizeof chunk);
    expected.append(chunk, sizeof chunk);
  }
  EXPECT_EQ(expected.size(), s_->GetSize());
  EXPECT_EQ(3 * kMiB, s_->Capacity());
  EXPECT_TRUE(Data(s_.Get()) == expected);
}

TEST_F(StreamTest, NativeReadWriteSeek) {
  ULONG n = 99;
  BYTE buffer[16] = {};
  EXPECT_EQ(S_OK, s_->Read(buffer, 4, &n));
  EXPECT_EQ(0u, n);
  EXPECT_EQ(nullptr, s_->GetBuffer());
  EXPECT_EQ(E_INVALIDARG, s_->Write(nullptr, 3, &n));
  EXPECT_EQ(S_OK, s_->Write(nullptr, 0, &n));  // count 0 succeeds at once
  WriteBytes(s_.Get(), "hello", 5);

  ULONGLONG pos = 0;
  EXPECT_EQ(S_OK, s_->Seek(1, 0, &pos));
  EXPECT_EQ(1u, pos);
  EXPECT_EQ(S_OK, s_->Read(buffer, 16, &n));
  EXPECT_EQ(4u, n);
  EXPECT_EQ(0, memcmp(buffer, "ello", 4));
  EXPECT_EQ(E_INVALIDARG, s_->Read(nullptr, 1, &n));
  EXPECT_EQ(S_OK, s_->Seek(-2, 2, &pos));
  EXPECT_EQ(3u, pos);
  EXPECT_EQ(S_OK, s_->Seek(-1, 1, &pos));
  EXPECT_EQ(2u, pos);
  EXPECT_EQ(E_INVALIDARG, s_->Seek(0, 3, &pos));
  EXPECT_EQ(E_INVALIDARG, s_->Seek(-3, 1, &pos));  // before the start
  EXPECT_EQ(2u, s_->Position());

  // Past the end: the gap reads as zero bytes.
  EXPECT_EQ(S_OK, s_->Seek(3, 2, &pos));
  WriteBytes(s_.Get(), "!", 1);
  EXPECT_EQ(std::string("hello\0\0\0!", 9), Data(s_.Get()));
}

TEST_F(StreamTest, SetSizeZeroesWhatItCutsAndKeepsThePosition) {
  WriteBytes(s_.Get(), "abcdef", 6);
  EXPECT_EQ(S_OK, s_->SetSize(2));
  EXPECT_EQ(6u, s_->Position());
  EXPECT_EQ(S_OK, Call(js_, L"readUInt8", {}, &r_));
  EXPECT_EQ(VT_NULL, r_.vt());
  EXPECT_EQ(S_OK, s_->SetSize(4));
  EXPECT_EQ(std::string("ab\0\0", 4), Data(s_.Get()));
  WriteBytes(s_.Get(), "Z", 1);  // at 6: the gap is zero too
  EXPECT_EQ(std::string("ab\0\0\0\0Z", 7), Data(s_.Get()));
  EXPECT_EQ(S_OK, Call(js_, L"setSize", {I4(0)}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"setSize", {I4(-1)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"setSize", {R8(1e30)}, &r_));  // not a 64-bit size
  EXPECT_EQ(S_OK, Call(js_, L"setSize", {R8(9e18)}, &r_));          // the block cannot grow
  EXPECT_FALSE(omb::IsTrue(*r_));
  EXPECT_EQ(0u, s_->GetSize());
}

TEST_F(StreamTest, NativeCopyToLeavesTheSourcePositionAndCanTargetItself) {
  WriteBytes(s_.Get(), "0123456789", 10);
  ULONGLONG pos = 0;
  s_->Seek(4, 0, &pos);
  auto target = NewStream();
  ULONG copied = 0;
  EXPECT_EQ(E_INVALIDARG, s_->CopyTo(nullptr, 1, &copied));
  EXPECT_EQ(S_OK, s_->CopyTo(target.Get(), 3, &copied));
  EXPECT_EQ(3u, copied);
  EXPECT_EQ(S_OK, s_->CopyTo(target.Get(), 0xFFFFFFFF, &copied));
  EXPECT_EQ(6u, copied);
  EXPECT_EQ(4u, s_->Position());
  EXPECT_EQ(9u, target->Position());
  EXPECT_EQ("456456789", Data(target.Get()));

  // A stream written from its own block across a reallocation: the bytes
  // still come from the old block.
  auto big = NewStream();
  std::string text(kMiB, 'x');
  text[0] = 'A';
  WriteBytes(big.Get(), text.data(), static_cast<ULONG>(text.size()));
  ASSERT_EQ(kMiB, big->Capacity());
  ULONG written = 0;
  EXPECT_EQ(S_OK, big->Write(big->GetBuffer(), static_cast<ULONG>(kMiB), &written));
  EXPECT_EQ(2 * kMiB, big->GetSize());
  EXPECT_EQ('A', big->GetBuffer()[kMiB]);
  EXPECT_EQ('x', big->GetBuffer()[2 * kMiB - 1]);
}

TEST_F(StreamTest, TypedValuesAreLittleEndianAndReadsStopAtTheEnd) {
  EXPECT_EQ(S_OK, Call(js_, L"writeUInt16", {I4(0x1234)}, &r_));
  EXPECT_TRUE(omb::IsTrue(*r_));
  EXPECT_EQ(S_OK, Call(js_, L"seek", {I4(0), I4(0)}, &r_));
  EXPECT_EQ(VT_R8, r_.vt());
  EXPECT_EQ(S_OK, Call(js_, L"readUInt8", {}, &r_));
  EXPECT_EQ(VT_UI1, r_.vt());
  EXPECT_EQ(0x34, r_->bVal);
  EXPECT_EQ(S_OK, Call(js_, L"readUInt16", {}, &r_));  // one byte left
  EXPECT_EQ(VT_NULL, r_.vt());
  EXPECT_EQ(1u, s_->Position());

  s_->SetSize(0);
  ULONGLONG pos;
  s_->Seek(0, 0, &pos);
  // Script gives 0xFFFFFFFF as a double and -1 as an integer: both store the low bits.
  Call(js_, L"writeUInt32", {R8(4294967295.0)}, &r_);
  Call(js_, L"writeUInt32", {I4(-1)}, &r_);
  Call(js_, L"writeUInt8", {I4(0x1FF)}, &r_);
  Call(js_, L"writeUInt64", {R8(9007199254740993.0)}, &r_);  // 2^53 + 1 rounds to 2^53
  Call(js_, L"writeUInt64", {I4(1)}, &r_);
  EXPECT_EQ(25u, s_->GetSize());
  EXPECT_EQ(std::string(9, '\xFF'), Data(s_.Get()).substr(0, 9));
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readUInt32", {}, &r_));
  EXPECT_EQ(VT_UI4, r_.vt());
  EXPECT_EQ(0xFFFFFFFFu, r_->ulVal);
  s_->Seek(9, 0, &pos);
  Call(js_, L"readUInt64", {}, &r_);
  EXPECT_EQ(VT_R8, r_.vt());
  EXPECT_EQ(9007199254740992.0, r_->dblVal);
  Call(js_, L"readUInt64", {}, &r_);
  EXPECT_EQ(1.0, r_->dblVal);
  Call(js_, L"readUInt64", {}, &r_);
  EXPECT_EQ(VT_NULL, r_.vt());

  EXPECT_EQ(E_INVALIDARG, Call(js_, L"writeUInt64", {I4(-1)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"writeUInt8", {str_(L"x")}, &r_));
  EXPECT_EQ(E_NOTIMPL, Call(js_, L"writeUInt8", {}, &r_));
  EXPECT_EQ(E_NOTIMPL, Call(js_, L"readUInt8", {I4(1)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"readUInt8", {}, nullptr));  // no result wanted
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"getSize", {}, nullptr));
  EXPECT_EQ(S_OK, Call(js_, L"getSize", {}, &r_));
  EXPECT_EQ(VT_UI8, r_.vt());
  EXPECT_EQ(25u, r_->ullVal);
}

TEST_F(StreamTest, WritesFailCleanlyWhenTheBlockCannotGrow) {
  EXPECT_EQ(S_OK, Call(js_, L"seek", {R8(9.2e18), I4(0)}, &r_));
  EXPECT_EQ(S_OK, Call(js_, L"writeUInt32", {I4(1)}, &r_));
  EXPECT_FALSE(omb::IsTrue(*r_));
  ULONG n = 0;
  EXPECT_EQ(E_OUTOFMEMORY, s_->Write(reinterpret_cast<const BYTE*>("ab"), 2, &n));
  EXPECT_EQ(0u, s_->GetSize());
  EXPECT_EQ(S_OK, Call(js_, L"writeString", {str_(L"abc")}, &r_));
  EXPECT_EQ(0.0, Num(r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"seek", {I4(0), R8(0)}, &r_));  // origin must be an integer
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"seek", {I4(0), I4(7)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"seek", {I4(-1), I4(2)}, &r_));  // before the start
}

TEST_F(StreamTest, StringEncodingsWriteTheirByteCounts) {
  struct {
    const wchar_t* encoding;
    double bytes;
  } cases[] = {{L"utf8", 3}, {L"unicode", 8}, {L"ansi", 4}, {L"UTF8", 3}, {L"Unicode", 8}};
  for (const auto& c : cases) {
    auto s = NewStream();
    EXPECT_EQ(S_OK, Call(Script(s), L"writeString", {str_(L"abc"), str_(c.encoding)}, &r_));
    EXPECT_EQ(c.bytes, Num(r_)) << c.encoding;
    EXPECT_EQ(c.bytes, static_cast<double>(s->GetSize())) << c.encoding;
  }
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"writeString", {str_(L"abc"), str_(L"latin1")}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"writeString", {I4(5)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"readString", {str_(L"utf-8")}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"readString", {str_(L"utf8"), I4(0)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"readString", {str_(L"utf8"), I4(-4)}, &r_));
  // Empty text: nothing, except the terminator of "unicode".
  EXPECT_EQ(S_OK, Call(js_, L"writeString", {str_(L"")}, &r_));
  EXPECT_EQ(0.0, Num(r_));
  EXPECT_EQ(S_OK, Call(js_, L"writeString", {str_(L""), str_(L"ansi")}, &r_));
  EXPECT_EQ(0.0, Num(r_));
  EXPECT_EQ(S_OK, Call(js_, L"writeString", {str_(L""), str_(L"unicode")}, &r_));
  EXPECT_EQ(2.0, Num(r_));
}

TEST_F(StreamTest, UnicodeReadStopsBeforeTheTerminator) {
  Call(js_, L"writeString", {str_(L"abc"), str_(L"unicode")}, &r_);
  ULONGLONG pos;
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"unicode")}, &r_));
  EXPECT_EQ(L"abc", Str(r_));
  EXPECT_EQ(6u, s_->Position());
  // Only zero bytes remain: an empty string, nothing consumed.
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"unicode")}, &r_));
  EXPECT_EQ(L"", Str(r_));
  EXPECT_EQ(6u, s_->Position());
  s_->Seek(0, 2, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {}, &r_));
  EXPECT_EQ(VT_NULL, r_.vt());
}

TEST_F(StreamTest, NonAsciiTextRoundTripsAndInvalidBytesDecodeAsReplacement) {
  const wchar_t* text = L"Gr\u00FC\u00DFe \u20AC \U0001F600";
  EXPECT_EQ(S_OK, Call(js_, L"writeString", {str_(text)}, &r_));
  EXPECT_EQ(16.0, Num(r_));  // ü ß: 2 each, €: 3, the emoji: 4, five single bytes
  ULONGLONG pos;
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {}, &r_));
  EXPECT_EQ(text, Str(r_));

  // A length that ends inside a character, then bytes that are not UTF-8.
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"utf8"), I4(3)}, &r_));
  EXPECT_EQ(std::wstring(L"Gr\uFFFD"), Str(r_));
  auto bad = NewStream();
  WriteBytes(bad.Get(),
             "a\xC3\x28"
             "b\xFF",
             5);
  bad->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(Script(bad), L"readString", {str_(L"utf8")}, &r_));
  const std::wstring decoded = Str(r_);
  EXPECT_EQ(L'a', decoded.front());
  EXPECT_NE(std::wstring::npos, decoded.find(L'\uFFFD'));
  EXPECT_NE(std::wstring::npos, decoded.find(L"(b"));

  // An unpaired surrogate is written as U+FFFD, not dropped silently.
  auto lone = NewStream();
  EXPECT_EQ(S_OK, Call(Script(lone), L"writeString", {str_(L"x\xD800y")}, &r_));
  EXPECT_EQ("x\xEF\xBF\xBDy", Data(lone.Get()));
}

TEST_F(StreamTest, ReadStringKeepsInnerZerosAndCutsTrailingOnes) {
  WriteBytes(s_.Get(), "ab\0cd\0\0", 7);
  ULONGLONG pos;
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"ansi")}, &r_));
  EXPECT_EQ(std::wstring(L"ab\0cd", 5), Str(r_));
  EXPECT_EQ(5u, s_->Position());
  s_->Seek(0, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"utf8"), R8(2)}, &r_));
  EXPECT_EQ(L"ab", Str(r_));
  EXPECT_EQ(S_OK, Call(js_, L"readString", {str_(L"utf8"), R8(1e12)}, &r_));  // huge: all
  EXPECT_EQ(std::wstring(L"\0cd", 3), Str(r_));
}

TEST_F(StreamTest, FillOverwritesUpToTheEndOnly) {
  WriteBytes(s_.Get(), "abcdef", 6);
  EXPECT_EQ(S_OK, Call(js_, L"fill", {I4(0xFF)}, &r_));
  EXPECT_EQ(0.0, Num(r_));  // at the end: nothing
  ULONGLONG pos;
  s_->Seek(1, 0, &pos);
  EXPECT_EQ(S_OK, Call(js_, L"fill", {I4('-'), I4(2)}, &r_));
  EXPECT_EQ(2.0, Num(r_));
  EXPECT_EQ(3u, s_->Position());
  EXPECT_EQ(S_OK, Call(js_, L"fill", {I4('*'), R8(1e10)}, &r_));
  EXPECT_EQ(3.0, Num(r_));
  EXPECT_EQ("a--***", Data(s_.Get()));
  EXPECT_EQ(6u, s_->GetSize());
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"fill", {I4(256)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"fill", {I4(-1)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"fill", {I4(1), I4(0)}, &r_));
  EXPECT_EQ(E_NOTIMPL, Call(js_, L"fill", {I4(1), I4(1), I4(1)}, &r_));
}

TEST_F(StreamTest, ScriptCopyToChecksItsTarget) {
  WriteBytes(s_.Get(), "xyz", 3);
  ULONGLONG pos;
  s_->Seek(1, 0, &pos);
  auto target = NewStream();
  EXPECT_EQ(S_OK, Call(js_, L"copyTo", {Obj(Script(target))}, &r_));
  EXPECT_EQ(2.0, Num(r_));
  EXPECT_EQ(S_OK, Call(js_, L"copyTo", {Obj(Script(target)), I4(1)}, &r_));
  EXPECT_EQ(1.0, Num(r_));
  EXPECT_EQ("yzy", Data(target.Get()));
  EXPECT_EQ(1u, s_->Position());
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"copyTo", {Obj(Script(target)), I4(0)}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"copyTo", {str_(L"stream")}, &r_));
  EXPECT_EQ(E_INVALIDARG, Call(js_, L"copyTo", {Obj(nullptr)}, &r_));
  auto other = omb::Make<Plain>();
  EXPECT_EQ(E_NOINTERFACE, Call(js_, L"copyTo", {Obj(other.Get())}, &r_));
}

TEST_F(StreamTest, NameTableConstantsAndCallForms) {
  for (auto [name, value] : {std::pair{L"BEGIN", 0}, {L"CURRENT", 1}, {L"END", 2}}) {
    EXPECT_EQ(S_OK, Get(js_, name, &r_));
    EXPECT_EQ(value, r_->lVal);
    EXPECT_EQ(E_NOTIMPL, Call(js_, name, {}, &r_)) << "a constant is not a method";
  }
  EXPECT_EQ(E_INVALIDARG, Get(js_, L"END", nullptr));
  EXPECT_EQ(E_NOTIMPL, Get(js_, L"getSize", &r_)) << "a method needs the method bit";
  EXPECT_EQ(-9986, IdOf(js_, L"fill"));
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(js_, L"Fill"));
  EXPECT_EQ(E_NOTIMPL, Invoke(js_, L"nothing", DISPATCH_METHOD, {}, nullptr));
  UINT count = 0;
  EXPECT_EQ(E_NOTIMPL, js_->GetTypeInfoCount(&count));
}

// Stream objects cross apartments as themselves, so a stream made on a
// worker is still a stream to the plug-ins that script hands it to.
TEST_F(StreamTest, MarshalledToAnotherThreadItArrivesAsItself) {
  omb::unique_coinit com(COINIT_APARTMENTTHREADED);
  ComPtr<IStream> marshalled;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, js_, &marshalled));
  struct Result {
    IStream* stream;
    IUnknown* identity = nullptr;
    bool hasStream = false;
  } result{marshalled.Detach()};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* p) noexcept -> DWORD {
        auto* r = static_cast<Result*>(p);
        omb::unique_coinit mta;
        ComPtr<IDispatch> d;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(r->stream, IID_PPV_ARGS(&d)))) {
          ComPtr<OMB::IStream> s;
          r->hasStream = SUCCEEDED(d.As(&s));
          ComPtr<IUnknown> u;
          d.As(&u);
          r->identity = u.Get();
        }
        return 0;
      },
      &result, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  const DWORD waited = WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  ASSERT_EQ(WAIT_OBJECT_0, waited) << "the worker did not unmarshal the stream within 10 s";
  EXPECT_TRUE(result.hasStream);
  EXPECT_EQ(s_->Unknown(), result.identity);
}

}  // namespace
