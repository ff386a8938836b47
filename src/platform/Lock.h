// A critical section and its scope guard.
#pragma once
#include <windows.h>

namespace zv {

class TCriticalSection {
public:
  TCriticalSection() { ::InitializeCriticalSection(&FSection); }
  ~TCriticalSection() { ::DeleteCriticalSection(&FSection); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { ::EnterCriticalSection(&FSection); }
  void Leave() { ::LeaveCriticalSection(&FSection); }

private:
  CRITICAL_SECTION FSection;
};

// Holds the section for one scope; released on every exit, exceptions included.
class TLockGuard {
public:
  explicit TLockGuard(TCriticalSection& cs) : FSection(cs) { FSection.Enter(); }
  ~TLockGuard() { FSection.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

private:
  TCriticalSection& FSection;
};

}  // namespace zv
