// The 16 functions the file manager calls (named in src/Zentavo.def): set-up,
// the root and real directories for browsing, the action entries, the plain
// file operations and the operation bracket with its file calls.
//
// Each export is one guarded body: no exception may unwind into the host, so
// a failure becomes the answer the host expects of a failure (file calls
// FS_FILE_USERABORT, a search INVALID_HANDLE_VALUE with ERROR_NO_MORE_FILES,
// BOOLs 0, FsExecuteFile an "Error" box and FS_EXEC_OK).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/BatchState.h"
#include "frontend/HostInterface.h"
#include "frontend/HostPaths.h"
#include "frontend/Lifetime.h"
#include "frontend/OperationBracket.h"
#include "frontend/TCUtilities.h"
#include "frontend/VirtualRoot.h"
#include "frontend/ZentavoSettings.h"
#include "platform/Boundary.h"
#include "platform/Dialogs.h"
#include "platform/Lock.h"
#include "platform/Module.h"
#include "platform/TextConv.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"

using namespace zv;

namespace {

constexpr BOOL SystemTrue = -1;  // what we answer for true ourselves
constexpr char RootName[] = "Zentavo";

// The handle of the root enumeration: an odd value below 64 KiB, which no
// find handle of the system (an address) can ever be.
const HANDLE RootFindHandle = reinterpret_cast<HANDLE>(0xF1ED);

// The find handles of real directories that we gave the host and it has not
// closed. Any other value is never passed to the system, which would take
// it for the address of its own search record.
class TFindHandles {
public:
  void Add(HANDLE handle) {
    TLockGuard guard(FLock);
    FHandles.push_back(handle);
  }
  bool Contains(HANDLE handle) {
    TLockGuard guard(FLock);
    return std::find(FHandles.begin(), FHandles.end(), handle) != FHandles.end();
  }
  bool Remove(HANDLE handle) {
    TLockGuard guard(FLock);
    return std::erase(FHandles, handle) > 0;
  }

private:
  TCriticalSection FLock;
  std::vector<HANDLE> FHandles;
};
TFindHandles FindHandles;

HANDLE NoMoreFiles() {
  ::SetLastError(ERROR_NO_MORE_FILES);
  return INVALID_HANDLE_VALUE;
}

// A root entry into the find data; false at the end of the listing.
bool FillRootEntry(const std::string& name, WIN32_FIND_DATAA& findData) {
  if (name.empty()) return false;
  FillFindData(findData, name.c_str(), RootEntryIndex <= RootLastDriveSlot);
  return true;
}

HANDLE FindFirstEntry(const char* path, WIN32_FIND_DATAA* findData) {
  if (!path || !findData) return NoMoreFiles();
  // Outside a listing the host sees the root and the drive entries as empty.
  if (!IsRealPathA(path) && CurrentOperation != FS_STATUS_OP_LIST) return NoMoreFiles();
  if (std::strcmp(path, "\\") == 0) {
    if (!FillRootEntry(GetFirstRootEntryA(), *findData)) return NoMoreFiles();
    RootListing = true;
    return RootFindHandle;
  }
  const std::string pattern = GetRealPathA(path) + "\\*.*";
  const HANDLE handle = ::FindFirstFileA(pattern.c_str(), findData);
  // Whatever the reason, the host then treats the directory as empty.
  if (handle == INVALID_HANDLE_VALUE) return NoMoreFiles();
  TScopedFind owned(handle);
  FindHandles.Add(handle);
  return owned.Release();
}

BOOL FindNextEntry(HANDLE handle, WIN32_FIND_DATAA* findData) {
  if (!findData) return FALSE;
  if (handle == RootFindHandle) return RootListing && FillRootEntry(GetNextRootEntryA(), *findData) ? SystemTrue : FALSE;
  if (!FindHandles.Contains(handle)) {
    ::SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return ::FindNextFileA(handle, findData);
}

void CloseFind(HANDLE handle) {
  if (handle == RootFindHandle)
    RootListing = false;
  else if (FindHandles.Remove(handle))
    ::FindClose(handle);
}

int ExecuteFile(HWND mainWin, const char* remoteName, const char* verb) {
  const std::string name = remoteName ? remoteName : "";
  const std::string action = verb ? verb : "";
  if (name.empty()) return FS_EXEC_OK;
  if (IsRealPathA(remoteName)) {
    if (action != "open") return FS_EXEC_OK;
    const std::wstring path = AnsiToWide(GetRealPathA(remoteName));
    // It starts in its own folder (a drive's root keeps its "\").
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(mainWin, L"open", path.c_str(), nullptr, ModuleDirOf(path).c_str(), SW_SHOWDEFAULT));
    return result > 32 ? FS_EXEC_OK : FS_EXEC_ERROR;
  }
  const bool openOrProperties = action == "open" || action == "properties";
  const std::string entry = name.starts_with('\\') ? name.substr(1) : std::string();  // an entry of the root
  if ((openOrProperties && entry == WideToAnsi(SettingsEntryName)) || (name == "\\" && action == "properties"))
    ShowModalCentered<TZentavoSettingsForm>(mainWin);
  else if (openOrProperties && entry == WideToAnsi(HelpEntryName))
    ShowHelp(HowItWorksTopic);
  return FS_EXEC_OK;
}

// The plain operations act on real paths only; any other path is left alone
// and answers true.
template <typename TAction>
BOOL OnRealPath(const char* remoteName, TAction action) {
  if (!IsRealPathA(remoteName)) return SystemTrue;
  return action(GetRealPathA(remoteName));
}

BOOL SetAttributes(const std::string& path, int newAttributes) {
  constexpr DWORD Replaced = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE;
  const DWORD current = ::GetFileAttributesA(path.c_str());
  // Without the current attributes the result would be made of the error value's bits.
  if (current == INVALID_FILE_ATTRIBUTES) return FALSE;
  return ::SetFileAttributesA(path.c_str(), static_cast<DWORD>(newAttributes) | (current & ~Replaced));
}

BOOL SetTimes(const std::string& path, const FILETIME* creation, const FILETIME* lastAccess,
              const FILETIME* lastWrite) {
  // Backup semantics let directories open too.
  const TScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return FALSE;
  return ::SetFileTime(file.Get(), creation, lastAccess, lastWrite);
}

}  // namespace

