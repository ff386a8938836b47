// The one entry through which every plug-in error is shown to the user and,
// where allowed, reported. The service manager registers itself while it lives.
#pragma once
#include <atomic>
#include <string>

#include "plugins/ErrorStruct.h"

namespace zv {

class TPluginFile;

class IErrorEntry {
public:
  virtual ~IErrorEntry() = default;
  // pluginFile: the plug-in at fault, null when it is no longer loaded (its ID
  // and version then count as 0); message: the full text to show.
  virtual void ReportError(TPluginFile* pluginFile, const std::wstring& message,
                           const TErrorStruct& error) = 0;
};

// None before the service manager exists and after it is gone: errors are then
// not shown. Set by the service manager's constructor and cleared by its
// destructor (user-interface thread); read on any thread that reports.
inline std::atomic<IErrorEntry*> GlobalErrorEntry{nullptr};

// A thread may take the errors reported on it itself: the update check's
// worker collects what its probes report and hands it to the entry on the
// user-interface thread, where boxes belong. Null on every other thread.
inline thread_local IErrorEntry* ThreadErrorEntry = nullptr;

// Where an error reported on the calling thread goes; null: nowhere.
inline IErrorEntry* CurrentErrorEntry() { return ThreadErrorEntry ? ThreadErrorEntry : GlobalErrorEntry.load(); }

}  // namespace zv
