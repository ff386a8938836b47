#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "frontend/TCUtilities.h"
#include "platform/ZvError.h"
#include "support/GuiDriver.h"
#include "support/TestFiles.h"

using namespace zv;

namespace {

// What the driver saw of a message box's two buttons.
struct TBoxButtons {
  std::wstring OkText, CancelText;
  int OkWidth = 0, CancelWidth = 0;
};

TBoxButtons ReadButtons(HWND box) {
  TBoxButtons b;
  HWND ok = ::GetDlgItem(box, IDOK);
  HWND cancel = ::GetDlgItem(box, IDCANCEL);
  if (!ok || !cancel) throw std::runtime_error("message box without OK and Cancel");
  const RECT okRect = zvtest::GetScreenRect(ok), cancelRect = zvtest::GetScreenRect(cancel);
  b.OkText = zvtest::GetText(ok);
  b.CancelText = zvtest::GetText(cancel);
  b.OkWidth = okRect.right - okRect.left;
  b.CancelWidth = cancelRect.right - cancelRect.left;
  return b;
}

std::wstring LongPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = ::GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer) : path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(LongPath(a).c_str(), LongPath(b).c_str()) == 0;
}

}  // namespace

// --- numbers as text ----------------------------------------------------------------

TEST(IntToBase, WritesDigitsPaddedToTheMinimum) {
  EXPECT_EQ(IntToBase(255, 16, 4), L"00FF");
  EXPECT_EQ(IntToBase(0, 10, 0), L"0");
  EXPECT_EQ(IntToBase(0, 10, 3), L"000");
  EXPECT_EQ(IntToBase(4294967295u, 10), L"4294967295");
  EXPECT_EQ(IntToBase(5, 2), L"101");
  EXPECT_EQ(IntToBase(12345, 10, 2), L"12345");  // the minimum never cuts digits
  EXPECT_EQ(IntToBase(35, 36), L"Z");
  EXPECT_EQ(IntToBase(4294967295u, 16), L"FFFFFFFF");
}

TEST(IntToBase, RefusesBasesThatCannotTerminate) {
  EXPECT_THROW(IntToBase(7, 0), EZvError);
  EXPECT_THROW(IntToBase(7, 1), EZvError);
}

