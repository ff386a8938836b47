// Small services shared by the front end, the plug-in host, the settings and
// the online services.
#pragma once
#include <windows.h>
#include <string>

namespace zv {

// Owner of every message box and modal dialog not owned by a dialog of ours.
extern HWND ParentWindow;

// The directory of our own library file (not the host's executable), without
// a trailing backslash except for a drive root ("C:\").
std::wstring GetModuleDir();

// The module that holds this code: the DLL, or the test executable that links it.
HMODULE ThisModule();

}  // namespace zv
