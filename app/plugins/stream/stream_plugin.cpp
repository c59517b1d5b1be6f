#include "app/plugins/stream/stream_plugin.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/core/plugin_registry.h"
#include "app/plugins/stream/number_args.h"
#include "app/plugins/stream/stream_text.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"stream", CStreamPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

constexpr ULONGLONG kMiB = 0x100000;

ULONGLONG RoundUpToMiB(ULONGLONG n) noexcept { return (n + kMiB - 1) & ~(kMiB - 1); }

// A call as a method with min..max arguments; anything else is E_NOTIMPL.
HRESULT CheckMethod(const DispCall& call, UINT minArgs, UINT maxArgs) noexcept {
  if (!call.IsMethod()) return E_NOTIMPL;
  const UINT n = call.args.Count();
  return n < minArgs || n > maxArgs ? E_NOTIMPL : S_OK;
}

HRESULT ReturnConstant(DispCall& call, LONG value) noexcept {
  if (!call.IsGet() || call.IsMethod() || call.args.Count() != 0) return E_NOTIMPL;
  if (!call.result) return E_INVALIDARG;
  return call.ReturnInt(value);
}

// The encoding argument at i: absent means UTF-8; anything but a known name
// is refused.
HRESULT EncodingArg(const DispArgs& args, UINT i, TextEncoding* out) noexcept {
  *out = TextEncoding::kUtf8;
  if (IsAbsent(args, i)) return S_OK;
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(args.String(i, &name));
  return ParseTextEncoding(name, out) ? S_OK : E_INVALIDARG;
}

const DispMember<CStreamPlugin> kMembers[] = {
    {-10000, L"copyTo", &CStreamPlugin::CopyToMember},
    {-9999, L"seek", &CStreamPlugin::SeekMember},
    {-9998, L"setSize", &CStreamPlugin::SetSizeMember},
    {-9997, L"getSize", &CStreamPlugin::GetSizeMember},
    {-9996, L"readUInt8", &CStreamPlugin::ReadUInt8},
    {-9995, L"writeUInt8", &CStreamPlugin::WriteUInt8},
    {-9994, L"readUInt16", &CStreamPlugin::ReadUInt16},
    {-9993, L"writeUInt16", &CStreamPlugin::WriteUInt16},
    {-9992, L"readUInt32", &CStreamPlugin::ReadUInt32},
    {-9991, L"writeUInt32", &CStreamPlugin::WriteUInt32},
    {-9990, L"readUInt64", &CStreamPlugin::ReadUInt64},
    {-9989, L"writeUInt64", &CStreamPlugin::WriteUInt64},
    {-9988, L"readString", &CStreamPlugin::ReadString},
    {-9987, L"writeString", &CStreamPlugin::WriteString},
    {-9986, L"fill", &CStreamPlugin::Fill},
    {-9985, L"BEGIN", &CStreamPlugin::Begin},
    {-9984, L"CURRENT", &CStreamPlugin::Current},
    {-9983, L"END", &CStreamPlugin::End},
};

}  // namespace

std::span<const DispMember<CStreamPlugin>> CStreamPlugin::Members() noexcept { return kMembers; }

CStreamPlugin::CStreamPlugin() noexcept {
  (void)::CoCreateFreeThreadedMarshaler(Unknown(), &marshaler_);
}

HRESULT CStreamPlugin::QueryOther(REFIID iid, void** out) noexcept {
  if (iid == IID_IMarshal && marshaler_) return marshaler_->QueryInterface(iid, out);
  return E_NOINTERFACE;
}

// ---------------------------------------------------------------------------
// IDispatch

// OMB::IStream and the dispatch table both bring IDispatch: one set of
// dispatch operations serves both.
STDMETHODIMP CStreamPlugin::GetTypeInfoCount(UINT* count) noexcept {
  return DispatchTable<CStreamPlugin>::GetTypeInfoCount(count);
}

STDMETHODIMP CStreamPlugin::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept {
  return DispatchTable<CStreamPlugin>::GetTypeInfo(index, lcid, info);
}

STDMETHODIMP CStreamPlugin::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) noexcept {
  return DispatchTable<CStreamPlugin>::GetIDsOfNames(iid, names, count, lcid, ids);
}

