#include "frontend/BatchState.h"

namespace zv {

HWND HostMainWindow = nullptr;
int32_t PluginNumber = 0;
TProgressProc ProgressProc = nullptr;
std::atomic<bool> OldHostInterface{false};
std::wstring CurrentRemoteDir;
std::atomic<bool> ProgressFormClosed{true};

}  // namespace zv
