#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "frontend/ViewOnlyU.h"
#include "platform/Controls.h"

using namespace zv;

namespace {

// An editable text with a scroll bar and more lines than it shows; the hand over its text.
class TTextForm : public TForm {
public:
  TTextForm() : TForm(nullptr, {L"View-only text", 300, 200}) {
    Text = Add<TRichEdit>(TBounds{10, 10, 200, 80}, false, true, true);
    std::vector<std::wstring> lines;
    for (int i = 0; i < 30; ++i) lines.push_back(L"Line " + std::to_wstring(i));
    Text->SetLines(lines);
    Text->SetHandCursor(true);
  }
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageW(Text->Handle(), msg, wParam, lParam); }
  bool HasCaretAfterFocus() {
    ::SetFocus(Handle());
    Text->SetFocus();
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
    return info.hwndCaret == Text->Handle();
  }
  // The cursor after the control's answer to WM_SETCURSOR with the mouse at a point of it.
  HCURSOR CursorAt(POINT pt, WORD hit) {
    ::ClientToScreen(Text->Handle(), &pt);
    ::SetCursorPos(pt.x, pt.y);
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(Text->Handle()), MAKELPARAM(hit, WM_MOUSEMOVE));
    return ::GetCursor();
  }
  TRichEdit* Text;
};

}  // namespace

TEST(ViewOnlyText, ScrollsByKeysAndScrollBarsButNeitherEditsNorSelectsNorShowsACaret) {
  TTextForm f;
  SetViewOnly(f.Text, true);
  ASSERT_NE(FindHookControl(f.Text), nullptr);
  f.ShowModeless();
  EXPECT_FALSE(f.HasCaretAfterFocus());
  const std::wstring text = f.Text->Text();
  const struct {
    WPARAM Key;
    LRESULT FirstLine;  // -1: below the top
  } keys[] = {{VK_NEXT, -1}, {VK_HOME, 0}, {VK_DOWN, 1}, {VK_UP, 0}, {VK_END, -1}, {VK_PRIOR, -1}, {VK_HOME, 0}};
  for (const auto& k : keys) {
    f.Send(WM_KEYDOWN, k.Key);
    const LRESULT line = f.Send(EM_GETFIRSTVISIBLELINE);
    EXPECT_TRUE(k.FirstLine == -1 ? line > 0 : line == k.FirstLine) << k.Key;
  }
  f.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)));
  EXPECT_EQ(f.Send(EM_GETFIRSTVISIBLELINE), 0) << "the wheel scrolled";
  f.Send(WM_KEYDOWN, VK_DELETE);
  f.Send(WM_CHAR, L'x');
  f.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  f.Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 60));
  f.Send(WM_LBUTTONUP, 0, MAKELPARAM(150, 60));
  CHARRANGE selection{};
  f.Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  EXPECT_EQ(selection.cpMax - selection.cpMin, 0);
  EXPECT_EQ(f.Text->Text(), text);
  EXPECT_FALSE(f.HasCaretAfterFocus());

  RECT client{};
  ::GetClientRect(f.Text->Handle(), &client);
  EXPECT_EQ(f.CursorAt({client.right + 5, 40}, HTVSCROLL), ::LoadCursorW(nullptr, IDC_ARROW)) << "scroll bar";
  EXPECT_EQ(f.CursorAt({20, 20}, HTCLIENT), ::LoadCursorW(nullptr, IDC_HAND)) << "text";
  EXPECT_EQ(f.CursorAt({-1, -1}, HTBORDER), ::LoadCursorW(nullptr, IDC_WAIT)) << "border";
  f.Send(WM_VSCROLL, SB_PAGEDOWN);
  EXPECT_GT(f.Send(EM_GETFIRSTVISIBLELINE), 0) << "the scroll bar's messages pass";
}
