// Progress of saving a pipe's output to its destination file. The active pipe
// runner registers itself for the length of its run.
#pragma once
#include <atomic>
#include <cstdint>

namespace zv {

class IWriteProgress {
public:
  virtual ~IWriteProgress() = default;
  // percent: 0..100 (higher values are capped by the receiver). True = abort.
  virtual bool SetWriteProgress(int32_t percent) = 0;
};

// None outside a pipe run: a save then reports no progress and is never aborted.
// Set when a batch's pipe runner is made (user-interface thread) and cleared
// when it is freed at the batch's end; read by saves on the host's file thread.
inline std::atomic<IWriteProgress*> ActiveWriteProgress{nullptr};

}  // namespace zv
