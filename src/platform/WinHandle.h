// Thin owners for Win32 handles: one owner, moved never copied, closed once.
#pragma once
#include <windows.h>
#include <utility>

namespace zv {

template <typename T, T Invalid, typename Closer>
class TScopedHandle {
public:
  TScopedHandle() = default;
  explicit TScopedHandle(T h) : FHandle(h) {}
  ~TScopedHandle() { Reset(); }
  TScopedHandle(const TScopedHandle&) = delete;
  TScopedHandle& operator=(const TScopedHandle&) = delete;
  TScopedHandle(TScopedHandle&& o) noexcept : FHandle(o.Release()) {}
  TScopedHandle& operator=(TScopedHandle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }

  T Get() const { return FHandle; }
  bool Valid() const { return FHandle != Invalid; }
  explicit operator bool() const { return Valid(); }
  T Release() { return std::exchange(FHandle, Invalid); }
  void Reset(T h = Invalid) {
    if (FHandle != Invalid) Closer()(FHandle);
    FHandle = h;
  }

private:
  T FHandle = Invalid;
};

struct TCloseHandle { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct TFindClose   { void operator()(HANDLE h) const { ::FindClose(h); } };
struct TRegCloseKey { void operator()(HKEY h) const { ::RegCloseKey(h); } };
struct TFreeLibrary { void operator()(HMODULE h) const { ::FreeLibrary(h); } };
struct TDeleteObject { void operator()(HGDIOBJ h) const { ::DeleteObject(h); } };
struct TDestroyWindow { void operator()(HWND h) const { ::DestroyWindow(h); } };
struct THeapDestroy { void operator()(HANDLE h) const { ::HeapDestroy(h); } };

using TScopedEvent  = TScopedHandle<HANDLE, nullptr, TCloseHandle>;
using TScopedThread = TScopedHandle<HANDLE, nullptr, TCloseHandle>;
using TScopedHKey   = TScopedHandle<HKEY, nullptr, TRegCloseKey>;
using TScopedModule = TScopedHandle<HMODULE, nullptr, TFreeLibrary>;
using TScopedGdiObj = TScopedHandle<HGDIOBJ, nullptr, TDeleteObject>;
using TScopedWindow = TScopedHandle<HWND, nullptr, TDestroyWindow>;
using TScopedHeap   = TScopedHandle<HANDLE, nullptr, THeapDestroy>;

// A file or find handle, whose failure value is INVALID_HANDLE_VALUE.
template <typename Closer>
class TScopedInvalidHandle {
public:
  TScopedInvalidHandle() = default;
  explicit TScopedInvalidHandle(HANDLE h) : FHandle(h) {}
  ~TScopedInvalidHandle() { Reset(); }
  TScopedInvalidHandle(const TScopedInvalidHandle&) = delete;
  TScopedInvalidHandle& operator=(const TScopedInvalidHandle&) = delete;
  TScopedInvalidHandle(TScopedInvalidHandle&& o) noexcept : FHandle(o.Release()) {}
  TScopedInvalidHandle& operator=(TScopedInvalidHandle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  explicit operator bool() const { return Valid(); }
  HANDLE Release() { return std::exchange(FHandle, INVALID_HANDLE_VALUE); }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (Valid()) Closer()(FHandle);
    FHandle = h;
  }

private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

using TScopedFile = TScopedInvalidHandle<TCloseHandle>;
using TScopedFind = TScopedInvalidHandle<TFindClose>;

}  // namespace zv