STDMETHODIMP CStreamPlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) noexcept {
  return DispatchTable<CStreamPlugin>::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

// ---------------------------------------------------------------------------
// The block

ULONGLONG CStreamPlugin::GrownCapacity(ULONGLONG capacity, ULONGLONG needed) noexcept {
  if (needed <= capacity) return capacity;
  const ULONGLONG step = std::max(RoundUpToMiB(capacity / 10), kMiB);
  if (needed > UINT64_MAX - (step - 1)) return 0;  // cannot be represented
  return (needed + step - 1) / step * step;
}

HRESULT CStreamPlugin::Reserve(ULONGLONG needed, Block* retired) noexcept {
  if (needed <= capacity_) return S_OK;
  const ULONGLONG capacity = GrownCapacity(capacity_, needed);
  if (capacity == 0 || capacity > SIZE_MAX) return E_OUTOFMEMORY;
  Block grown(static_cast<BYTE*>(::calloc(static_cast<size_t>(capacity), 1)));
  if (!grown) return E_OUTOFMEMORY;
  if (size_) memcpy(grown.get(), block_.get(), static_cast<size_t>(size_));
  *retired = std::move(block_);
  block_ = std::move(grown);
  capacity_ = capacity;
  return S_OK;
}

// ---------------------------------------------------------------------------
// OMB::IStream

STDMETHODIMP CStreamPlugin::Read(BYTE* destination, ULONG count, ULONG* read) noexcept {
  if (read) *read = 0;
  if (count == 0) return S_OK;
  if (!destination) return E_INVALIDARG;
  const ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(count, Remaining()));
  if (n) memcpy(destination, block_.get() + position_, n);
  position_ += n;
  if (read) *read = n;
  return S_OK;
}

STDMETHODIMP CStreamPlugin::Write(const BYTE* source, ULONG count, ULONG* written) noexcept {
  if (written) *written = 0;
  if (count == 0) return S_OK;
  if (!source) return E_INVALIDARG;
  if (position_ > UINT64_MAX - count) return E_OUTOFMEMORY;
  const ULONGLONG end = position_ + count;
  Block retired;  // kept until the copy is done: source may lie in it
  OMB_RETURN_IF_FAILED(Reserve(end, &retired));
  memmove(block_.get() + position_, source, count);
  position_ = end;
  size_ = std::max(size_, end);
  if (written) *written = count;
  return S_OK;
}

STDMETHODIMP CStreamPlugin::Seek(LONGLONG offset, ULONG origin, ULONGLONG* position) noexcept {
  ULONGLONG base = 0;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position_; break;
    case 2: base = size_; break;
    default: return E_INVALIDARG;
  }
  // The position may lie past the end of the data, but not before its start.
  const ULONGLONG magnitude = offset < 0 ? 0ull - static_cast<ULONGLONG>(offset)
                                         : static_cast<ULONGLONG>(offset);
  if (offset < 0 ? magnitude > base : magnitude > UINT64_MAX - base) return E_INVALIDARG;
  position_ = offset < 0 ? base - magnitude : base + magnitude;
  if (position) *position = position_;
  return S_OK;
}

STDMETHODIMP CStreamPlugin::CopyTo(OMB::IStream* destination, ULONG count, ULONG* copied) noexcept {
  if (copied) *copied = 0;
  if (!destination) return E_INVALIDARG;
  if (count == 0) return S_OK;
  const ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(count, Remaining()));
  if (n == 0) return S_OK;
  return destination->Write(block_.get() + position_, n, copied);
}

STDMETHODIMP CStreamPlugin::SetSize(ULONGLONG size) noexcept {
  if (size > size_) {
    Block retired;
    OMB_RETURN_IF_FAILED(Reserve(size, &retired));
  } else if (size < size_) {
    memset(block_.get() + size, 0, static_cast<size_t>(size_ - size));
  }
  size_ = size;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Script members

HRESULT CStreamPlugin::CopyToMember(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 1, 2));
  IDispatch* target = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &target));
  ComPtr<OMB::IStream> stream;
  if (FAILED(target->QueryInterface(IID_PPV_ARGS(&stream)))) return E_NOINTERFACE;
  ULONG count = 0;
  OMB_RETURN_IF_FAILED(OptionalCountArg(call.args, 1, &count));
  ULONG copied = 0;
  OMB_RETURN_IF_FAILED(CopyTo(stream.Get(), count, &copied));
  if (call.result) SetUI4(call.result, copied);
  return S_OK;
}

HRESULT CStreamPlugin::SeekMember(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 2, 2));
  LONGLONG offset = 0;
  LONG origin = 0;
  OMB_RETURN_IF_FAILED(SignedArg(call.args, 0, &offset));
  OMB_RETURN_IF_FAILED(call.args.Int(1, &origin));
  ULONGLONG position = 0;
  OMB_RETURN_IF_FAILED(Seek(offset, static_cast<ULONG>(origin), &position));
  if (call.result) SetR8(call.result, static_cast<double>(position));
  return S_OK;
}

