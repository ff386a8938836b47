#include "platform/Module.h"

#include <vector>

namespace zv {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring ModuleDirOf(const std::wstring& fileName) {
  const size_t cut = fileName.find_last_of(L"\\:");
  if (cut == std::wstring::npos) return {};
  std::wstring dir = fileName.substr(0, cut + 1);
  // A drive root keeps its backslash (C:\ and \\?\C:\ alike); any other directory loses it.
  if (dir.size() > 1 && dir.back() == L'\\' && dir[dir.size() - 2] != L':') dir.pop_back();
  return dir;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return ::LoadLibraryW((std::wstring(folder, n) + L"\\" + name).c_str());
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
  return ModuleDirOf(std::wstring(buffer.begin(), buffer.end()));
}

}  // namespace zv
