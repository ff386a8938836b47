// What every entry of the callback tables does around its work. A plug-in
// calls the entries from its own frames, which a C++ exception cannot unwind
// through, so each entry runs its body under GuardBoundary: the body may
// raise, the entry answers its row's failure result, and the failure is
// reported once through the error entry under the entry's code and name.
//
// The entries carry no identity: they act on the current pipe entry. With
// none (a plug-in thread calling after its call ended) there is nothing to
// act on and nobody to name in a report: the entry answers its failure
// result at once.
//
// Plug-in texts, data and out-variables and plug-in code (an enumeration
// callback) are touched only through the structured exception guard, with
// no C++ frame in between, so a bad pointer becomes an ordinary exception of
// the entry and no lock of ours is left held. Read and write buffers, which
// a stream copies under its lock, are checked over their whole range first.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/Boundary.h"
#include "platform/SehGuard.h"
#include "plugins/PluginFile.h"

namespace zv {

// A Boolean as the plug-in interface answers it: -1 for true.
inline BOOL AsBool(bool value) { return value ? -1 : 0; }

// An entry as its failures are reported: code, and the function name as
// prefix + name ("OStream." + "Read"). Code 0: failures are not reported.
struct TEntryName {
  uint32_t Code;
  const wchar_t* Prefix;
  const wchar_t* Name;
};

// Reports the exception being handled as a failure of the entry (call it
// inside a handler only).
void ReportEntryException(TLoadedPlugin& entry, const TEntryName& name) noexcept;

// body (TLoadedPlugin& current) → TResult, under our floating-point settings.
template <typename TResult, typename TBody>
TResult RunEntry(const TEntryName& name, TResult failure, TBody&& body) noexcept {
  const TDefaultFloatingPoint floatingPoint;
  TLoadedPlugin* entry = CurrentPlugin();
  if (!entry) return failure;
  return GuardBoundary(
      failure, [&]() -> TResult { return body(*entry); },
      [&] {
        if (name.Code) ReportEntryException(*entry, name);
      });
}

// Raises the guard's fault as an exception of the entry, with its message.
[[noreturn]] void RaiseFault(const TSehFault& fault);

// A plug-in's zero-terminated text, at most maxBytes of it; a null text
// gives the empty text.
std::string CopyPluginText(const char* text, size_t maxBytes);
// The same converted from the ANSI code page, at most maxChars characters,
// read no further than the code page's widest characters need.
std::wstring CopyPluginChars(const char* text, size_t maxChars);

// Stores a value into a plug-in's variable.
template <typename T>
void StorePluginValue(T* target, const T& value) {
  TSehFault fault;
  if (!SehCopyBytes(target, &value, sizeof(T), fault)) RaiseFault(fault);
}

}  // namespace zv
