// The progress panel's five lines, as the engine sees them. The front end
// registers a long-lived receiver while a batch's panel exists (the panel
// itself lives on another thread and may go at any time); the pipe runner
// writes the lines through it, and the output stream shows a plug-in's rename
// at once.
#pragma once
#include <atomic>
#include <string>

namespace zv {

class TGeneralStream;

class IProgressLines {
public:
  virtual ~IProgressLines() = default;
  // Memory use of the block allocator: "<percent>%".
  virtual void SetLoadText(const std::wstring& text) = 0;
  // What the runner does: "Transforming", "Writing output [<percent>%]", ...
  virtual void SetStatusText(const std::wstring& text) = 0;
  // The running stage: its plug-in name, percentage and status.
  virtual void SetProcessingText(const std::wstring& text) = 0;
  // The stage's input and output (GetInputDisplayName, GetOutputDisplayName).
  virtual void SetInputText(const std::wstring& text) = 0;
  virtual void SetOutputText(const std::wstring& text) = 0;
};

// None while no panel is open: the lines are then skipped ("the panel is
// open" means exactly that a receiver is registered). Set and cleared by the
// front end on the panel's thread; read on the host's file thread. The
// receiver outlives every reader, so a pointer read just before the panel
// closes is still safe to call: the call then shows nothing.
inline std::atomic<IProgressLines*> ProgressLines{nullptr};

// The names shown for a stage's streams: the full name, or "No input" /
// "No output" for none.
std::wstring GetInputDisplayName(const TGeneralStream* stream);
std::wstring GetOutputDisplayName(const TGeneralStream* stream);

}  // namespace zv
