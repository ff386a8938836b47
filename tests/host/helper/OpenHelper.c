/* Started through FsExecuteFile's "open": writes the folder it runs in to
   "<its own path>.cwd" (whole, through a rename) and ends. */
#include <windows.h>

int main(void) {
  char self[MAX_PATH], part[MAX_PATH + 8], done[MAX_PATH + 8], folder[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, folder), written;
  HANDLE file;
  GetModuleFileNameA(NULL, self, MAX_PATH);
  wsprintfA(part, "%s.part", self);
  wsprintfA(done, "%s.cwd", self);
  file = CreateFileA(part, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  WriteFile(file, folder, length, &written, NULL);
  CloseHandle(file);
  return !MoveFileA(part, done);
}