TEST(TryBaseToInt, AcceptsEveryValueUpToTheLargestUnsigned) {
  uint32_t v = 1;
  EXPECT_TRUE(TryBaseToInt(L"", 10, v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(TryBaseToInt(L"4294967295", 10, v));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_TRUE(TryBaseToInt(L"0000000000004294967295", 10, v));  // leading zeros never overflow
  EXPECT_EQ(v, 4294967295u);
  EXPECT_TRUE(TryBaseToInt(L"ff", 16, v));
  EXPECT_EQ(v, 255u);
  EXPECT_TRUE(TryBaseToInt(L"FfFfFfFf", 16, v));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_TRUE(TryBaseToInt(L"zz", 36, v));
  EXPECT_EQ(v, 35u * 36 + 35);
  // Round trip through IntToBase in several bases.
  for (uint32_t base : {2u, 8u, 10u, 16u, 36u}) {
    for (uint32_t n : {0u, 1u, 9u, 10u, 1000000007u, 4294967295u}) {
      ASSERT_TRUE(TryBaseToInt(IntToBase(n, base, 3), base, v)) << base << " " << n;
      EXPECT_EQ(v, n);
    }
  }
}

TEST(TryBaseToInt, OverflowInTheProductOrTheSumFails) {
  uint32_t v = 0;
  // 4294967296: 429496729 * 10 fits, adding the 6 does not; the value read so far stays.
  EXPECT_FALSE(TryBaseToInt(L"4294967296", 10, v));
  EXPECT_EQ(v, 429496729u);
  // 42949672950: the last multiplication overflows.
  EXPECT_FALSE(TryBaseToInt(L"42949672950", 10, v));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_FALSE(TryBaseToInt(L"100000000", 16, v));
  EXPECT_EQ(v, 0x10000000u);
  EXPECT_FALSE(TryBaseToInt(L"99999999999999999999", 10, v));
}

TEST(TryBaseToInt, AnythingButDigitsOfTheBaseFails) {
  uint32_t v = 0;
  EXPECT_FALSE(TryBaseToInt(L"12a", 10, v));
  EXPECT_EQ(v, 12u);
  EXPECT_FALSE(TryBaseToInt(L"-1", 10, v));
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(TryBaseToInt(L" 1", 10, v));
  EXPECT_FALSE(TryBaseToInt(L"1 ", 10, v));
  EXPECT_EQ(v, 1u);
  EXPECT_FALSE(TryBaseToInt(L"+5", 10, v));
  EXPECT_FALSE(TryBaseToInt(L"0x10", 16, v));
  EXPECT_FALSE(TryBaseToInt(L"12", 2, v));
  EXPECT_EQ(v, 1u);
  EXPECT_FALSE(TryBaseToInt(L"g", 16, v));
  EXPECT_FALSE(TryBaseToInt(L"[", 36, v));  // just past "Z"
  EXPECT_FALSE(TryBaseToInt(L"7", 0, v));
  // Letters of other scripts never count as digits, even where they upper-case to ASCII.
  EXPECT_FALSE(TryBaseToInt(L"\x0131", 36, v));  // dotless i
  EXPECT_FALSE(TryBaseToInt(L"\xFF11", 10, v));  // full-width one
}

// --- module directory, addresses, centring --------------------------------------------------

TEST(ModuleDir, CutsTheFileNameAndKeepsOnlyADriveRootsBackslash) {
  EXPECT_EQ(ModuleDirOf(L"C:\\Tools\\Zv\\Zentavo.wfx"), L"C:\\Tools\\Zv");
  EXPECT_EQ(ModuleDirOf(L"C:\\Zentavo.wfx"), L"C:\\");
  EXPECT_EQ(ModuleDirOf(L"\\\\server\\share\\Zentavo.wfx"), L"\\\\server\\share");
  EXPECT_EQ(ModuleDirOf(L"Zentavo.wfx"), L"");

  // In the tests our code is linked into the executable: its folder is ours.
  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  EXPECT_EQ(GetModuleDir(), ModuleDirOf(exe));
}

TEST(WebAddresses, DonationPageIsKeptScrambledAndReadsBackPlain) {
  const std::wstring page = DonationPageAddress();
  EXPECT_EQ(page.rfind(ProductWebSite, 0), 0u) << std::string(page.begin(), page.end());
  EXPECT_GT(page.size(), std::wstring(ProductWebSite).size());

  constexpr auto scrambled = ScrambleString(L"https://www.example.org/");
  const std::wstring_view view(scrambled.data(), scrambled.size());
  EXPECT_EQ(view.find(L"example"), std::wstring_view::npos);
  EXPECT_EQ(UnscrambleString(view), L"https://www.example.org/");
  EXPECT_EQ(UnscrambleString(L""), L"");
}

TEST(CenteredPosition, HalvesAreTruncatedTowardZero) {
  // A form 301 wide over a window 100 wide starts 100 pixels left of the window.
  const RECT narrow{500, 300, 600, 400};
  POINT p = CenteredPosition(narrow, 301, 101);
  EXPECT_EQ(p.x, 400);
  EXPECT_EQ(p.y, 300);  // (100 - 101) / 2 is 0, not -1
  // A smaller form: the odd pixel goes to the right and bottom.
  p = CenteredPosition(RECT{0, 0, 101, 51}, 50, 20);
  EXPECT_EQ(p.x, 25);
  EXPECT_EQ(p.y, 15);
  p = CenteredPosition(RECT{-300, -200, -100, 0}, 100, 100);
  EXPECT_EQ(p.x, -250);
  EXPECT_EQ(p.y, -150);
}

// --- the error box -----------------------------------------------------------------------------

TEST(ReportErrorBox, SecondButtonReadsReportErrorAndIsTenPixelsWider) {
  TBoxButtons seen;
  zvtest::TGuiDriver driver([&] {
    HWND box = zvtest::WaitForMessageBox(L"Report Box Test");
    EXPECT_EQ(zvtest::MessageBoxText(box), L"Something failed.");
    seen = ReadButtons(box);
    zvtest::PressButtonId(box, IDCANCEL);
  });
  const int answer = ShowReportErrorBox(nullptr, L"Something failed.", L"Report Box Test");
  driver.Join();
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(seen.CancelText, L"Report error");
  EXPECT_EQ(seen.CancelWidth, seen.OkWidth + 10);
  EXPECT_NE(seen.OkText, L"Report error");
}

TEST(ReportErrorBox, OkEscapeAndTheCloseButtonGiveTheirAnswers) {
  struct TWay {
    const char* Name;
    std::function<void(HWND)> Act;
    int Expected;
  };
  const TWay ways[] = {
      {"OK", [](HWND box) { zvtest::PressButtonId(box, IDOK); }, IDOK},
      {"Escape", [](HWND box) { zvtest::PressKey(box, VK_ESCAPE); }, IDCANCEL},
      {"close button", [](HWND box) { zvtest::SystemClose(box); }, IDCANCEL},
  };
  for (const TWay& way : ways) {
    zvtest::TGuiDriver driver([&] { way.Act(zvtest::WaitForMessageBox(L"Report Box Test")); });
    EXPECT_EQ(ShowReportErrorBox(nullptr, L"x", L"Report Box Test"), way.Expected) << way.Name;
    driver.Join();
  }
}

TEST(ReportErrorBox, HookIsGoneAfterwardsEvenWhenTheBoxNeverCameUp) {
  // A box owned by a window that does not exist cannot be shown.
  HWND bogusOwner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA));
  ASSERT_FALSE(::IsWindow(bogusOwner));
  {
    zvtest::TGuiDriver driver([] {
      // Should a box come up after all, answer it so the test goes on.
      if (HWND box = zvtest::FindTopWindow(L"Report Box Test", L"#32770")) zvtest::PressButtonId(box, IDOK);
    });
    const int answer = ShowReportErrorBox(bogusOwner, L"x", L"Report Box Test");
    driver.Join();
    EXPECT_NE(answer, IDOK);
    EXPECT_NE(answer, IDCANCEL);
  }
  // Whichever way the two boxes went, the next plain box of this thread keeps its Cancel button.
  for (int i = 0; i < 2; ++i) {
    if (i == 1) {
      zvtest::TGuiDriver driver([] { zvtest::PressButtonId(zvtest::WaitForMessageBox(L"Report Box Test"), IDOK); });
      ShowReportErrorBox(nullptr, L"x", L"Report Box Test");
      driver.Join();
    }
    TBoxButtons seen;
    zvtest::TGuiDriver driver([&] {
      HWND box = zvtest::WaitForMessageBox(L"Plain Box");
      seen = ReadButtons(box);
      zvtest::PressButtonId(box, IDCANCEL);
    });
    EXPECT_EQ(::MessageBoxW(nullptr, L"y", L"Plain Box", MB_OKCANCEL), IDCANCEL);
    driver.Join();
    EXPECT_NE(seen.CancelText, L"Report error") << "round " << i;
    EXPECT_EQ(seen.CancelWidth, seen.OkWidth) << "round " << i;
  }
}

