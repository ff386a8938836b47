// Folders on disk: the system's temporary folder and existence tests.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace zv {

// The system's temporary folder in its long form, without the trailing
// backslash. When the long form cannot be had (the folder may be missing),
// the path as the system gives it; empty when the system gives none.
std::wstring SystemTempFolder();

// True when the path names an existing directory (false for the empty text).
bool DirectoryExists(const std::wstring& path);

// Which file a path leads to, whatever the spelling of the path (letter case,
// short names, links, another route to the same volume).
struct TFileIdentity {
  DWORD VolumeSerial;
  DWORD IndexHigh, IndexLow;
  bool operator==(const TFileIdentity&) const = default;
};
// None when the file cannot be opened or asked.
std::optional<TFileIdentity> FileIdentityOf(const std::wstring& path);

}  // namespace zv
