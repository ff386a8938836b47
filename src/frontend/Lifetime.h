// What the host's FsInit sets up and what unloading the library frees: the
// host's main window, the plug-ins' callback tables, the four process-wide
// managers and the host's callback.
//
// The managers live from the first FsInit to the unload. A second FsInit
// keeps them (and a running batch) and only takes the host's new plug-in
// number, progress callback and main window.
#pragma once
#include <windows.h>

#include <cstdint>

#include "frontend/HostInterface.h"

namespace zv {

// The first top-level window of the host's main class in this process, else
// the active window.
HWND FindHostMainWindow();

// FsInit's work, in this order: the host's main window, the callback tables,
// the managers that do not exist yet (settings, plug-in registry, profiles,
// services), then the host's number and callback and, unless a batch runs,
// a fresh batch state.
void InitLibrary(int32_t pluginNr, TProgressProc progressProc);

// At DLL_PROCESS_DETACH. On FreeLibrary: a batch the host never ended is
// torn down (its plug-ins unloaded) and the progress panels and host windows
// are let go, so that no window calls our code after the unload. Then, at
// process exit too (where the other threads are gone and the plug-ins may be
// unloaded already), an error report that ended unhandled is remembered and
// the managers are freed (profiles, settings with the configuration file,
// plug-in registry, services); at process exit the registry's entries that
// still wait for a plug-in's call are left loaded rather than unloaded. Nothing
// here waits for another thread to finish.
void UnloadLibrary(bool processExit);

}  // namespace zv
