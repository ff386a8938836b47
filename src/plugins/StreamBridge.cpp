#include "plugins/StreamBridge.h"

#include "engine/GeneralStream.h"
#include "platform/ZvError.h"
#include "plugins/CallbackEntry.h"
#include "plugins/ZentavoAPI.h"

namespace zv {

namespace {

template <bool Input>
struct TStreamTable {
  static TGeneralStream& Stream(TLoadedPlugin& entry) {
    TGeneralStream* stream = Input ? entry.InputStream : entry.OutputStream;
    if (!stream) throw EZvError(Input ? L"The stage has no input stream" : L"The stage has no output stream");
    return *stream;
  }

  template <typename TResult, typename TBody>
  static TResult Run(uint32_t n, TResult failure, TBody body) noexcept {
    const TEntryName name{(Input ? ecInputStreamExceptionBase : ecOutputStreamExceptionBase) + n,
                          Input ? L"IStream." : L"OStream.", StreamEntryNames[n]};
    return RunEntry(name, failure, [&](TLoadedPlugin& entry) -> TResult { return body(Stream(entry)); });
  }

  // The plug-in's text is copied before the stream's lock is taken.
  static BOOL SetText(TGeneralStream& stream, bool (TGeneralStream::*set)(const char*), const char* text) {
    const std::string copy = CopyPluginText(text, MaxPluginTextLength);
    return AsBool((stream.*set)(text ? copy.c_str() : nullptr));
  }

  static BOOL GetValue(TGeneralStream& stream, bool (TGeneralStream::*get)(int64_t*), int64_t* target) {
    if (!target) return AsBool((stream.*get)(nullptr));
    int64_t value = 0;
    if (!(stream.*get)(&value)) return FALSE;
    StorePluginValue(target, value);
    return AsBool(true);
  }

  // A fault inside the stream's copy would leave its lock held.
  static void CheckBuffer(const void* buffer, int32_t count, bool forWriting) {
    if (buffer && count > 0 && !IsAccessibleRange(buffer, static_cast<size_t>(count), forWriting))
      throw EZvError(L"The buffer of " + std::to_wstring(count) + L" bytes cannot be " +
                     (forWriting ? L"written" : L"read"));
  }

  static const char* __stdcall GetPathA() {
    return Run(0, static_cast<const char*>(nullptr), [](TGeneralStream& s) { return s.GetPathA(); });
  }
  static BOOL __stdcall SetPathA(const char* text) {
    return Run(1, FALSE, [&](TGeneralStream& s) { return SetText(s, &TGeneralStream::SetPathA, text); });
  }
  static const char* __stdcall GetNameA() {
    return Run(2, static_cast<const char*>(nullptr), [](TGeneralStream& s) { return s.GetNameA(); });
  }
  static BOOL __stdcall SetNameA(const char* text) {
    return Run(3, FALSE, [&](TGeneralStream& s) { return SetText(s, &TGeneralStream::SetNameA, text); });
  }
  static const char* __stdcall GetExtensionA() {
    return Run(4, static_cast<const char*>(nullptr), [](TGeneralStream& s) { return s.GetExtensionA(); });
  }
  static BOOL __stdcall SetExtensionA(const char* text) {
    return Run(5, FALSE, [&](TGeneralStream& s) { return SetText(s, &TGeneralStream::SetExtensionA, text); });
  }
  static BOOL __stdcall GetSize(int64_t* size) {
    return Run(6, FALSE, [&](TGeneralStream& s) { return GetValue(s, &TGeneralStream::GetSize, size); });
  }
  static BOOL __stdcall SetSize(int64_t size) {
    return Run(7, FALSE, [&](TGeneralStream& s) { return AsBool(s.SetSize(size)); });
  }
  static BOOL __stdcall GetPosition(int64_t* position) {
    return Run(8, FALSE, [&](TGeneralStream& s) { return GetValue(s, &TGeneralStream::GetPosition, position); });
  }
  static BOOL __stdcall Seek(int64_t offset, int32_t moveType) {
    return Run(9, FALSE, [&](TGeneralStream& s) { return AsBool(s.Seek(offset, moveType)); });
  }
  static int32_t __stdcall Read(void* buffer, int32_t count) {
    return Run(10, -1, [&](TGeneralStream& s) {
      CheckBuffer(buffer, count, true);
      return s.Read(buffer, count);
    });
  }
  static int32_t __stdcall Write(const void* buffer, int32_t count) {
    return Run(11, -1, [&](TGeneralStream& s) {
      CheckBuffer(buffer, count, false);
      return s.Write(buffer, count);
    });
  }
  static BOOL __stdcall IsEndOfStream() {
    return Run(12, AsBool(true), [](TGeneralStream& s) { return AsBool(s.IsEndOfStream()); });
  }

  static constexpr TStreamInterface Table = {GetPathA,    SetPathA, GetNameA, SetNameA, GetExtensionA,
                                             SetExtensionA, GetSize, SetSize,  GetPosition, Seek,
                                             Read,        Write,    IsEndOfStream};
};

}  // namespace

void InitStreamBridge() {
  *GetInputStreamInterface() = TStreamTable<true>::Table;
  *GetOutputStreamInterface() = TStreamTable<false>::Table;
}

}  // namespace zv
