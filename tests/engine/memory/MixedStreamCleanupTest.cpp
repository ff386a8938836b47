// A host that crashes or is killed must not leave overflow files behind: the
// file goes away with the last handle, whoever closes it.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "platform/WinHandle.h"
#include "support/GuiDriver.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::ListFiles;

constexpr wchar_t FolderVariable[] = L"ZV_TEST_OVERFLOW_FOLDER";

// Run only as the child of the test below: holds an overflow file until killed.
TEST(MixedStreamChild, HoldsAnOverflowFile) {
  wchar_t folder[MAX_PATH];
  if (::GetEnvironmentVariableW(FolderVariable, folder, MAX_PATH) == 0) GTEST_SKIP();
  zvtest::TRunMemory run(-1, folder);
  TMixedStream s;
  ASSERT_EQ(s.Write("held", 4), 4);
  zvtest::WriteFileBytes(std::wstring(folder) + L"\\ready", {1});
  ::Sleep(60000);  // the parent kills us long before this ends
}

TEST(MixedStreamCleanup, AKilledProcessLeavesNoOverflowFile) {
  zvtest::TTempDir dir;
  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=MixedStreamChild.HoldsAnOverflowFile";
  ::SetEnvironmentVariableW(FolderVariable, dir.Path().c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &child);
  ::SetEnvironmentVariableW(FolderVariable, nullptr);
  ASSERT_TRUE(started);
  const TScopedKernelHandle process(child.hProcess), thread(child.hThread);
  struct TKiller {  // ends the child on every exit path of the test
    HANDLE Process;
    ~TKiller() { ::TerminateProcess(Process, 1), ::WaitForSingleObject(Process, 10000); }
  } killer{child.hProcess};

  ASSERT_NO_THROW(zvtest::WaitUntil([&] { return zvtest::FileExists(dir / L"ready"); }, "the child's file", 30000));
  ASSERT_EQ(ListFiles(dir.Path(), L"zvq*").size(), 1u);
  ASSERT_TRUE(::TerminateProcess(child.hProcess, 9));
  ASSERT_EQ(::WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_NO_THROW(zvtest::WaitUntil([&] { return ListFiles(dir.Path(), L"zvq*").empty(); }, "no file", 5000));
}
