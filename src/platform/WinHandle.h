// Thin owners for Win32 handles: one owner, moved never copied, closed once.
#pragma once
#include <windows.h>
#include <utility>

namespace zv {

// How a kind of handle is held: its type, its empty value, which values are
// live handles, and how one is closed.
template <typename T, typename Closer>
struct TNullIsEmpty {
  using Type = T;
  static T Empty() { return nullptr; }
  static bool Live(T h) { return h != nullptr; }
  static void Close(T h) { Closer()(h); }
};

// Files and find handles fail with INVALID_HANDLE_VALUE; null is no handle either.
template <typename Closer>
struct TInvalidIsEmpty {
  using Type = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Live(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { Closer()(h); }
};

template <typename TTraits>
class TScopedHandle {
public:
  using T = typename TTraits::Type;

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
  bool Valid() const { return TTraits::Live(FHandle); }
  explicit operator bool() const { return Valid(); }
  T Release() { return std::exchange(FHandle, TTraits::Empty()); }
  void Reset(T h = TTraits::Empty()) {
    if (Valid()) TTraits::Close(FHandle);
    FHandle = h;
  }

private:
  T FHandle = TTraits::Empty();
};

struct TCloseHandle { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct TFindClose   { void operator()(HANDLE h) const { ::FindClose(h); } };
struct TRegCloseKey { void operator()(HKEY h) const { ::RegCloseKey(h); } };
struct TDeleteObject { void operator()(HGDIOBJ h) const { ::DeleteObject(h); } };
struct THeapDestroy { void operator()(HANDLE h) const { ::HeapDestroy(h); } };

// Events, mutexes, threads, processes: every kernel object closed by CloseHandle.
using TScopedKernelHandle = TScopedHandle<TNullIsEmpty<HANDLE, TCloseHandle>>;
using TScopedHKey   = TScopedHandle<TNullIsEmpty<HKEY, TRegCloseKey>>;
using TScopedGdiObj = TScopedHandle<TNullIsEmpty<HGDIOBJ, TDeleteObject>>;
using TScopedHeap   = TScopedHandle<TNullIsEmpty<HANDLE, THeapDestroy>>;
using TScopedFile = TScopedHandle<TInvalidIsEmpty<TCloseHandle>>;
using TScopedFind = TScopedHandle<TInvalidIsEmpty<TFindClose>>;

}  // namespace zv
