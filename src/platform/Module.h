// The module that holds our code and where it lies: the DLL in the host, or
// the test executable that links the same objects.
#pragma once
#include <windows.h>

#include <string>

namespace zv {

// The module that holds this code.
HMODULE ThisModule();

// The directory of our own module file (not the host's executable), without
// a trailing backslash except for a drive root ("C:\").
std::wstring GetModuleDir();
// The directory part of a module's file name by the same rule.
std::wstring ModuleDirOf(const std::wstring& fileName);

// Loads a library of the system (msftedit.dll, hhctrl.ocx) from the system
// folder only: the search order would try the host's folder first, where any
// file of that name would run with the host's rights. Null when it fails.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace zv
