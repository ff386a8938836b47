#include "frontend/BatchState.h"

namespace zv {

std::atomic<HWND> HostMainWindow{nullptr};
std::atomic<int32_t> PluginNumber{0};
std::atomic<TProgressProc> ProgressProc{nullptr};
std::atomic<bool> OldHostInterface{false};
std::wstring CurrentRemoteDir;
std::atomic<bool> ProgressFormClosed{true};
std::atomic<int32_t> CurrentOperation{0};
std::atomic<bool> RootListing{false};
std::atomic<bool> TransformActive{false};
std::atomic<bool> LastFileTransformed{false};

}  // namespace zv