extern "C" {

int WINAPI FsInit(int pluginNr, TProgressProc progressProc, THostCallback, THostCallback) {
  GuardBoundary([&] { InitLibrary(pluginNr, progressProc); });
  return 0;
}

void WINAPI FsSetDefaultParams(const TFsDefaultParams* params) {
  if (!params) return;
  const bool old = params->PluginInterfaceVersionHigh < 2 && params->PluginInterfaceVersionLow < 40;
  OldHostInterface = old;
  if (old) CurrentOperation = FS_STATUS_OP_LIST;
}

void WINAPI FsGetDefRootName(char* defRootName, int maxLen) {
  if (!defRootName || maxLen <= 0) return;
  const size_t length = std::min(sizeof(RootName) - 1, static_cast<size_t>(maxLen) - 1);
  std::memcpy(defRootName, RootName, length);
  defRootName[length] = '\0';
}

HANDLE WINAPI FsFindFirst(const char* path, WIN32_FIND_DATAA* findData) {
  const HANDLE handle = GuardBoundary(INVALID_HANDLE_VALUE, [&] { return FindFirstEntry(path, findData); });
  if (handle == INVALID_HANDLE_VALUE) ::SetLastError(ERROR_NO_MORE_FILES);
  return handle;
}

BOOL WINAPI FsFindNext(HANDLE handle, WIN32_FIND_DATAA* findData) {
  return GuardBoundary(FALSE, [&] { return FindNextEntry(handle, findData); });
}

int WINAPI FsFindClose(HANDLE handle) {
  GuardBoundary([&] { CloseFind(handle); });
  return 0;
}

int WINAPI FsExecuteFile(HWND mainWin, const char* remoteName, const char* verb) {
  return GuardBoundary(FS_EXEC_OK, [&] { return ExecuteFile(mainWin, remoteName, verb); },
                       [] { ShowMessageBoxOwned(ParentWindow, CurrentExceptionMessage(), L"Error", MB_ICONERROR); });
}

void WINAPI FsStatusInfo(const char* remoteDir, int infoStartEnd, int infoOperation) {
  GuardBoundary([&] {
    if (infoStartEnd == FS_STATUS_START)
      StartOperation(remoteDir, infoOperation);
    else if (infoStartEnd == FS_STATUS_END)
      EndOperation(infoOperation);
  });
}

int WINAPI FsGetFile(const char* remoteName, const char* localName, int copyFlags, void*) {
  return GuardBoundary(FS_FILE_USERABORT, [&] { return TransformGetFile(remoteName, localName, copyFlags); });
}

int WINAPI FsPutFile(const char* localName, const char* remoteName, int copyFlags) {
  return GuardBoundary(FS_FILE_USERABORT, [&] { return TransformPutFile(localName, remoteName, copyFlags); });
}

int WINAPI FsRenMovFile(const char* oldName, const char* newName, BOOL move, BOOL, void*) {
  return GuardBoundary(FS_FILE_USERABORT, [&] { return TransformRenMovFile(oldName, newName, move != FALSE); });
}

BOOL WINAPI FsDeleteFile(const char* remoteName) {
  return GuardBoundary(FALSE, [&] {
    return OnRealPath(remoteName, [](const std::string& path) { return ::DeleteFileA(path.c_str()); });
  });
}

BOOL WINAPI FsRemoveDir(const char* remoteName) {
  return GuardBoundary(FALSE, [&] {
    return OnRealPath(remoteName, [](const std::string& path) { return ::RemoveDirectoryA(path.c_str()); });
  });
}

BOOL WINAPI FsMkDir(const char* path) {
  return GuardBoundary(FALSE, [&] {
    // During a batch the runner makes the directories its outputs need.
    if (TransformActive) return SystemTrue;
    return OnRealPath(path, [](const std::string& real) { return ::CreateDirectoryA(real.c_str(), nullptr); });
  });
}

BOOL WINAPI FsSetAttr(const char* remoteName, int newAttr) {
  return GuardBoundary(FALSE, [&] {
    return OnRealPath(remoteName, [&](const std::string& path) { return SetAttributes(path, newAttr); });
  });
}

BOOL WINAPI FsSetTime(const char* remoteName, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                      const FILETIME* lastWriteTime) {
  return GuardBoundary(FALSE, [&] {
    return OnRealPath(remoteName, [&](const std::string& path) {
      return SetTimes(path, creationTime, lastAccessTime, lastWriteTime);
    });
  });
}

}  // extern "C"
