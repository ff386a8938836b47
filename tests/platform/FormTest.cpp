// The form's modal loop, keyboard handling and failing handlers, driven from
// a second thread the way a user would drive them. Help requests, tab order
// and the first focus are the dialogs' tests.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <stdexcept>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "platform/ZvError.h"
#include "support/GuiDriver.h"

using namespace zv;
using namespace zvtest;

namespace {

class TTestForm : public TForm {
public:
  explicit TTestForm(HWND owner = nullptr)
      : TForm(owner, {L"Zentavo test form", 320, 200, TBorderStyle::Dialog, biSystemMenu}) {
    OkBtn = Add<TButton>(TBounds{70, 160, 75, 25}, L"OK");
    OkBtn->SetModalResult(mrOk);
    OkBtn->SetDefault(true);
    auto* cancel = Add<TButton>(TBounds{150, 160, 75, 25}, L"Cancel");
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    Add<TButton>(TBounds{230, 160, 75, 25}, L"Retry")->SetModalResult(mrRetry);
    SetActiveControl(Add<TEdit>(TBounds{10, 10, 200, 21}, L"text"));
  }

  TButton* OkBtn;
  std::atomic<int> Closes{0}, Refusals{0};
  std::atomic<bool> ThrowOnClose{false};

protected:
  void FormClose(TCloseAction& action) override {
    ++Closes;
    if (Refusals > 0 && Refusals--) action = TCloseAction::None;
    if (ThrowOnClose) throw std::runtime_error("close failed");
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

TEST(FormModal, KeysButtonsAndCloseGiveTheirModalResultsWhileTheOwnerIsDisabled) {
  TForm owner(nullptr, {L"Zentavo owner", 200, 100});
  owner.ShowModeless();
  TTestForm form(owner.Handle());
  const struct {
    const char* Way;
    std::function<void(HWND)> Act;
    int Result;
  } ways[] = {
      {"Enter", [](HWND w) { PressKey(w, VK_RETURN); }, mrOk},
      {"Escape", [](HWND w) { PressKey(w, VK_ESCAPE); }, mrCancel},
      {"a button", [](HWND w) { ClickButton(w, L"Retry"); }, mrRetry},
      {"the caption's close", [](HWND w) { SystemClose(w); }, 2},
  };
  for (const auto& way : ways) {
    std::atomic<bool> ownerDisabled{false};
    EXPECT_EQ(RunModal(form,
                       [&](HWND w) {
                         ownerDisabled = !IsEnabled(owner.Handle());
                         way.Act(w);
                       }),
              way.Result)
        << way.Way;
    EXPECT_TRUE(ownerDisabled) << way.Way;
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle())) << way.Way;
    EXPECT_FALSE(::IsWindowVisible(form.Handle())) << way.Way;
  }
  EXPECT_EQ(form.Closes, 4) << "every way of closing passes FormClose";

  // A disabled default button does not answer Enter; a refused close keeps the form open.
  form.OkBtn->SetEnabled(false);
  form.Refusals = 1;
  EXPECT_EQ(RunModal(form, [](HWND w) {
              PressKey(w, VK_RETURN);
              PressKey(w, VK_ESCAPE);
              ClickButton(w, L"Retry");
            }),
            mrRetry);
  EXPECT_EQ(form.Refusals, 0);

  // An owner that was disabled before stays disabled.
  ::EnableWindow(owner.Handle(), FALSE);
  RunModal(form, [](HWND w) { PressKey(w, VK_ESCAPE); });
  EXPECT_FALSE(::IsWindowEnabled(owner.Handle()));
}

TEST(FormModal, FailingHandlersNeitherEscapeNorHangTheLoop) {
  TTestForm form;
  std::atomic<int> clicks{0};
  form.OkBtn->OnClick = [&] {
    ++clicks;
    throw std::runtime_error("handler failed");
  };
  // A failing click handler leaves the form open.
  EXPECT_EQ(RunModal(form,
                     [&](HWND w) {
                       ClickButton(w, L"OK");
                       WaitUntil([&] { return clicks == 1; }, "the click");
                       ClickButton(w, L"OK");
                       WaitUntil([&] { return clicks == 2; }, "a second click: the form is still open");
                       SystemClose(w);
                     }),
            mrCancel);
  // A failing close handler still lets the form close.
  form.OkBtn->OnClick = nullptr;
  form.ThrowOnClose = true;
  EXPECT_EQ(RunModal(form, [](HWND w) { PressKey(w, VK_RETURN); }), mrOk);
  EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

TEST(FormLayout, AnchorsFollowTheParentAndConstraintsLimitTheSize) {
  TForm form(nullptr, {L"Zentavo panel", 200, 50, TBorderStyle::None});
  auto* right = form.Add<TLabel>(TBounds{150, 5, 40, 17}, L"0%", false, TAlignment::Right);
  right->SetAnchors(akTop | akRight);
  auto* stretch = form.Add<TPanel>(TBounds{10, 25, 180, 18}, L"line", TPanelBevel::Lowered, 1, TAlignment::Left);
  stretch->SetAnchors(akLeft | akTop | akRight);
  auto* bottom = form.Add<TButton>(TBounds{10, 20, 40, 25}, L"B");
  bottom->SetAnchors(akLeft | akBottom);
  form.SetBounds(0, 100, 300, 60);
  EXPECT_EQ(right->Left(), 250);
  EXPECT_EQ(right->Width(), 40);
  EXPECT_EQ(stretch->Width(), 280);
  EXPECT_EQ(bottom->Top(), 30);

  form.SetConstraints(400, 0, 800, 550);
  form.SetClientSize(100, 1000);
  EXPECT_EQ(form.Width(), 400);
  EXPECT_EQ(form.Height(), 550);
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
  EXPECT_FALSE(::SendMessageW(plain, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
  ::DestroyWindow(plain);
}

// A control whose window cannot be made still frees the picture it was given;
// a font that a parent replaces is never left behind in a child that showed it.
TEST(FormResources, NoGdiObjectIsLeakedOrLeftFreedInUse) {
  TForm form(nullptr, {L"Zentavo fonts", 200, 100});
  auto* panel = form.Add<TPanel>(TBounds{0, 0, 200, 100});
  panel->SetFont({L"Tahoma", -14});
  auto* label = panel->Add<TLabel>(TBounds{5, 5, 0, 0}, L"inherits");
  panel->SetFont({L"Tahoma", -20});
  const auto shown = reinterpret_cast<HFONT>(::SendMessageW(label->Handle(), WM_GETFONT, 0, 0));
  EXPECT_EQ(::GetObjectType(shown), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(shown, panel->FontHandle());

  ::DestroyWindow(panel->Handle());
  const HBITMAP picture = ::CreateBitmap(1, 1, 1, 32, nullptr);
  EXPECT_THROW(panel->Add<TImage>(TBounds{0, 0, 1, 1}, picture), EZvOSError);
  EXPECT_EQ(::GetObjectType(picture), 0u);
}