HRESULT CStreamPlugin::SetSizeMember(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 1, 1));
  ULONGLONG size = 0;
  OMB_RETURN_IF_FAILED(UnsignedArg(call.args, 0, &size));
  return call.ReturnBool(SUCCEEDED(SetSize(size)));
}

HRESULT CStreamPlugin::GetSizeMember(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 0, 0));
  if (!call.result) return E_INVALIDARG;
  SetUI8(call.result, size_);
  return S_OK;
}

HRESULT CStreamPlugin::ReadInteger(DispCall& call, UINT width) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 0, 0));
  if (!call.result) return E_INVALIDARG;
  if (Remaining() < width) return call.ReturnNull();
  ULONGLONG value = 0;
  const BYTE* at = block_.get() + position_;
  for (UINT i = width; i-- > 0;) value = (value << 8) | at[i];
  position_ += width;
  VARIANT* r = call.result;
  ::VariantInit(r);
  switch (width) {
    case 1: r->vt = VT_UI1; r->bVal = static_cast<BYTE>(value); break;
    case 2: r->vt = VT_UI2; r->uiVal = static_cast<USHORT>(value); break;
    case 4: r->vt = VT_UI4; r->ulVal = static_cast<ULONG>(value); break;
    default: SetR8(r, static_cast<double>(value)); break;
  }
  return S_OK;
}

HRESULT CStreamPlugin::WriteInteger(DispCall& call, UINT width) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 1, 1));
  ULONGLONG value = 0;
  if (width == 8) {
    OMB_RETURN_IF_FAILED(UnsignedArg(call.args, 0, &value));
  } else {
    // The low bits are stored, so 0xFFFFFFFF (a double in script) and -1
    // both write four 0xFF bytes.
    LONGLONG n = 0;
    OMB_RETURN_IF_FAILED(SignedArg(call.args, 0, &n));
    value = static_cast<ULONGLONG>(n);
  }
  BYTE bytes[8];
  for (UINT i = 0; i < width; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
  return call.ReturnBool(SUCCEEDED(Write(bytes, width, nullptr)));
}

HRESULT CStreamPlugin::ReadString(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 0, 2));
  TextEncoding encoding;
  ULONG length = 0;
  OMB_RETURN_IF_FAILED(EncodingArg(call.args, 0, &encoding));
  OMB_RETURN_IF_FAILED(OptionalCountArg(call.args, 1, &length));
  if (Remaining() == 0) return call.ReturnNull();
  const size_t window = static_cast<size_t>(std::min<ULONGLONG>(length, Remaining()));
  std::wstring text;
  size_t consumed = 0;
  OMB_RETURN_IF_FAILED(DecodeText(block_.get() + position_, window, encoding, &text, &consumed));
  position_ += consumed;
  return call.ReturnString(text.c_str(), static_cast<UINT>(text.size()));
}

HRESULT CStreamPlugin::WriteString(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 1, 2));
  const wchar_t* text = nullptr;
  UINT length = 0;
  TextEncoding encoding;
  OMB_RETURN_IF_FAILED(call.args.String(0, &text, &length));
  OMB_RETURN_IF_FAILED(EncodingArg(call.args, 1, &encoding));
  std::string bytes;
  OMB_RETURN_IF_FAILED(EncodeText(text, length, encoding, &bytes));
  ULONG written = 0;
  if (bytes.size() > kAllBytes ||
      FAILED(Write(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<ULONG>(bytes.size()),
                   &written)))
    written = 0;
  if (call.result) SetUI4(call.result, written);
  return S_OK;
}

HRESULT CStreamPlugin::Fill(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 1, 2));
  LONGLONG value = 0;
  ULONG count = 0;
  OMB_RETURN_IF_FAILED(SignedArg(call.args, 0, &value));
  if (value < 0 || value > 255) return E_INVALIDARG;
  OMB_RETURN_IF_FAILED(OptionalCountArg(call.args, 1, &count));
  const ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(count, Remaining()));
  if (n) memset(block_.get() + position_, static_cast<int>(value), n);
  position_ += n;
  if (call.result) {
    if (n <= 0x7FFFFFFF)
      SetI4(call.result, static_cast<LONG>(n));
    else
      SetUI4(call.result, n);
  }
  return S_OK;
}

HRESULT CStreamPlugin::Begin(DispCall& call) { return ReturnConstant(call, 0); }
HRESULT CStreamPlugin::Current(DispCall& call) { return ReturnConstant(call, 1); }
HRESULT CStreamPlugin::End(DispCall& call) { return ReturnConstant(call, 2); }

}  // namespace omb
