#include "support/ChildTest.h"

#include <windows.h>

namespace zvtest {

TChildTest StartChildTest(const std::wstring& filter, const wchar_t* variable, const std::wstring& value) {
  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + filter;
  // The child inherits the variable; this process's tests go on without it.
  ::SetEnvironmentVariableW(variable, value.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &child);
  ::SetEnvironmentVariableW(variable, nullptr);
  TChildTest result;
  if (started) {
    result.Process.Reset(child.hProcess);
    result.Thread.Reset(child.hThread);
  }
  return result;
}

}  // namespace zvtest
