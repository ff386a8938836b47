#include "frontend/ViewOnlyU.h"

#include <commctrl.h>

#include "platform/Boundary.h"
#include "platform/ZvError.h"

namespace zv {

namespace {

constexpr UINT_PTR HookId = 0x564F;  // "VO"; the form layer's own link has another procedure

// The keys that scroll a view-only text, and how.
struct TKeyScroll {
  WPARAM Key;
  UINT Message;
  WORD Code;
};
constexpr TKeyScroll KeyScrolls[] = {
    {VK_PRIOR, WM_VSCROLL, SB_PAGEUP}, {VK_NEXT, WM_VSCROLL, SB_PAGEDOWN},  {VK_END, WM_VSCROLL, SB_BOTTOM},
    {VK_HOME, WM_VSCROLL, SB_TOP},     {VK_LEFT, WM_HSCROLL, SB_LINELEFT},  {VK_UP, WM_VSCROLL, SB_LINEUP},
    {VK_RIGHT, WM_HSCROLL, SB_LINERIGHT}, {VK_DOWN, WM_VSCROLL, SB_LINEDOWN},
};

}  // namespace

THookControl::THookControl(TControl* edit) {
  if (!edit || !edit->Handle()) throw EZvError(L"No control to hook.");
  Hook(edit);
}

void THookControl::Hook(TControl* edit) {
  // One hook per control: a second link of ours would take over the first one's place.
  if (FindHookControl(edit)) throw EZvError(L"The control is hooked already.");
  if (!::SetWindowSubclass(edit->Handle(), HookProc, HookId, reinterpret_cast<DWORD_PTR>(this)))
    throw EZvError(L"The control cannot be hooked.");
  FCustomEdit = edit;
  FWindow = edit->Handle();
}

void THookControl::Unhook() {
  ShowOwnCaret();
  ::RemoveWindowSubclass(FWindow, HookProc, HookId);
  FCustomEdit = nullptr;
  FWindow = nullptr;
}

void THookControl::SetCustomEdit(TControl* value) {
  if (value == FCustomEdit) return;
  if (value && FindHookControl(value)) throw EZvError(L"The control is hooked already.");
  Unhook();
  if (value)
    Hook(value);
  else
    delete this;
}

void THookControl::Notification() {
  Unhook();
  delete this;
}

void THookControl::SetViewOnly(bool value) {
  if (value == FViewOnly) return;
  FViewOnly = value;
  if (!value) ShowOwnCaret();
  ::InvalidateRect(FWindow, nullptr, TRUE);
}

// Hiding a caret counts: it shows again only after as many ShowCaret calls.
// The hook hides it once and shows it once.
void THookControl::HideOwnCaret() {
  if (!FCaretHidden && ::HideCaret(FWindow)) FCaretHidden = true;
}

void THookControl::ShowOwnCaret() {
  if (FCaretHidden) ::ShowCaret(FWindow);
  FCaretHidden = false;
}

LRESULT CALLBACK THookControl::HookProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) {
  auto* hook = reinterpret_cast<THookControl*>(self);
  if (msg == WM_NCDESTROY) {
    hook->Notification();
    return ::DefSubclassProc(window, msg, wParam, lParam);
  }
  LRESULT result = 0;
  const bool handled =
      GuardBoundary(false, [&] { return hook->FViewOnly && hook->WndProc(msg, wParam, lParam, result); });
  return handled ? result : ::DefSubclassProc(window, msg, wParam, lParam);
}

bool THookControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (msg) {
    case WM_SETFOCUS:
      HideOwnCaret();
      return true;
    case WM_KILLFOCUS:
      ShowOwnCaret();
      return true;
    case WM_PAINT:
      HideOwnCaret();
      return false;
    case WM_SETCURSOR:
      SetArrowCursor(result);
      return true;
    case WM_KEYDOWN:
      for (const TKeyScroll& key : KeyScrolls)
        if (key.Key == wParam) Scroll(key.Message, key.Code);
      return true;
    case WM_KEYUP:
    case WM_CHAR:
      return true;
    default:
      break;
  }
  // The mouse neither selects nor scrolls the text; a click still focuses it,
  // so that the keys scroll it. The scroll bars' own messages are non-client ones.
  if (msg >= WM_MOUSEFIRST && msg <= WM_MOUSEWHEEL) {
    if (msg == WM_LBUTTONDOWN && ::GetFocus() != FWindow) ::SetFocus(FWindow);
    return true;
  }
  return false;
}

void THookControl::Scroll(UINT msg, WORD code) {
  ::SendMessageW(FWindow, msg, MAKEWPARAM(code, 0), 0);
  ::SendMessageW(FWindow, msg, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

void THookControl::SetArrowCursor(LRESULT& result) {
  result = 1;
  POINT pt{};
  ::GetCursorPos(&pt);
  const LRESULT hit =
      ::SendMessageW(FWindow, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)));
  if (hit == HTCLIENT)
    ::SetCursor(FCustomEdit->Cursor());
  else if (hit == HTHSCROLL || hit == HTVSCROLL)
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

THookControl* FindHookControl(TControl* control) {
  DWORD_PTR hook = 0;
  if (!control || !control->Handle() ||
      !::GetWindowSubclass(control->Handle(), THookControl::HookProc, HookId, &hook))
    return nullptr;
  return reinterpret_cast<THookControl*>(hook);
}

void SetViewOnly(TControl* control, bool value) {
  THookControl* hook = FindHookControl(control);
  if (!hook) hook = new THookControl(control);
  hook->SetViewOnly(value);
}

}  // namespace zv
