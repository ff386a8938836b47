// The progress panel's output line (the stage's output file name), as the
// engine sees it. The front end registers a receiver while a batch's panel
// exists, so a plug-in that renames its output is shown under the new name at once.
#pragma once
#include <atomic>
#include <string>

namespace zv {

class IProgressOutputLine {
public:
  virtual ~IProgressOutputLine() = default;
  virtual void SetOutputText(const std::wstring& text) = 0;
};

// None while no panel is open: nothing is shown. Set by the front end when a
// batch's panel opens and cleared when it closes; read by the output stream on
// the host's file thread.
inline std::atomic<IProgressOutputLine*> ProgressOutputLine{nullptr};

}  // namespace zv
