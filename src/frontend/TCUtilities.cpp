#include "frontend/TCUtilities.h"

#include <vector>

namespace zv {

HWND ParentWindow = nullptr;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring GetModuleDir() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(ThisModule(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  std::wstring name(buffer.begin(), buffer.end());
  const size_t cut = name.find_last_of(L"\\:");
  if (cut == std::wstring::npos) return {};
  std::wstring dir = name.substr(0, cut + 1);
  // A drive root keeps its backslash; any other directory loses it.
  if (dir.size() > 1 && dir.back() == L'\\' && !(dir.size() == 3 && dir[1] == L':')) dir.pop_back();
  return dir;
}

}  // namespace zv
