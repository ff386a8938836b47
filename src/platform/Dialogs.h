// The boxes of the form layer: message boxes, the confirmation box with the
// "to all" answers, the single-line input box and the open-file dialog. Boxes
// without an explicit owner are owned by the default owner.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace zv {

// Tells the owner of boxes shown without an explicit one. The front end sets
// it to its owner-window rule before any box can be shown; while it is null,
// boxes have no owner.
using TDefaultOwnerHook = HWND (*)();
inline std::atomic<TDefaultOwnerHook> DefaultOwnerHook{nullptr};
HWND DefaultOwner();

// The platform's message box (MB_* flags), owned by the default owner; returns its answer (IDOK, IDYES, ...).
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);
int ShowMessageBoxOwned(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// Caption "Confirm", question icon, the buttons "&Yes", "&No", "Cancel",
// "N&o to All", "Yes to &All"; answers mrYes 6, mrNo 7, mrCancel 2,
// mrNoToAll 9, mrYesToAll 10 (closing the box answers mrCancel). Owned by the default owner.
int ShowConfirmationBox(const std::wstring& text);

// A prompt, an edit holding Value and OK / Cancel. True with the edited text
// in Value on OK; false and Value unchanged otherwise. Owned by the default owner.
bool InputQuery(const std::wstring& caption, const std::wstring& prompt, std::wstring& value);

// The platform's open-file dialog.
class TOpenDialog {
public:
  std::wstring Title;
  // Pairs of description and patterns separated by "|": "Text (*.txt)|*.txt|All|*.*".
  std::wstring Filter;
  std::wstring DefaultExt;
  std::wstring InitialDir;
  bool MultiSelect = true;

  // Shows the dialog (resizable, read-only box hidden; chosen files must
  // exist). True when files were chosen; they are then in Files() as full paths.
  bool Execute(HWND owner);
  const std::vector<std::wstring>& Files() const { return FFiles; }

private:
  std::vector<std::wstring> FFiles;
};

}  // namespace zv
