// The library's main unit: the entry point of Zentavo.wfx.
#include <windows.h>

// Thread notifications stay on: the library keeps thread-local data (the
// error box's hook, the progress panel's thread mark), and the runtime sets
// it up and frees it through them for the threads the host starts.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
