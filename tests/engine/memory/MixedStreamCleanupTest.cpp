// A host that crashes or is killed must not leave overflow files behind: the
// file goes away with the last handle, whoever closes it.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::ListFiles;

namespace {

constexpr wchar_t FolderVariable[] = L"ZV_TEST_OVERFLOW_FOLDER";

// Polls until pred holds or timeoutMs passes.
template <typename TPred>
bool WaitFor(TPred pred, DWORD timeoutMs) {
  for (const DWORD start = ::GetTickCount(); !pred(); ::Sleep(20))
    if (::GetTickCount() - start > timeoutMs) return false;
  return true;
}

}  // namespace

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
  // Ends the child on every exit path of the test.
  std::unique_ptr<void, void (*)(void*)> killer(&child, [](void* p) {
    auto* info = static_cast<PROCESS_INFORMATION*>(p);
    ::TerminateProcess(info->hProcess, 1);
    ::WaitForSingleObject(info->hProcess, 10000);
    ::CloseHandle(info->hProcess);
    ::CloseHandle(info->hThread);
  });

  ASSERT_TRUE(WaitFor([&] { return zvtest::FileExists(dir / L"ready"); }, 30000));
  ASSERT_EQ(ListFiles(dir.Path(), L"zvq*").size(), 1u);
  ASSERT_TRUE(::TerminateProcess(child.hProcess, 9));
  ASSERT_EQ(::WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(WaitFor([&] { return ListFiles(dir.Path(), L"zvq*").empty(); }, 5000));
}
