// The progress panel's output line (the stage's output file name). The panel
// registers itself while it exists, so a plug-in that renames its output is
// shown under the new name at once.
#pragma once
#include <string>

namespace zv {

class IProgressOutputLine {
public:
  virtual ~IProgressOutputLine() = default;
  virtual void SetOutputText(const std::wstring& text) = 0;
};

// None while no panel is open: nothing is shown.
inline IProgressOutputLine* ProgressOutputLine = nullptr;

}  // namespace zv
