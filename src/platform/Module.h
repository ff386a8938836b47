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

}  // namespace zv
