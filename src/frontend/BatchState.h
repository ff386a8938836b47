// The process-wide state that the file-system exports share across a batch
// (a copy, move or rename operation of the host). The exports write it; the
// root listing, the path mapping and the progress panel read it. It has no
// lock: the host makes a batch's calls one after the other (start, files,
// end). What other threads read while a batch runs (the file thread, a
// listing on the user-interface thread, a late FsInit) is atomic.
// The list of created directories lives in the engine (engine/CreatedDirectories.h),
// because the pipe runner takes entries out of it; so does the batch's
// runner (ActiveTransformManager, engine/TransformProgress.h).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "frontend/HostInterface.h"

namespace zv {

// The host's main window (FsInit); owner of the boxes when no dialog of ours is open.
extern std::atomic<HWND> HostMainWindow;
// The number the host gave this plug-in (FsInit); first argument of every progress call.
extern std::atomic<int32_t> PluginNumber;
// The host's progress callback (FsInit); none: progress is not reported and never aborts.
extern std::atomic<TProgressProc> ProgressProc;
// The host offers an older interface version (FsSetDefaultParams); read by root listings.
extern std::atomic<bool> OldHostInterface;
// The real path of the batch's directory, without a trailing "\" (set at the batch's start).
extern std::wstring CurrentRemoteDir;
// No progress panel has been opened in this batch yet (set by FsInit and at the
// batch's end, cleared by the first file).
extern std::atomic<bool> ProgressFormClosed;
// The operation code of the host's latest operation start, kept after its
// end; 0 at load, FS_STATUS_OP_LIST for an older host (FsSetDefaultParams).
// The root can be listed only while it is a listing.
extern std::atomic<int32_t> CurrentOperation;
// A root enumeration is open (FsFindFirst of "\" until its FsFindClose). It
// is known by its handle, so an enumeration of a real directory on another
// thread never mistakes itself for it.
extern std::atomic<bool> RootListing;
// A batch is running: its start was confirmed with Start in the Processor
// dialog and its runner exists.
extern std::atomic<bool> TransformActive;
// The batch's last file call went through the pipe: its end then makes the
// last pass, in which stages flush what they hold.
extern std::atomic<bool> LastFileTransformed;

}  // namespace zv
