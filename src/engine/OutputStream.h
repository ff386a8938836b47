// A stage's output: writable and renamable by the plug-in. A rename shows at
// once on the progress panel's output line.
#pragma once
#include "engine/GeneralStream.h"

namespace zv {

class TOutputStream : public TGeneralStream {
public:
  using TGeneralStream::TGeneralStream;

  bool SetPathA(const char* text) override;
  bool SetNameA(const char* text) override;
  bool SetExtensionA(const char* text) override;

private:
  // Runs after the rename has released the lock, so the panel never waits on it.
  bool Renamed(bool accepted);
};

}  // namespace zv
