#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/HostProgress.h"
#include "engine/ProgressLines.h"
#include "frontend/BatchState.h"
#include "frontend/ProgressHandOver.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoProgress.h"
#include "platform/TextConv.h"
#include "support/GuiDriver.h"
#include "support/HostWindowThread.h"

using namespace zv;
using zvtest::THostWindowThread;

namespace {

HWND PanelOf(HWND host) { return zvtest::FindChild(host, L"Zentavo progress"); }
bool Shows(HWND host, const std::wstring& text) { return PanelOf(host) && zvtest::FindChild(PanelOf(host), text); }
WNDPROC ProcOf(HWND window) { return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)); }
void SetStatus(const std::wstring& text) { if (IProgressLines* lines = ProgressLines) lines->SetStatusText(text); }

HWND StressHost = nullptr;
HWND WINAPI StressHostQuery() { return StressHost; }

int ProgressAnswer = 0;
std::string ProgressCall;
int WINAPI RecordingProgress(int pluginNr, char* source, char* target, int percent) {
  ProgressCall = std::to_string(pluginNr) + "|" + source + "|" + target + "|" + std::to_string(percent);
  return ProgressAnswer;
}

class ProgressPanel : public ::testing::Test {
protected:
  void SetUp() override { HostMainWindow = reinterpret_cast<HWND>(0x4242); }
  void TearDown() override {
    HideProgressForm();
    ForegroundWindowQuery = ::GetForegroundWindow;
    ProgressProc = nullptr;
  }
};

}  // namespace

TEST_F(ProgressPanel, TheWindowsThreadMakesShowsAndDestroysThePanel) {
  std::vector<std::wstring> seen;  // written on the window's thread, read after Sync
  THostWindowThread host(400, 120);
  host.BringToForeground();
  const HWND window = host.Handle();
  host.Run([&] {
    host.OnMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) {
      if (msg == WM_PARENTNOTIFY && LOWORD(wParam) == WM_DESTROY)
        seen.push_back(::GetCurrentThreadId() == host.ThreadId() ? L"destroyed on its thread" : L"elsewhere");
      if (msg == WM_WINDOWPOSCHANGING && (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW))
        seen.push_back(std::wstring(L"hide: panel ") + (PanelOf(window) ? L"there" : L"gone") +
                       (ProcOf(window) == HostWindowHookProc ? L", replaced" : L", restored"));
      if (msg == WM_APP + 7) seen.push_back(L"ping");
    };
    // On the window's own thread the panel is there at once, one for the whole batch.
    ShowProgressForm();
    ShowProgressForm();
    SetStatus(L"Transforming");
    EXPECT_TRUE(Shows(window, L"Transforming"));
  });
  const HWND panel = PanelOf(window);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(::GetWindow(window, GW_CHILD) == panel && !::GetWindow(panel, GW_HWNDNEXT)) << "one panel";
  EXPECT_EQ(ProcOf(window), THostWindowThread::OwnProc());
  EXPECT_EQ(ParentWindow.load(), window);
  host.Run(HideProgressForm);
  EXPECT_EQ(PanelOf(window), nullptr);
  EXPECT_EQ(ParentWindow.load(), HostMainWindow);

  // From another thread the window's thread makes the panel when it gets to it.
  host.Hold();
  ShowProgressForm();
  EXPECT_EQ(ProcOf(window), HostWindowHookProc);
  SetStatus(L"early");  // before the window's thread made the panel
  host.Release();
  host.Sync();
  ASSERT_NE(PanelOf(window), nullptr);
  EXPECT_FALSE(Shows(window, L"early"));

  host.Hold();
  SetStatus(L"first");
  SetStatus(L"second");  // dropped: "first" still waits
  host.Release();
  host.Sync();
  EXPECT_TRUE(Shows(window, L"first"));
  EXPECT_FALSE(Shows(window, L"second"));
  SetStatus(L"third");
  const std::wstring huge(1 << 20, L'x');
  ProgressLines.load()->SetOutputText(huge);
  // Stray messages: an old opening's creation, empty slots, unknown codes, a close of the running panel.
  for (WPARAM code : {WPARAM(0), WPARAM(1), WPARAM(5), WPARAM(6), WPARAM(0x106), WPARAM(0xFF), ~WPARAM(0)})
    ::PostMessageW(window, ProgressMessageID, code, 12345);
  host.Sync();
  EXPECT_TRUE(Shows(window, L"third"));
  EXPECT_TRUE(Shows(window, huge));

  HideProgressForm();  // the batch ends on this thread
  host.Sync();
  EXPECT_EQ(PanelOf(window), nullptr);

  // A second batch in the window: no second replacement, a message reaches the host once.
  ShowProgressForm();
  host.Sync();
  ASSERT_NE(PanelOf(window), nullptr);
  ::SendMessageW(window, WM_APP + 7, 0, 0);
  host.Run([&] { ::ShowWindow(window, SW_HIDE); });
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"destroyed on its thread", L"destroyed on its thread", L"ping",
                                             L"destroyed on its thread", L"hide: panel gone, replaced"}));
  EXPECT_EQ(ProcOf(window), THostWindowThread::OwnProc());
  EXPECT_EQ(ProgressLines.load(), nullptr);
}

