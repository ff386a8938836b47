#include <gtest/gtest.h>

#include "frontend/TCUtilities.h"
#include "platform/Controls.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;

namespace {

// A form whose outer size is given exactly, as the centring works on it.
class TSizedForm : public TForm {
public:
  explicit TSizedForm(HWND owner, int width = 150, int height = 40, const wchar_t* caption = L"Centred Form")
      : TForm(owner, {caption, 100, 50}) {
    SetBounds(0, 0, width, height);
  }
};

// A window of "the host": a plain captioned top-level window at a known place.
class THostWindow {
public:
  THostWindow(int left, int top, int width, int height, DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU) {
    FHandle = ::CreateWindowExW(0, L"STATIC", L"Host Window", style | WS_VISIBLE, left, top, width, height,
                                nullptr, nullptr, nullptr, nullptr);
  }
  ~THostWindow() { ::DestroyWindow(FHandle); }
  HWND Handle() const { return FHandle; }
  RECT Rect() const { return zvtest::GetScreenRect(FHandle); }
  RECT Client() const {
    RECT r{};
    ::GetClientRect(FHandle, &r);
    return r;
  }

private:
  HWND FHandle;
};

struct TSeenForm {
  RECT Rect{};
  HWND Owner = nullptr;
};

// Waits for the modal form, notes where it is and who owns it, then closes it.
std::function<void()> NoteAndClose(TSeenForm& seen, const wchar_t* caption = L"Centred Form") {
  return [&seen, caption] {
    HWND form = zvtest::WaitForWindow(caption);
    seen.Rect = zvtest::GetScreenRect(form);
    seen.Owner = ::GetWindow(form, GW_OWNER);
    zvtest::SystemClose(form);
  };
}

}  // namespace

TEST(ShowModalCentered, AFormWiderThanTheWindowIsCentredWithTruncatedHalves) {
  // No caption: a captioned window has a minimum width above 100.
  THostWindow host(500, 300, 100, 80, WS_POPUP | WS_BORDER);
  ASSERT_TRUE(host.Handle());
  ASSERT_EQ(host.Rect().right - host.Rect().left, 100);
  TSeenForm seen;
  int made = 0;
  zvtest::TGuiDriver driver(NoteAndClose(seen));
  const int result = ShowModalCentered(
      [&](HWND owner) -> std::unique_ptr<TForm> {
        ++made;
        return std::make_unique<TSizedForm>(owner, 301, 101);
      },
      host.Handle());
  driver.Join();
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(made, 1);
  // 500 + (100 - 301) / 2 and 300 + (80 - 101) / 2, each half truncated toward zero.
  EXPECT_EQ(seen.Rect.left, 400);
  EXPECT_EQ(seen.Rect.top, 290);
  EXPECT_EQ(seen.Rect.right - seen.Rect.left, 301);
  EXPECT_EQ(seen.Rect.bottom - seen.Rect.top, 101);
  EXPECT_EQ(seen.Owner, host.Handle());
  EXPECT_EQ(zvtest::FindTopWindow(L"Centred Form"), nullptr) << "the form was not freed";
}

TEST(ShowModalCentered, TheFormClassVariantGivesTheFormsModalResult) {
  struct TStartForm : TForm {
    explicit TStartForm(HWND owner) : TForm(owner, {L"Start Form", 120, 40}) {
      Add<TButton>(TBounds{10, 10, 75, 25}, L"Start")->SetModalResult(mrOk);
    }
  };
  THostWindow host(100, 100, 400, 300);
  zvtest::TGuiDriver driver([] { zvtest::ClickButton(zvtest::WaitForWindow(L"Start Form"), L"Start"); });
  EXPECT_EQ(ShowModalCentered<TStartForm>(host.Handle()), mrOk);
  driver.Join();
}

TEST(ShowFormModalCentered, CentresAnExistingFormAndLeavesItAlive) {
  THostWindow host(200, 150, 400, 300);
  TSizedForm form(nullptr, 150, 90, L"Existing Form");
  TSeenForm seen;
  {
    zvtest::TGuiDriver driver(NoteAndClose(seen, L"Existing Form"));
    EXPECT_EQ(ShowFormModalCentered(form, host.Handle()), mrCancel);
    driver.Join();
  }
  EXPECT_EQ(seen.Rect.left, 200 + (400 - 150) / 2);
  EXPECT_EQ(seen.Rect.top, 150 + (300 - 90) / 2);
  EXPECT_EQ(seen.Owner, host.Handle());
  EXPECT_TRUE(::IsWindow(form.Handle()));

  // Shown a second time, over another window.
  THostWindow other(0, 0, 150, 90);
  zvtest::TGuiDriver driver(NoteAndClose(seen, L"Existing Form"));
  EXPECT_EQ(ShowFormModalCentered(form, other.Handle()), mrCancel);
  driver.Join();
  EXPECT_EQ(seen.Rect.left, 0);
  EXPECT_EQ(seen.Rect.top, 0);
}

TEST(ShowFormModalCentered, WithoutAWindowTheFormIsCentredOnTheScreen) {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  for (HWND parent : {HWND(nullptr), reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA))}) {
    TSizedForm form(nullptr, 200, 100, L"Unowned Form");
    TSeenForm seen;
    zvtest::TGuiDriver driver(NoteAndClose(seen, L"Unowned Form"));
    ShowFormModalCentered(form, parent);
    driver.Join();
    EXPECT_EQ(seen.Rect.left, work.left + (work.right - work.left - 200) / 2);
    EXPECT_EQ(seen.Rect.top, work.top + (work.bottom - work.top - 100) / 2);
  }
}

TEST(AttachFormBelowWindow, TheWindowGrowsByTheFormsHeightAndTheFormFillsTheStrip) {
  THostWindow host(50, 60, 300, 200, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME);
  const RECT before = host.Rect();
  const RECT clientBefore = host.Client();

  auto panel = AttachFormBelowWindow(
      [](HWND owner) -> std::unique_ptr<TForm> { return std::make_unique<TForm>(owner, TFormStyle{L"Panel", 120, 45}); },
      host.Handle());
  ASSERT_NE(panel, nullptr);

  const RECT after = host.Rect();
  const RECT clientAfter = host.Client();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + 45);
  EXPECT_EQ(clientAfter.bottom, clientBefore.bottom + 45);
  EXPECT_EQ(clientAfter.right, clientBefore.right);

  EXPECT_EQ(::GetParent(panel->Handle()), host.Handle());
  EXPECT_TRUE(::IsWindowVisible(panel->Handle()));
  RECT placed = zvtest::GetScreenRect(panel->Handle());
  ::MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.top, clientBefore.bottom);
  EXPECT_EQ(placed.right, clientBefore.right);
  EXPECT_EQ(placed.bottom, clientBefore.bottom + 45);
  panel.reset();  // the caller frees the panel before the window goes
}

TEST(AttachFormBelowWindow, TheTypedFormIsReturnedAndAMissingWindowGivesNothing) {
  THostWindow host(10, 10, 200, 150);
  auto panel = AttachFormBelowWindow<TSizedForm>(host.Handle());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(::GetParent(panel->Handle()), host.Handle());
  panel.reset();

  int made = 0;
  auto factory = [&](HWND owner) -> std::unique_ptr<TForm> {
    ++made;
    return std::make_unique<TSizedForm>(owner, 10, 10);
  };
  HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ::DestroyWindow(gone);
  EXPECT_EQ(AttachFormBelowWindow(factory, gone), nullptr);
  EXPECT_EQ(AttachFormBelowWindow(factory, nullptr), nullptr);
  EXPECT_EQ(made, 0);
}
