// The comctl32 version 6 look for our own windows, without touching the host:
// the manifest in our module's resources (id 2) is activated only around the
// creation of our windows and boxes.
#pragma once
#include <windows.h>

namespace zv {

// Activates our module's manifest for the lifetime of the scope; does nothing
// when the context cannot be created (the classic controls are used then).
class TActivationScope {
public:
  TActivationScope();
  ~TActivationScope();
  TActivationScope(const TActivationScope&) = delete;
  TActivationScope& operator=(const TActivationScope&) = delete;

private:
  ULONG_PTR FCookie = 0;
  bool FActive = false;
};

// Registers the common control classes (once per process) and loads the rich
// edit library; call before creating any control. Safe from any thread.
void InitControls();

}  // namespace zv