// File calls on the window's own thread leave its procedure alone. A line
// that a plug-in's own thread sets meanwhile reaches the panel when the
// window's thread next sets a line (unless that is the same line), and the
// line takes texts from that thread again afterwards.
TEST_F(ProgressPanel, TextsFromAPluginsThreadReachAPanelWhoseFileCallsRunOnTheWindowsThread) {
  THostWindowThread host(400, 120);
  host.BringToForeground();
  const HWND window = host.Handle();
  const auto onPluginThread = [](const std::function<void(IProgressLines&)>& set) {
    std::thread([&] { set(*ProgressLines.load()); }).join();
  };
  host.Run([&] {
    ShowProgressForm();
    onPluginThread([](IProgressLines& lines) { lines.SetStatusText(L"Working"); });
    ProgressLines.load()->SetLoadText(L"7%");
    EXPECT_TRUE(Shows(window, L"Working"));
    onPluginThread([](IProgressLines& lines) { lines.SetStatusText(L"again"), lines.SetLoadText(L"8%"); });
    ProgressLines.load()->SetLoadText(L"9%");
    EXPECT_TRUE(Shows(window, L"again"));
    EXPECT_TRUE(Shows(window, L"9%"));
  });
  EXPECT_EQ(ProcOf(window), THostWindowThread::OwnProc());
  host.Run(HideProgressForm);
}

TEST_F(ProgressPanel, SettersRacingBatchEndsAndTheHostHidingOrDestroyingItsWindowNeverCrash) {
  auto host = std::make_unique<THostWindowThread>(300, 80);
  const HWND window = StressHost = host->Handle();
  ForegroundWindowQuery = StressHostQuery;
  std::atomic<bool> stop{false};
  // A thread that never opened a panel: it must never touch the panel's controls.
  std::thread files([&] {
    for (unsigned i = 0; !stop; ++i, std::this_thread::yield())
      if (IProgressLines* lines = ProgressLines) lines->SetOutputText(L"D:\\out\\" + std::to_wstring(i));
  });
  for (int round = 0; round < 1000; ++round) {
    ShowProgressForm();
    if (round % 16 == 0)
      host->Run([&] {
        ::SetWindowPos(window, nullptr, 0, 0, 320, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (round % 160 == 0) ::ShowWindow(window, SW_HIDE);
        ::ShowWindow(window, SW_SHOWNA);
      });
    HideProgressForm();
  }
  ShowProgressForm();
  host->Sync();
  EXPECT_NE(PanelOf(window), nullptr);
  host.reset();  // the host destroys its window under the open panel
  EXPECT_EQ(ProgressLines.load(), nullptr);
  stop = true;
  files.join();
}

TEST_F(ProgressPanel, AnotherProgramsWindowGetsNoPanelWhileTheHostCallbackStillAnswers) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(::GetDesktopWindow(), &process);
  ASSERT_NE(process, ::GetCurrentProcessId());
  ForegroundWindowQuery = ::GetDesktopWindow;
  ShowProgressForm();
  EXPECT_EQ(ParentWindow.load(), HostMainWindow);
  EXPECT_EQ(ProgressLines.load(), nullptr);

  EXPECT_FALSE(CallHostProgress(L"a", L"b", 1)) << "no callback, no abort";
  ProgressProc = RecordingProgress;
  PluginNumber = 7;
  for (const auto& [answer, abort] : {std::pair{0, false}, {-1, false}, {1, true}, {2, true}}) {
    ProgressAnswer = answer;
    EXPECT_EQ(CallHostProgress(L"Caf\u00e9 input stream", L"out", 42), abort) << answer;
  }
  EXPECT_EQ(ProgressCall, "7|" + WideToAnsi(L"Caf\u00e9 input stream") + "|out|42");
}
