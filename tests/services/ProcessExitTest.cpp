// The library still loaded when its host process exits: the test build (whose
// DllMain is the library's own) in a child process, observed through a log
// file that outlives it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/ConfigTestUtil.h"
#include "platform/Module.h"
#include "platform/WinHandle.h"
#include "support/ChildTest.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

using namespace zvtest;

namespace {

constexpr wchar_t kFolderVariable[] = L"ZV_TEST_EXIT_FOLDER";
// Plain storage: the unload at exit comes after this executable's own
// objects have been destroyed.
wchar_t LogFile[MAX_PATH];

void Log(const char* line) {
  const zv::TScopedFile file(::CreateFileW(LogFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ::WriteFile(file.Get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

uintptr_t __stdcall LogUnload() {
  Log("ZV_Unload\n");
  return 0;
}

}  // namespace

// Run only as the child of the test below: leaves a pipe entry waiting in the
// library's registry, says so in the log and ends the process with the
// library loaded, as a host that exits without unloading it does.
TEST(ProcessExitChild, LeavesAnEntryWaitingAndExits) {
  wchar_t folder[MAX_PATH];
  if (::GetEnvironmentVariableW(kFolderVariable, folder, MAX_PATH) == 0) GTEST_SKIP();
  const std::wstring base = folder;
  ::lstrcpyW(LogFile, (base + L"\\exit.log").c_str());
  ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", L"A");
  ::SetEnvironmentVariableW(L"ZVT_LOAD", L"ok");
  const HMODULE library = ::LoadLibraryW((zv::GetModuleDir() + L"\\ZentavoTestBuild.wfx").c_str());
  ASSERT_TRUE(library);
  const auto leave = reinterpret_cast<BOOL(__stdcall*)(const wchar_t*, const wchar_t*, uintptr_t(__stdcall*)())>(
      ::GetProcAddress(library, "ZVT_LeaveEntryWaiting"));
  ASSERT_TRUE(leave((base + L"\\Zentavo.cfg").c_str(), (base + L"\\A.zvx").c_str(), &LogUnload));
  Log("waiting\n");
}

// At process exit the plug-ins may have been detached already and no library
// may be freed: an entry still waiting for its own call is left as it is,
// while the plug-in's own settings file is written as at every unload.
TEST(ProcessExit, AnEntryWaitingForItsCallIsNotUnloadedWhenTheProcessExits) {
  const TTempDir temp;
  ASSERT_TRUE(::CopyFileW(FixturePath().c_str(), (temp / L"A.zvx").c_str(), FALSE));
  const TChildTest child = StartChildTest(L"ProcessExitChild.*", kFolderVariable, temp.Path());
  ASSERT_TRUE(child.Process);
  const HANDLE process = child.Process.Get();
  ASSERT_EQ(::WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 0u) << "the child's test passed";
  ASSERT_TRUE(FileExists(temp / L"exit.log")) << "the child left no entry waiting";
  const std::vector<unsigned char> log = ReadFileBytes(temp / L"exit.log");
  EXPECT_EQ(std::string(log.begin(), log.end()), "waiting\n");
  EXPECT_TRUE(FileExists(temp / L"A.cfg") && ReadCfg(temp / L"A.cfg").find(L"Level=number:7") != std::wstring::npos);
}
