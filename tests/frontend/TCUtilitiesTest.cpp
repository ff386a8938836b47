#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <thread>

#include "frontend/TCUtilities.h"
#include "platform/ZvError.h"
#include "support/GuiDriver.h"
#include "support/HostWindowThread.h"
#include "support/TestFiles.h"

using namespace zv;

namespace {

// A message box's second button: its text, and its width less the first one's.
std::pair<std::wstring, int> SecondButton(HWND box) {
  const RECT ok = zvtest::GetScreenRect(::GetDlgItem(box, IDOK)), cancel = zvtest::GetScreenRect(::GetDlgItem(box, IDCANCEL));
  return {zvtest::GetText(::GetDlgItem(box, IDCANCEL)), (cancel.right - cancel.left) - (ok.right - ok.left)};
}

}  // namespace

TEST(NumbersAsText, ReadDigitsOfTheBaseAndFailOnOverflowOrAnythingElse) {
  EXPECT_EQ(IntToBase(255, 16, 4), L"00FF");
  EXPECT_EQ(IntToBase(0, 10, 0), L"0");
  EXPECT_EQ(IntToBase(12345, 10, 2), L"12345");  // the minimum never cuts digits
  EXPECT_EQ(IntToBase(35, 36), L"Z");
  EXPECT_THROW(IntToBase(7, 0), EZvError);  // bases that cannot terminate
  EXPECT_THROW(IntToBase(7, 1), EZvError);
  const struct {
    const wchar_t* Text;
    uint32_t Base;
    bool Ok;
    uint32_t Value;  // also on failure: the value read so far
  } cases[] = {
      {L"", 10, true, 0},
      {L"4294967295", 10, true, 4294967295u},
      {L"FfFfFfFf", 16, true, 4294967295u},
      // 429496729 * 10 fits, adding the 6 does not.
      {L"4294967296", 10, false, 429496729u},
      // The last multiplication overflows.
      {L"42949672950", 10, false, 4294967295u},
      {L"12a", 10, false, 12},
      {L"1:", 16, false, 1},  // the characters between "9" and "A" are no digits
      {L"7", 0, false, 0},
      // Letters of other scripts never count as digits, even where they upper-case to ASCII.
      {L"\x0131", 36, false, 0},  // dotless i
      {L"\xFF11", 10, false, 0},  // full-width one
  };
  for (const auto& c : cases) {
    uint32_t v = 12345;
    EXPECT_EQ(TryBaseToInt(c.Text, c.Base, v), c.Ok) << std::wstring(c.Text).size() << " chars, base " << c.Base;
    EXPECT_EQ(v, c.Value) << "base " << c.Base;
  }
}

TEST(ModuleDir, CutsTheFileNameAndKeepsOnlyADriveRootsBackslash) {
  EXPECT_EQ(ModuleDirOf(L"C:\\Tools\\Zv\\Zentavo.wfx"), L"C:\\Tools\\Zv");
  EXPECT_EQ(ModuleDirOf(L"C:\\Zentavo.wfx"), L"C:\\");
  EXPECT_EQ(ModuleDirOf(L"\\\\?\\C:\\Zentavo.wfx"), L"\\\\?\\C:\\");
  EXPECT_EQ(ModuleDirOf(L"\\\\server\\share\\Zentavo.wfx"), L"\\\\server\\share");
  EXPECT_EQ(ModuleDirOf(L"Zentavo.wfx"), L"");  // GetModuleDir itself finds every test plug-in
}

// Both ways of answering; the hook goes with the box, also with one that
// never came up (its owner does not exist): the next plain box keeps its Cancel.
TEST(ReportErrorBox, SecondButtonReadsReportErrorIsTenPixelsWiderAndTheHookGoesWithTheBox) {
  const HWND bogusOwner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA));
  ASSERT_FALSE(::IsWindow(bogusOwner));
  for (const int button : {IDCANCEL, IDOK, 0}) {  // 0: no box comes up
    std::pair<std::wstring, int> seen;
    std::wstring text;
    zvtest::TGuiDriver driver([&] {
      if (!button) {  // should a box come up after all, answer it so the test goes on
        if (HWND box = zvtest::FindTopWindow(L"Report Box Test", L"#32770")) zvtest::PressButtonId(box, IDOK);
        return;
      }
      HWND box = zvtest::WaitForMessageBox(L"Report Box Test");
      text = zvtest::MessageBoxText(box);
      seen = SecondButton(box);
      zvtest::PressButtonId(box, button);
    });
    const int answer = ShowReportErrorBox(button ? nullptr : bogusOwner, L"Something failed.", L"Report Box Test");
    driver.Join();
    if (button) {
      EXPECT_EQ(answer, button);
      EXPECT_EQ(text, L"Something failed.");
      EXPECT_EQ(seen, std::make_pair(std::wstring(L"Report error"), 10));
    } else {
      EXPECT_TRUE(answer != IDOK && answer != IDCANCEL) << answer;
    }
    zvtest::TGuiDriver plain([&] {
      HWND box = zvtest::WaitForMessageBox(L"Plain Box");
      seen = SecondButton(box);
      zvtest::PressButtonId(box, IDCANCEL);
    });
    EXPECT_EQ(::MessageBoxW(nullptr, L"y", L"Plain Box", MB_OKCANCEL), IDCANCEL);
    plain.Join();
    EXPECT_NE(seen.first, L"Report error") << button;
    EXPECT_EQ(seen.second, 0) << button;
  }
}

TEST(ShowHelp, WithoutTheHelpFileNothingHappensAndNothingHangs) {
  ASSERT_FALSE(zvtest::FileExists(GetModuleDir() + L"\\ZentavoHelp.chm"));
  std::atomic<bool> done{false};
  std::thread helper([&] {
    ShowHelp(L"settings.html");
    ShowHelp(L"how-it-works.html");  // the second call uses the already loaded control
    done = true;
  });
  zvtest::WaitUntil([&] { return done.load(); }, "ShowHelp to return", 15000);
  helper.join();
  EXPECT_EQ(zvtest::FindTopWindow(L""), nullptr) << "a window came up";
}

// The real folder dialog is the Settings dialog's test.
TEST(SelectFolder, CallbackAsksTheDialogForTheStartFolderOnlyWhenItHasOne) {
  std::vector<std::wstring> asked;
  zvtest::THostWindowThread dialog(10, 10);  // a stand-in that notes the requests it gets
  dialog.Run([&] {
    dialog.OnMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) {
      if (msg == BFFM_SETSELECTIONW) asked.push_back(std::to_wstring(wParam) + L" " + reinterpret_cast<const wchar_t*>(lParam));
    };
  });
  wchar_t start[] = L"C:\\Some\\Folder";
  EXPECT_EQ(BrowseFolderCallback(dialog.Handle(), BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(start)), 0);
  EXPECT_EQ(BrowseFolderCallback(dialog.Handle(), BFFM_INITIALIZED, 0, 0), 0);
  EXPECT_EQ(BrowseFolderCallback(dialog.Handle(), BFFM_SELCHANGED, 0, reinterpret_cast<LPARAM>(start)), 0);
  EXPECT_EQ(asked, std::vector<std::wstring>{L"1 C:\\Some\\Folder"});
}
