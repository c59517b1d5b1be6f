// "stream": a growable in-memory byte block with a position. Script reads
// and writes typed little-endian values and encoded text through the
// dispatch table; other plug-ins (file I/O, zip) move bytes through the
// native OMB::IStream without going through script.
//
// A stream holds nothing tied to a thread or apartment, so the object
// aggregates the free-threaded marshaler: handed between apartments of this
// process (to a worker thread, or back from one) it arrives as itself, still
// answering OMB::IStream, rather than as a proxy that would not.
#pragma once

#include <memory>
#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CStreamPlugin : public ComObject<CStreamPlugin, OMB::IPluginImpl<CStreamPlugin>,
                                       DispatchTable<CStreamPlugin>, OMB::IStream> {
 public:
  static constexpr const char* kClassName = "CStreamPlugin";
  static constexpr bool kTypeInfoNotImplemented = true;
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CStreamPlugin>> Members() noexcept;

  CStreamPlugin() noexcept;

  HRESULT QueryOther(REFIID iid, void** out) noexcept;

  // IDispatch, shared by the dispatch table and OMB::IStream.
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  // OMB::IStream
  STDMETHODIMP Read(BYTE* destination, ULONG count, ULONG* read) noexcept override;
  STDMETHODIMP Write(const BYTE* source, ULONG count, ULONG* written) noexcept override;
  STDMETHODIMP Seek(LONGLONG offset, ULONG origin, ULONGLONG* position) noexcept override;
  STDMETHODIMP CopyTo(OMB::IStream* destination, ULONG count, ULONG* copied) noexcept override;
  STDMETHODIMP SetSize(ULONGLONG size) noexcept override;
  STDMETHODIMP_(ULONGLONG) GetSize() noexcept override { return size_; }
  STDMETHODIMP_(BYTE*) GetBuffer() noexcept override { return block_.get(); }

  ULONGLONG Capacity() const noexcept { return capacity_; }
  ULONGLONG Position() const noexcept { return position_; }

  // The capacity a block must grow to so it holds needed bytes, by the
  // growth rule (steps of a tenth of the capacity, in whole MiB, at least
  // one MiB); capacity itself when it already suffices.
  static ULONGLONG GrownCapacity(ULONGLONG capacity, ULONGLONG needed) noexcept;

  // Script members.
  HRESULT CopyToMember(DispCall& call);
  HRESULT SeekMember(DispCall& call);
  HRESULT SetSizeMember(DispCall& call);
  HRESULT GetSizeMember(DispCall& call);
  HRESULT ReadUInt8(DispCall& call) { return ReadInteger(call, 1); }
  HRESULT ReadUInt16(DispCall& call) { return ReadInteger(call, 2); }
  HRESULT ReadUInt32(DispCall& call) { return ReadInteger(call, 4); }
  HRESULT ReadUInt64(DispCall& call) { return ReadInteger(call, 8); }
  HRESULT WriteUInt8(DispCall& call) { return WriteInteger(call, 1); }
  HRESULT WriteUInt16(DispCall& call) { return WriteInteger(call, 2); }
  HRESULT WriteUInt32(DispCall& call) { return WriteInteger(call, 4); }
  HRESULT WriteUInt64(DispCall& call) { return WriteInteger(call, 8); }
  HRESULT ReadString(DispCall& call);
  HRESULT WriteString(DispCall& call);
  HRESULT Fill(DispCall& call);
  HRESULT Begin(DispCall& call);
  HRESULT Current(DispCall& call);
  HRESULT End(DispCall& call);

 private:
  struct FreeBlock {
    void operator()(BYTE* p) const noexcept { ::free(p); }
  };
  using Block = std::unique_ptr<BYTE[], FreeBlock>;

  // Grows the block to hold needed bytes. The old block moves to retired so
  // a caller copying from it (a stream written into itself) can finish first.
  HRESULT Reserve(ULONGLONG needed, Block* retired) noexcept;
  // Bytes from the position to the end of the data (0 at or past the end).
  ULONGLONG Remaining() const noexcept { return position_ < size_ ? size_ - position_ : 0; }

  HRESULT ReadInteger(DispCall& call, UINT width);
  HRESULT WriteInteger(DispCall& call, UINT width);

  Block block_;
  ULONGLONG capacity_ = 0;
  ULONGLONG position_ = 0;
  ULONGLONG size_ = 0;
  ComPtr<IUnknown> marshaler_;  // the aggregated free-threaded marshaler
};

}  // namespace omb
