#include <gtest/gtest.h>

#include "frontend/TCUtilities.h"
#include "platform/Controls.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;

namespace {

// A form whose outer size is given exactly, as the centring works on it; Start ends it with mrOk.
class TSizedForm : public TForm {
public:
  explicit TSizedForm(HWND owner, int width = 150, int height = 40, const wchar_t* caption = L"Centred Form")
      : TForm(owner, {caption, 100, 50}) {
    Add<TButton>(TBounds{0, 0, 40, 20}, L"Start")->SetModalResult(mrOk);
    SetBounds(0, 0, width, height);
  }
};

// A window of "the host": a plain top-level window at a known place.
class THostWindow {
public:
  THostWindow(int left, int top, int width, int height, DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU)
      : FHandle(::CreateWindowExW(0, L"STATIC", L"Host Window", style | WS_VISIBLE, left, top, width, height,
                                  nullptr, nullptr, nullptr, nullptr)) {}
  ~THostWindow() { ::DestroyWindow(FHandle); }
  HWND Handle() const { return FHandle; }

private:
  HWND FHandle;
};

// Waits for the modal form, notes where it is and who owns it, then presses Start.
std::function<void()> NoteAndStart(RECT& rect, HWND& owner, const wchar_t* caption = L"Centred Form") {
  return [&rect, &owner, caption] {
    HWND form = zvtest::WaitForWindow(caption);
    rect = zvtest::GetScreenRect(form);
    owner = ::GetWindow(form, GW_OWNER);
    zvtest::ClickButton(form, L"Start");
  };
}

}  // namespace

// 500 + (100 - 301) / 2 is 400: halves truncated toward zero, so a form 301
// wide over a window 100 wide starts 100 pixels left of it.
TEST(ShowModalCentered, CentresOverTheWindowOrTheScreenWithTruncatedHalves) {
  THostWindow narrow(500, 300, 100, 80, WS_POPUP | WS_BORDER);  // no caption: a captioned one is wider
  THostWindow host(200, 150, 400, 300);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const struct {
    const char* Parent;
    HWND Handle;
    int Width, Height;
    POINT Expected;
  } cases[] = {
      {"a narrow window", narrow.Handle(), 301, 101, {400, 290}},
      {"a window", host.Handle(), 150, 90, {325, 255}},
      {"none", nullptr, 150, 90, {work.left + (work.right - work.left - 150) / 2, work.top + (work.bottom - work.top - 90) / 2}},
      {"a window that does not exist", reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA)), 150, 90,
       {work.left + (work.right - work.left - 150) / 2, work.top + (work.bottom - work.top - 90) / 2}},
  };
  for (const auto& c : cases) {
    TSizedForm form(nullptr, c.Width, c.Height, L"Existing Form");
    RECT rect{};
    HWND owner = nullptr;
    zvtest::TGuiDriver driver(NoteAndStart(rect, owner, L"Existing Form"));
    EXPECT_EQ(ShowFormModalCentered(form, c.Handle), mrOk) << c.Parent;
    driver.Join();
    EXPECT_EQ(rect.left, c.Expected.x) << c.Parent;
    EXPECT_EQ(rect.top, c.Expected.y) << c.Parent;
    EXPECT_TRUE(!::IsWindow(c.Handle) || owner == c.Handle) << c.Parent;
    EXPECT_TRUE(::IsWindow(form.Handle())) << "the caller's form lives on";
  }
  // The form made for the call is freed with it.
  RECT rect{};
  HWND owner = nullptr;
  zvtest::TGuiDriver driver(NoteAndStart(rect, owner));
  EXPECT_EQ(ShowModalCentered<TSizedForm>(host.Handle()), mrOk);
  driver.Join();
  EXPECT_EQ(owner, host.Handle());
  EXPECT_EQ(zvtest::FindTopWindow(L"Centred Form"), nullptr) << "the form was not freed";
}

// The strip below a live window is the progress panel's test.
TEST(AttachFormBelowWindow, WithoutALiveWindowTheFactoryIsNotEvenCalled) {
  int made = 0;
  auto factory = [&](HWND owner) -> std::unique_ptr<TForm> {
    ++made;
    return std::make_unique<TSizedForm>(owner);
  };
  HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ::DestroyWindow(gone);
  EXPECT_EQ(AttachFormBelowWindow(factory, gone), nullptr);
  EXPECT_EQ(AttachFormBelowWindow(factory, nullptr), nullptr);
  EXPECT_EQ(made, 0);
}
