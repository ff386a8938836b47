#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "frontend/ViewOnlyU.h"
#include "platform/Controls.h"

using namespace zv;

namespace {

// An editable text with a scroll bar and more lines than it shows.
class TTextForm : public TForm {
public:
  TTextForm() : TForm(nullptr, {L"View-only text", 300, 200}) {
    Text = Add<TRichEdit>(TBounds{10, 10, 200, 80}, false, true, true);
    std::vector<std::wstring> lines;
    for (int i = 0; i < 30; ++i) lines.push_back(L"Line " + std::to_wstring(i));
    Text->SetLines(lines);
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
  TRichEdit* Text;
};

}  // namespace

TEST(ViewOnlyText, ScrollsByKeysButNeitherEditsNorSelectsNorShowsACaret) {
  TTextForm f;
  SetViewOnly(f.Text, true);
  ASSERT_NE(FindHookControl(f.Text), nullptr);
  f.ShowModeless();
  EXPECT_FALSE(f.HasCaretAfterFocus());
  const std::wstring text = f.Text->Text();
  // The first visible line after each key; -1: below the top.
  for (const auto& [key, first] : {std::pair<WPARAM, LRESULT>{VK_NEXT, -1}, {VK_HOME, 0}, {VK_DOWN, 1}, {VK_UP, 0},
                                   {VK_END, -1}, {VK_PRIOR, -1}, {VK_HOME, 0}}) {
    f.Send(WM_KEYDOWN, key);
    const LRESULT line = f.Send(EM_GETFIRSTVISIBLELINE);
    EXPECT_TRUE(first == -1 ? line > 0 : line == first) << key;
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
}
