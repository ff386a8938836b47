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
  explicit TSizedForm(HWND owner) : TForm(owner, {L"Centred Form", 100, 50}) { SetBounds(0, 0, 150, 90); }

protected:
  void FormShow() override {
    Shown = {Handle(), ::GetWindow(Handle(), GW_OWNER), zvtest::GetScreenRect(Handle())};
    SetModalResult(mrOk);
  }
};

}  // namespace

TEST(ShowModalCentered, CentresOverTheWindowOrTheWorkArea) {
  const HWND host = ::CreateWindowExW(0, L"STATIC", L"Host Window", WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 200, 150,
                                      400, 300, nullptr, nullptr, nullptr, nullptr);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT screen{work.left + (work.right - work.left - 150) / 2, work.top + (work.bottom - work.top - 90) / 2};
  const struct {
    const char* Parent;
    HWND Handle;
    POINT Expected;
  } cases[] = {
      {"a window", host, {325, 255}},
      {"none", nullptr, screen},
      {"a window that does not exist", reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00FEDCBA)), screen},
  };
  for (const auto& c : cases) {
    TSizedForm form(nullptr);
    EXPECT_EQ(ShowFormModalCentered(form, c.Handle), mrOk) << c.Parent;
    EXPECT_EQ(Shown.Rect.left, c.Expected.x) << c.Parent;
    EXPECT_EQ(Shown.Rect.top, c.Expected.y) << c.Parent;
    EXPECT_TRUE(!::IsWindow(c.Handle) || Shown.Owner == c.Handle) << c.Parent;
    EXPECT_TRUE(::IsWindow(form.Handle())) << "the caller's form lives on";
  }
  // The form made for the call is freed with it.
  EXPECT_EQ(ShowModalCentered<TSizedForm>(host), mrOk);
  EXPECT_EQ(Shown.Owner, host);
  EXPECT_FALSE(::IsWindow(Shown.Form)) << "the form was not freed";
  ::DestroyWindow(host);
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
