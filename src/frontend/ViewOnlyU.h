// View-only text: an edit control whose text can be scrolled and read, but
// neither edited, selected nor given a visible caret. A hook takes the
// control's messages before the control's own procedure does. It links itself
// into the control's comctl32 subclass chain, so the form layer's link and any
// other stay where they are, and it unlinks itself exactly once: when the
// control's window is destroyed, or when it is told to let go.
#pragma once
#include <windows.h>

#include "platform/Form.h"

namespace zv {

class THookControl {
public:
  // Hooks the control. The hook then belongs to the control's window and
  // frees itself with it; make it with new, never on the stack.
  explicit THookControl(TControl* edit);
  THookControl(const THookControl&) = delete;
  THookControl& operator=(const THookControl&) = delete;

  TControl* CustomEdit() const { return FCustomEdit; }
  // Hooks another control; null gives the control its own procedure back
  // and frees the hook.
  void SetCustomEdit(TControl* value);
  bool ViewOnly() const { return FViewOnly; }
  // Switching it off shows the caret again; either way the control repaints.
  void SetViewOnly(bool value);

private:
  friend THookControl* FindHookControl(TControl* control);
  ~THookControl() = default;  // only the hook itself ends its life

  static LRESULT CALLBACK HookProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self);
  // The control's messages while view-only; true: handled with result, not passed on.
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The control is being destroyed: its own procedure back, the hook gone.
  void Notification();
  // Scrolls the control as its scroll bar would: the code, then the end of scrolling.
  void Scroll(UINT msg, WORD code);
  void SetArrowCursor(LRESULT& result);
  void Hook(TControl* edit);
  void Unhook();
  void HideOwnCaret();
  void ShowOwnCaret();

  TControl* FCustomEdit = nullptr;
  HWND FWindow = nullptr;
  bool FViewOnly = false;
  bool FCaretHidden = false;  // hidden by us, so shown once again by us
};

// Sets a control's view-only state, making its hook on first use.
void SetViewOnly(TControl* control, bool value);
// The control's hook, or null.
THookControl* FindHookControl(TControl* control);

}  // namespace zv
