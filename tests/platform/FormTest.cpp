// The form's modal loop, keyboard handling, help routing and events, driven
// from a second thread the way a user would drive them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <stdexcept>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;
using namespace zvtest;

namespace {

class TTestForm : public TForm {
public:
  explicit TTestForm(HWND owner = nullptr)
      : TForm(owner, {L"Zentavo test form", 320, 200, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
    Name = Add<TEdit>(TBounds{10, 10, 200, 21}, L"text");
    OkBtn = Add<TButton>(TBounds{70, 160, 75, 25}, L"OK");
    OkBtn->SetModalResult(mrOk);
    OkBtn->SetDefault(true);
    CancelBtn = Add<TButton>(TBounds{150, 160, 75, 25}, L"Cancel");
    CancelBtn->SetModalResult(mrCancel);
    CancelBtn->SetCancel(true);
    RetryBtn = Add<TButton>(TBounds{230, 160, 75, 25}, L"Retry");
    RetryBtn->SetModalResult(mrRetry);
    SetHelpKeyword(L"settings.html");
    SetActiveControl(Name);
  }

  TEdit* Name;
  TButton* OkBtn;
  TButton* CancelBtn;
  TButton* RetryBtn;
  std::atomic<int> Closes{0};
  std::atomic<int> Activations{0};
  std::atomic<int> Helps{0};
  std::atomic<bool> WrongHelp{false};

protected:
  void FormActivate() override { ++Activations; }
  void FormClose(TCloseAction&) override { ++Closes; }
  bool FormHelp(UINT command, ULONG_PTR data, bool& callHelp) override {
    if (command != HelpCommandKeyword || std::wstring(reinterpret_cast<const wchar_t*>(data)) != L"settings.html")
      WrongHelp = true;
    ++Helps;
    callHelp = false;
    return true;
  }
};

// Shows the form modally while the script drives it.
int RunModal(TForm& form, std::function<void(HWND)> script) {
  TGuiDriver driver([&] { script(WaitForWindow(L"Zentavo test form")); });
  const int result = form.ShowModal();
  driver.Join();
  return result;
}

}  // namespace

TEST(FormModal, KeysButtonsAndCloseGiveTheirModalResults) {
  TTestForm form;
  EXPECT_FALSE(::IsWindowVisible(form.Handle())) << "created hidden";
  EXPECT_EQ(form.ClientWidth(), 320);
  EXPECT_EQ(form.ClientHeight(), 200);

  EXPECT_EQ(RunModal(form, [](HWND w) { PressKey(w, VK_RETURN); }), mrOk);
  EXPECT_FALSE(::IsWindowVisible(form.Handle())) << "hidden after the loop";
  EXPECT_EQ(RunModal(form, [](HWND w) { PressKey(w, VK_ESCAPE); }), mrCancel);
  EXPECT_EQ(RunModal(form, [](HWND w) { ClickButton(w, L"Retry"); }), mrRetry);
  EXPECT_EQ(RunModal(form, [](HWND w) { SystemClose(w); }), mrCancel);
  EXPECT_EQ(form.Closes, 4) << "every way of closing passes FormClose";
  EXPECT_GE(form.Activations, 4);

  // A disabled default button does not answer Enter.
  form.OkBtn->SetEnabled(false);
  EXPECT_EQ(RunModal(form, [](HWND w) {
              PressKey(w, VK_RETURN);
              ClickButton(w, L"Retry");
            }),
            mrRetry);
}

TEST(FormModal, OwnerIsDisabledDuringTheLoopAndEnabledAfter) {
  TForm owner(nullptr, {L"Zentavo owner", 200, 100});
  owner.ShowModeless();
  TTestForm form(owner.Handle());
  EXPECT_EQ(form.OwnerWindow(), owner.Handle());
  std::atomic<bool> disabledDuring{false};
  const int result = RunModal(form, [&](HWND w) {
    disabledDuring = !IsEnabled(owner.Handle());
    ClickButton(w, L"OK");
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_TRUE(disabledDuring);
  EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));

  // An owner that was disabled before stays disabled.
  ::EnableWindow(owner.Handle(), FALSE);
  RunModal(form, [](HWND w) { PressKey(w, VK_ESCAPE); });
  EXPECT_FALSE(::IsWindowEnabled(owner.Handle()));
}

TEST(FormModal, HelpRequestsReachTheFormsHandler) {
  TTestForm form;
  const int result = RunModal(form, [&](HWND w) {
    PressKey(w, VK_F1);
    WaitUntil([&] { return form.Helps == 1; }, "F1 help");
    HELPINFO info{};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.hItemHandle = form.Name->Handle();
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(form.Name->Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info), SMTO_ABORTIFHUNG,
                          DefaultGuiTimeoutMs, &ignored);
    WaitUntil([&] { return form.Helps == 2; }, "WM_HELP from a control");
    ::PostMessageW(w, WM_COMMAND, HelpCommandKeyword, 0);
    WaitUntil([&] { return form.Helps == 3; }, "keyword help command");
    PressKey(w, VK_ESCAPE);
  });
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(form.Helps, 3);
  EXPECT_FALSE(form.WrongHelp);
}

