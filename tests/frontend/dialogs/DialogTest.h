// The dialogs on the real managers over a temporary Zentavo.cfg, with copies
// of the test plug-in installed (A and B follow their settings; Bare has
// neither settings nor about), help topics and web pages recorded instead of
// opened, and a stand-in for the host's main window.
#pragma once
#include <string>
#include <vector>

#include "frontend/BatchState.h"
#include "frontend/TCUtilities.h"
#include "platform/Controls.h"
#include "platform/TextConv.h"
#include "plugins/PluginSettings.h"
#include "plugins/registry/RegistryTest.h"
#include "support/HostWindowThread.h"

namespace zvtest {

inline std::vector<std::wstring> Opened;  // help topics and web pages, in order

class TDialogTest : public TPluginRegistryTest {
protected:
  void SetUp() override {
    TPluginRegistryTest::SetUp();
    ::SetEnvironmentVariableW(L"ZVT_SETTINGS", L"1");
    zv::HelpViewer = zv::OpenWebPage = [](const std::wstring& text) { Opened.push_back(text); };
    Opened.clear();
    zv::HostMainWindow = zv::ParentWindow = Host;
    A = InstallCopy(L"A");
    B = InstallCopy(L"B");
    Bare = InstallCopy(L"Bare", L"", L"ZvFixtureBare");
  }
  void TearDown() override {
    zv::HelpViewer = &zv::ShowHtmlHelp;
    zv::OpenWebPage = &zv::ShellOpenWebPage;
    zv::HostMainWindow = zv::ParentWindow = nullptr;
    for (const wchar_t* name : {L"ZVT_SETTINGS", L"ZVT_ABOUTS", L"ZVT_OWN_BOX", L"ZVT_OWN_BOX_IN_LOAD", L"ZVT_UNLOADS_IN_BOX"})
      ::SetEnvironmentVariableW(name, nullptr);
    TPluginRegistryTest::TearDown();
    ::DestroyWindow(Host);
  }

  HWND Host = ::CreateWindowExW(0, L"STATIC", L"Host", WS_POPUP, 0, 0, 600, 500, nullptr, nullptr, nullptr, nullptr);
  zv::TPlugin *A, *B, *Bare;
};

// Shows the form modally while a script on another thread drives it; its result.
inline int ShowDriven(zv::TForm& form, std::function<void()> script) {
  TGuiDriver driver(std::move(script), 30000);
  const int result = zv::ShowFormModalCentered(form, zv::ParentWindow);
  driver.Join();
  return result;
}

// The items as "<text>|<text>", selected ones of a list marked with "*".
template <typename TItems>
std::wstring Items(const TItems& items) {
  std::wstring text;
  for (int i = 0; i < items.Count(); ++i) {
    text += (i ? L"|" : L"") + items.Item(i);
    if constexpr (std::is_same_v<TItems, zv::TListBox>) text += items.Selected(i) ? L"*" : L"";
  }
  return text;
}

// Selects items as the user would, with the first one current, and tells the dialog.
inline void SelectItems(zv::TListBox& list, const std::vector<int>& indexes) {
  list.ClearSelection();
  for (const int index : indexes) list.SetSelected(index, true);
  if (!indexes.empty()) list.SetItemIndex(indexes.front());
  list.OnClick();
}

// A tab stop and whether it is on.
struct TStop {
  zv::TControl* Control;
  bool Enabled = true;
};

// Tab visits exactly these stops in this order (z-order, into containers that
// hold controls), each on or off as given.
inline void ExpectTabStops(HWND form, const std::vector<TStop>& expected) {
  std::vector<HWND> want, stops;
  for (const TStop& s : expected) {
    want.push_back(s.Control->Handle());
    EXPECT_EQ(s.Control->Enabled(), s.Enabled) << "\"" << zv::WideToAnsi(s.Control->Caption()) << "\" at " << want.size();
  }
  const std::function<void(HWND)> collect = [&](HWND parent) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (::GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) stops.push_back(child);
      if (::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) collect(child);
    }
  };
  collect(form);
  EXPECT_EQ(stops, want) << "tab order";
}

// The OK button of the box that the test plug-ins show without an owner in
// ZV_Settings and ZV_About while ZVT_OWN_BOX is "Own window" (see Fixture.c),
// moved into the screen's corner, off the dialog.
inline HWND WaitForOwnBoxButton() {
  const HWND box = WaitForWindow(L"Own window", L"#32770");
  const RECT r = GetScreenRect(box);
  ::SetWindowPos(box, nullptr, ::GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left),
                 ::GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  HWND ok = nullptr;
  WaitUntil([&] { return (ok = FindChild(box, L"OK")) != nullptr; }, "the box's button");
  return ok;
}

// The form takes input again: enabled, the foreground window, with the focus
// on one of its controls.
inline bool TakesInputAgain(HWND form) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return IsEnabled(form) && ::GetForegroundWindow() == form &&
         ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info) && info.hwndActive == form &&
         ::IsChild(form, info.hwndFocus);
}

// Another application's window on screen (on a thread of its own, right of
// the dialogs and clear of the corner the own box goes to): the system may
// pass it the activation when a window of ours goes past a disabled dialog.
class TOtherApplicationWindow : public THostWindowThread {
public:
  TOtherApplicationWindow() : THostWindowThread(300, 100) {
    ::SetWindowPos(Handle(), nullptr, 640, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
};

}  // namespace zvtest
