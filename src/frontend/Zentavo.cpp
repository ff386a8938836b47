// The library's main unit: the entry point of Zentavo.wfx. Loading needs
// nothing here: the units' own initialization registers what they need (the
// progress message among them); FsInit does the rest.
#include <windows.h>

#include "frontend/Lifetime.h"
#include "platform/Boundary.h"

// Thread notifications stay on: the library keeps thread-local data (the
// error box's hook, the progress panel's thread mark), and the runtime sets
// it up and frees it through them for the threads the host starts.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // reserved is set when the process exits rather than the host freeing us.
  if (reason == DLL_PROCESS_DETACH) zv::GuardBoundary([&] { zv::UnloadLibrary(reserved != nullptr); });
  return TRUE;
}
