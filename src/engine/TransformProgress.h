// The engine's view of the batch's pipe runner: what a plug-in's transform
// callbacks and the saving of an output report to it. The runner registers
// itself for the length of its batch.
#pragma once
#include <atomic>
#include <cstdint>

namespace zv {

class ITransformProgress {
public:
  virtual ~ITransformProgress() = default;
  // Progress of the running stage, percent as the plug-in gave it (the
  // receiver caps it). True = the user asked to abort.
  virtual bool SetProgress(int32_t percent) = 0;
  // Status text of the running stage: zero-terminated ANSI of at most 255
  // bytes, already copied out of the plug-in's memory; null for no text.
  virtual void SetStatus(const char* text) = 0;
  // Progress of saving an output to its file. True = abort.
  virtual bool SetWriteProgress(int32_t percent) = 0;
};

// The runner of the batch in progress; none outside a batch, when progress
// goes nowhere and nothing is ever aborted. Set when the batch's runner is
// made (user-interface thread) and cleared when it is freed at the batch's
// end; read on the host's file thread.
inline std::atomic<ITransformProgress*> ActiveTransformManager{nullptr};

}  // namespace zv
