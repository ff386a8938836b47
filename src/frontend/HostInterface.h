// The file manager's side of our binary interface: the values, the record
// and the callbacks of its file-system plug-in interface, as far as we use
// them. The host finds our 16 Fs* exports by name (src/Zentavo.def); every
// one uses the Windows API calling convention and ANSI texts in the system's
// ANSI code page.
#pragma once
#include <windows.h>

#include <cstdint>

namespace zv {

// Results of the three file calls: every failure is an abort, which ends the
// host's operation.
inline constexpr int FS_FILE_OK = 0;
inline constexpr int FS_FILE_USERABORT = 5;

// Results of FsExecuteFile.
inline constexpr int FS_EXEC_OK = 0;
inline constexpr int FS_EXEC_ERROR = 1;

// FsStatusInfo: whether an operation starts or ends, and which it is.
inline constexpr int FS_STATUS_START = 0;
inline constexpr int FS_STATUS_END = 1;
inline constexpr int FS_STATUS_OP_LIST = 1;
inline constexpr int FS_STATUS_OP_GET_SINGLE = 2;
inline constexpr int FS_STATUS_OP_GET_MULTI = 3;
inline constexpr int FS_STATUS_OP_PUT_SINGLE = 4;
inline constexpr int FS_STATUS_OP_PUT_MULTI = 5;
inline constexpr int FS_STATUS_OP_RENMOV_SINGLE = 6;
inline constexpr int FS_STATUS_OP_RENMOV_MULTI = 7;

// Get, put and rename/move run their files through the pipe; every other
// operation passes without a batch.
constexpr bool IsTransformingOperation(int operation) {
  return operation >= FS_STATUS_OP_GET_SINGLE && operation <= FS_STATUS_OP_RENMOV_MULTI;
}
constexpr bool IsGetOperation(int operation) {
  return operation == FS_STATUS_OP_GET_SINGLE || operation == FS_STATUS_OP_GET_MULTI;
}

// Copy flag of FsGetFile and FsPutFile: delete the source after the copy.
inline constexpr int FS_COPYFLAGS_MOVE = 4;

// The record FsSetDefaultParams points to. Only the version is read; the
// host's record may be longer than what we declare.
struct TFsDefaultParams {
  int32_t Size;
  int32_t PluginInterfaceVersionLow;   // compared as signed
  int32_t PluginInterfaceVersionHigh;  // compared as signed
  char DefaultIniName[MAX_PATH];
};

// The host's progress callback: plug-in number, ANSI source and target
// names, percent done. A result above 0 asks to abort.
using TProgressProc = int(WINAPI*)(int pluginNr, char* sourceName, char* targetName, int percentDone);
// The host's log and request callbacks reach FsInit too; we never call or
// keep them, so their signatures stay the host's business.
using THostCallback = void(WINAPI*)();

// The class of the host's main window, the owner of our dialogs.
inline constexpr wchar_t HostMainWindowClass[] = L"TTOTAL_CMD";

}  // namespace zv
