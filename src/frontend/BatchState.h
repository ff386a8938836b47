// The process-wide state that the file-system exports share across a batch
// (a copy, move or rename operation of the host). The exports write it; the
// root listing, the path mapping and the progress panel read it. It has no
// lock: the host makes a batch's calls one after the other (start, files,
// end). The flags that other threads read while a batch runs are atomic.
// The list of created directories lives in the engine (engine/CreatedDirectories.h),
// because the pipe runner takes entries out of it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace zv {

// The host's progress callback: plug-in number, ANSI source and target names,
// percent done. A result above 0 asks to abort.
using TProgressProc = int(WINAPI*)(int pluginNr, char* sourceName, char* targetName, int percentDone);

// The host's main window (FsInit); owner of the boxes when no dialog of ours is open.
extern HWND HostMainWindow;
// The number the host gave this plug-in (FsInit); first argument of every progress call.
extern int32_t PluginNumber;
// The host's progress callback (FsInit); none: progress is not reported and never aborts.
extern TProgressProc ProgressProc;
// The host offers an older interface version (FsSetDefaultParams); read by root listings.
extern std::atomic<bool> OldHostInterface;
// The real path of the batch's directory, without a trailing "\" (set at the batch's start).
extern std::wstring CurrentRemoteDir;
// No progress panel has been opened in this batch yet (set by FsInit and at the
// batch's end, cleared by the first file).
extern std::atomic<bool> ProgressFormClosed;

}  // namespace zv
