#include <gtest/gtest.h>

#include <memory>

#include "frontend/TCUtilities.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;

namespace {

// Where the last form stood and who owned it when it was shown.
struct {
  HWND Form, Owner;
  RECT Rect;
} Shown;

// A form whose outer size is given exactly, as the centring works on it; it
// notes where it is shown and ends at once with mrOk.
class TSizedForm : public TForm {
public:
  explicit TSizedForm(HWND owner, int width = 150, int height = 40) : TForm(owner, {L"Centred Form", 100, 50}) {
    SetBounds(0, 0, width, height);
  }

protected:
  void FormShow() override {
    Shown = {Handle(), ::GetWindow(Handle(), GW_OWNER), zvtest::GetScreenRect(Handle())};
    SetModalResult(mrOk);
  }
};

// A window of "the host": a plain top-level window at a known place.
std::unique_ptr<HWND__, decltype(&::DestroyWindow)> HostWindow(int left, int top, int width, int height,
                                                               DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU) {
  return {::CreateWindowExW(0, L"STATIC", L"Host Window", style | WS_VISIBLE, left, top, width, height, nullptr,
                            nullptr, nullptr, nullptr),
          &::DestroyWindow};
}

}  // namespace

// 500 + (100 - 301) / 2 is 400: halves truncated toward zero, so a form 301
// wide over a window 100 wide starts 100 pixels left of it.
TEST(ShowModalCentered, CentresOverTheWindowOrTheScreenWithTruncatedHalves) {
  const auto narrow = HostWindow(500, 300, 100, 80, WS_POPUP | WS_BORDER);  // no caption: a captioned one is wider
  const auto host = HostWindow(200, 150, 400, 300);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT screen{work.left + (work.right - work.left - 150) / 2, work.top + (work.bottom - work.top - 90) / 2};
  const struct {
    const char* Parent;
    HWND Handle;
    int Width, Height;
    POINT Expected;
  } cases[] = {
      {"a narrow window", narrow.get(), 301, 101, {400, 290}},
      {"a window", host.get(), 150, 90, {325, 255}},
      {"none", nullptr, 150, 90, screen},
      {"a window that does not exist", reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA)), 150, 90, screen},
  };
  for (const auto& c : cases) {
    TSizedForm form(nullptr, c.Width, c.Height);
    EXPECT_EQ(ShowFormModalCentered(form, c.Handle), mrOk) << c.Parent;
    EXPECT_EQ(Shown.Rect.left, c.Expected.x) << c.Parent;
    EXPECT_EQ(Shown.Rect.top, c.Expected.y) << c.Parent;
    EXPECT_TRUE(!::IsWindow(c.Handle) || Shown.Owner == c.Handle) << c.Parent;
    EXPECT_TRUE(::IsWindow(form.Handle())) << "the caller's form lives on";
  }
  // The form made for the call is freed with it.
  EXPECT_EQ(ShowModalCentered<TSizedForm>(host.get()), mrOk);
  EXPECT_EQ(Shown.Owner, host.get());
  EXPECT_FALSE(::IsWindow(Shown.Form)) << "the form was not freed";
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
