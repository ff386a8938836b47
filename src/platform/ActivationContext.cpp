#include "platform/ActivationContext.h"

#include <commctrl.h>

#include <mutex>

#include "platform/Module.h"

namespace zv {

namespace {

// Created once and kept for the life of the module (windows created under it
// may outlive any scope); released when the module goes.
class TModuleActCtx {
public:
  TModuleActCtx() {
    ACTCTXW ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.hModule = ThisModule();
    ctx.lpResourceName = MAKEINTRESOURCEW(2);
    FHandle = ::CreateActCtxW(&ctx);
  }
  ~TModuleActCtx() {
    if (FHandle != INVALID_HANDLE_VALUE) ::ReleaseActCtx(FHandle);
  }
  TModuleActCtx(const TModuleActCtx&) = delete;
  TModuleActCtx& operator=(const TModuleActCtx&) = delete;
  HANDLE Handle() const { return FHandle; }

private:
  HANDLE FHandle;
};

HANDLE ModuleActCtx() {
  static const TModuleActCtx context;
  return context.Handle();
}

}  // namespace

TActivationScope::TActivationScope() {
  const HANDLE context = ModuleActCtx();
  if (context != INVALID_HANDLE_VALUE) FActive = ::ActivateActCtx(context, &FCookie) != FALSE;
}

TActivationScope::~TActivationScope() {
  if (FActive) ::DeactivateActCtx(0, FCookie);
}

void InitControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    TActivationScope scope;
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                ICC_UPDOWN_CLASS | ICC_LINK_CLASS;
    ::InitCommonControlsEx(&icc);
    // The rich edit classes live in their own library, kept loaded from now on.
    LoadSystemLibrary(L"msftedit.dll");
  });
}

}  // namespace zv
