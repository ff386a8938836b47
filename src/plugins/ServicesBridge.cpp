#include "plugins/ServicesBridge.h"

#include "frontend/TCUtilities.h"
#include "plugins/ZentavoAPI.h"
#include "plugins/ZentavoPlugin.h"

namespace zv {

namespace {

// Neither can fail, so neither needs a guard.
int32_t __stdcall GetZentavoVersion() { return ZentavoVersion; }
HWND __stdcall GetParentWindow() { return ParentWindow; }

}  // namespace

void InitServicesBridge() { *GetServicesInterface() = {GetZentavoVersion, GetParentWindow}; }

}  // namespace zv
