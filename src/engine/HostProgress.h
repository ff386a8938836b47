// The host's progress callback, as the engine sees it: the pipe runner reports
// each stage's percentage (and the save's) to the host, whose answer can abort
// the file. The front end registers its receiver when the library is loaded;
// it turns the names into ANSI and calls the callback the host gave FsInit.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace zv {

class IHostProgress {
public:
  virtual ~IHostProgress() = default;
  // True = the host asks to abort. Called on the host's file thread.
  virtual bool CallHostProgress(const std::wstring& sourceName, const std::wstring& targetName,
                                int32_t percent) = 0;
};

// None when the front end is not linked in (engine tests): nothing is reported
// and nothing aborts. The receiver lives for the whole load of the library.
inline std::atomic<IHostProgress*> HostProgress{nullptr};

// CallHostProgress of the registered receiver; false without one.
inline bool CallHostProgress(const std::wstring& sourceName, const std::wstring& targetName, int32_t percent) {
  IHostProgress* host = HostProgress;
  return host && host->CallHostProgress(sourceName, targetName, percent);
}

}  // namespace zv