TEST(ReportErrorBox, BoxesOnTwoThreadsAtOnceBothGetTheirButton) {
  std::atomic<int> renamed{0};
  auto watch = [&](const std::wstring& caption) {
    return [&renamed, caption] {
      HWND box = zvtest::WaitForMessageBox(caption);
      if (ReadButtons(box).CancelText == L"Report error") ++renamed;
      zvtest::PressButtonId(box, IDOK);
    };
  };
  zvtest::TGuiDriver first(watch(L"Box A"));
  zvtest::TGuiDriver second(watch(L"Box B"));
  std::thread other([] { ShowReportErrorBox(nullptr, L"b", L"Box B"); });
  EXPECT_EQ(ShowReportErrorBox(nullptr, L"a", L"Box A"), IDOK);
  other.join();
  first.Join();
  second.Join();
  EXPECT_EQ(renamed.load(), 2);
}

// --- help ----------------------------------------------------------------------------------------

TEST(ShowHelp, WithoutTheHelpFileNothingHappensAndNothingHangs) {
  ASSERT_FALSE(zvtest::FileExists(GetModuleDir() + L"\\ZentavoHelp.chm"));
  std::atomic<bool> done{false};
  std::thread helper([&] {
    ShowHelp(L"settings.html");
    ShowHelp(L"how-it-works.html");  // the second call uses the already loaded control
    done = true;
  });
  const DWORD start = ::GetTickCount();
  while (!done && ::GetTickCount() - start < 15000) ::Sleep(10);
  ASSERT_TRUE(done) << "ShowHelp did not return";
  helper.join();
  EXPECT_EQ(zvtest::FindTopWindow(L""), nullptr) << "a window came up";
}

// --- folder picker ---------------------------------------------------------------------------

TEST(SelectFolder, OpensOnTheGivenFolderAndReturnsIt) {
  zvtest::TTempDir dir;
  const std::wstring start = dir.Path();
  std::wstring folder = start;
  std::wstring titleSeen;
  zvtest::TGuiDriver driver([&] {
    HWND dialog = zvtest::WaitForMessageBox();
    titleSeen = zvtest::FindChild(dialog, L"Pick a test folder") ? L"found" : L"";
    zvtest::PressButtonId(dialog, IDOK);
  });
  EXPECT_TRUE(SelectFolder(nullptr, L"Pick a test folder", folder));
  driver.Join();
  EXPECT_EQ(titleSeen, L"found");
  EXPECT_TRUE(SamePath(folder, start)) << std::string(folder.begin(), folder.end());
}

TEST(SelectFolder, CancelLeavesTheFolderUnchanged) {
  zvtest::TTempDir dir;
  std::wstring folder = dir.Path();
  for (auto cancel : {+[](HWND d) { zvtest::PressButtonId(d, IDCANCEL); },
                      +[](HWND d) { zvtest::SystemClose(d); }}) {
    zvtest::TGuiDriver driver([&] { cancel(zvtest::WaitForMessageBox()); });
    EXPECT_FALSE(SelectFolder(nullptr, L"Pick a test folder", folder));
    driver.Join();
    EXPECT_EQ(folder, dir.Path());
  }
}