TEST(FormModal, AFailingClickHandlerNeitherEscapesNorClosesTheForm) {
  TTestForm form;
  std::atomic<int> clicks{0};
  form.OkBtn->OnClick = [&] {
    ++clicks;
    throw std::runtime_error("handler failed");
  };
  const int result = RunModal(form, [&](HWND w) {
    ClickButton(w, L"OK");
    WaitUntil([&] { return clicks == 1; }, "the click");
    ClickButton(w, L"OK");
    WaitUntil([&] { return clicks == 2; }, "a second click: the form is still open");
    SystemClose(w);
  });
  EXPECT_EQ(result, mrCancel);
}

TEST(FormModal, ACloseHandlerCanKeepTheFormOpen) {
  struct TStubbornForm : TTestForm {
    int Refusals = 1;
    void FormClose(TCloseAction& action) override {
      if (Refusals-- > 0) action = TCloseAction::None;
    }
  } form;
  const int result = RunModal(form, [&](HWND w) {
    PressKey(w, VK_ESCAPE);
    ClickButton(w, L"Retry");
  });
  EXPECT_EQ(result, mrRetry);
}

TEST(FormLayout, ChildFormAnchorsAndConstraints) {
  TForm host(nullptr, {L"Zentavo host", 400, 300});
  TForm panel(nullptr, {L"Zentavo panel", 200, 50, TBorderStyle::None});
  auto* right = panel.Add<TLabel>(TBounds{150, 5, 40, 17}, L"0%", false, TAlignment::Right);
  right->SetAnchors(akTop | akRight);
  auto* stretch = panel.Add<TPanel>(TBounds{10, 25, 180, 18}, L"line", TPanelBevel::Lowered, 1, TAlignment::Left);
  stretch->SetAnchors(akLeft | akTop | akRight);
  auto* bottom = panel.Add<TButton>(TBounds{10, 20, 40, 25}, L"B");
  bottom->SetAnchors(akLeft | akBottom);
  auto* top = panel.Add<TBevel>(TBounds{0, 0, 10, 3}, TBevelShape::TopLine);
  top->SetAlign(TAlign::Top);

  panel.SetParentWindow(host.Handle());
  EXPECT_TRUE(::GetWindowLongPtrW(panel.Handle(), GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(::GetParent(panel.Handle()), host.Handle());
  EXPECT_EQ(panel.ClientWidth(), 200);
  EXPECT_EQ(panel.ClientHeight(), 50);
  EXPECT_EQ(top->Width(), 200);

  panel.SetBounds(0, 100, 300, 60);
  EXPECT_EQ(right->Left(), 250);
  EXPECT_EQ(right->Width(), 40);
  EXPECT_EQ(stretch->Left(), 10);
  EXPECT_EQ(stretch->Width(), 280);
  EXPECT_EQ(bottom->Top(), 30);
  EXPECT_EQ(top->Width(), 300);
  EXPECT_EQ(top->Height(), 3);

  host.SetConstraints(400, 0, 800, 550);
  host.SetClientSize(100, 1000);
  EXPECT_EQ(host.Width(), 400);
  EXPECT_EQ(host.Height(), 550);
}

TEST(FormModal, TabWalksThroughNestedControlsAndFocusStartsAtTheActiveControl) {
  TForm form(nullptr, {L"Zentavo test form", 300, 200});
  auto* first = form.Add<TEdit>(TBounds{10, 10, 100, 21});
  auto* group = form.Add<TGroupBox>(TBounds{10, 40, 200, 60}, L" Group ");
  auto* inner = group->Add<TCheckBox>(TBounds{10, 20, 100, 17}, L"Inner");
  auto* close = form.Add<TButton>(TBounds{10, 120, 75, 25}, L"Close");
  close->SetModalResult(mrClose);
  form.SetActiveControl(inner);
  const DWORD uiThread = ::GetCurrentThreadId();
  auto focus = [uiThread] {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(uiThread, &info);
    return info.hwndFocus;
  };
  const int result = RunModal(form, [&](HWND w) {
    WaitUntil([&] { return focus() == inner->Handle(); }, "focus on the active control");
    PressKey(w, VK_TAB);
    WaitUntil([&] { return focus() == close->Handle(); }, "focus on the button after the group");
    PressKey(w, VK_TAB);
    WaitUntil([&] { return focus() == first->Handle(); }, "focus back on the first control");
    ClickButton(w, L"Close");
  });
  EXPECT_EQ(result, mrClose);
}

TEST(FormModal, AFailingCloseHandlerStillClosesTheForm) {
  struct TFailingForm : TTestForm {
    void FormClose(TCloseAction&) override { throw std::runtime_error("close failed"); }
  } form;
  EXPECT_EQ(RunModal(form, [](HWND w) { PressKey(w, VK_RETURN); }), mrOk);
  EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

TEST(ActivationContext, OurControlsGetVersionSixAndOtherWindowsKeepTheProcessDefault) {
  TForm form(nullptr, {L"Zentavo controls", 200, 100});
  auto* button = form.Add<TButton>(TBounds{10, 10, 75, 25}, L"Ours");
  SIZE ideal{};
  EXPECT_TRUE(::SendMessageW(button->Handle(), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)))
      << "a version 6 button answers BCM_GETIDEALSIZE";
  // Created outside our scope, as the host creates its windows: the context was not left active.
  HWND plain = ::CreateWindowExW(0, L"BUTTON", L"Host", WS_CHILD, 0, 0, 75, 25, form.Handle(), nullptr, nullptr,
                                 nullptr);
  ASSERT_TRUE(plain);
  SIZE hostIdeal{};
  EXPECT_FALSE(::SendMessageW(plain, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&hostIdeal)));
  ::DestroyWindow(plain);
}
