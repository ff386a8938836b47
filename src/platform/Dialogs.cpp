#include "platform/Dialogs.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/ActivationContext.h"
#include "platform/Controls.h"

namespace zv {

namespace {

constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;

// The system's question icon.
class TIconImage : public TControl {
public:
  TIconImage(TWinControl* parent, const TBounds& bounds, LPCWSTR icon) : TControl(parent) {
    CreateHandle(L"STATIC", L"", WS_VISIBLE | SS_ICON, 0, bounds);
    ::SendMessageW(FHandle, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconW(nullptr, icon)), 0);
  }
};

class TConfirmationForm : public TForm {
public:
  TConfirmationForm(HWND owner, const std::wstring& text) : TForm(owner, {L"Confirm", 300, 100}) {
    constexpr int margin = 10, top = 13, iconSize = 32, spacing = 5;
    struct TAnswer {
      const wchar_t* Caption;
      int Result;
    };
    static const TAnswer answers[] = {
        {L"&Yes", mrYes}, {L"&No", mrNo}, {L"Cancel", mrCancel}, {L"N&o to All", mrNoToAll}, {L"Yes to &All", mrYesToAll}};
    const int count = static_cast<int>(std::size(answers));
    const int buttonsWidth = count * ButtonWidth + (count - 1) * spacing;

    const int textLeft = margin + iconSize + margin;
    const SIZE textSize =
        MeasureText(Handle(), FontHandle(), text, DT_WORDBREAK | DT_NOPREFIX, ::GetSystemMetrics(SM_CXSCREEN) / 2);
    const int width = std::max<int>(textLeft + textSize.cx + margin, buttonsWidth + 2 * margin);
    const int buttonsTop = top + std::max<int>(iconSize, textSize.cy) + top;
    SetClientSize(width, buttonsTop + ButtonHeight + top);

    Add<TIconImage>(TBounds{margin, top, iconSize, iconSize}, IDI_QUESTION);
    Message = Add<TLabel>(TBounds{textLeft, top, textSize.cx, textSize.cy}, text, false);
    Message->SetShowAccelChar(false);
    Message->SetWordWrap(true);
    int left = (width - buttonsWidth) / 2;
    for (const TAnswer& answer : answers) {
      // The answers double as control ids, as in the platform's message boxes.
      auto* button = Add<TButton>(TBounds{left, buttonsTop, ButtonWidth, ButtonHeight}, answer.Caption, answer.Result);
      button->SetModalResult(answer.Result);
      if (answer.Result == mrYes) {
        button->SetDefault(true);
        SetActiveControl(button);
      }
      if (answer.Result == mrCancel) button->SetCancel(true);
      left += ButtonWidth + spacing;
    }
    CenterOver(nullptr);
  }

  TLabel* Message;
};

class TInputForm : public TForm {
public:
  TInputForm(HWND owner, const std::wstring& caption, const std::wstring& prompt, const std::wstring& value)
      : TForm(owner, {caption, 240, 104}) {
    Prompt = Add<TLabel>(TBounds{10, 13, 0, 0}, prompt);
    Edit = Add<TEdit>(TBounds{10, 31, 220, 21}, value);
    Edit->SetMaxLength(255);
    auto* ok = Add<TButton>(TBounds{74, 66, ButtonWidth, ButtonHeight}, L"OK");
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    auto* cancel = Add<TButton>(TBounds{155, 66, ButtonWidth, ButtonHeight}, L"Cancel");
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    SetActiveControl(Edit);
    CenterOver(nullptr);
  }

  TLabel* Prompt;
  TEdit* Edit;

protected:
  void FormShow() override { Edit->SelectAll(); }
};

}  // namespace

HWND DefaultOwner() {
  const TDefaultOwnerHook hook = DefaultOwnerHook;
  return hook ? hook() : nullptr;
}

int ShowMessageBoxOwned(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
  InitControls();
  TActivationScope scope;
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
  return ShowMessageBoxOwned(DefaultOwner(), text, caption, flags);
}

int ShowConfirmationBox(const std::wstring& text) {
  TConfirmationForm form(DefaultOwner(), text);
  return form.ShowModal();
}

bool InputQuery(const std::wstring& caption, const std::wstring& prompt, std::wstring& value) {
  TInputForm form(DefaultOwner(), caption, prompt, value);
  if (form.ShowModal() != mrOk) return false;
  value = form.Edit->Text();
  return true;
}

bool TOpenDialog::Execute(HWND owner) {
  FFiles.clear();
  std::wstring filter = Filter;
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  std::vector<wchar_t> buffer(65536, L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  // The host's current directory is not ours to change.
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
              OFN_NOCHANGEDIR | (MultiSelect ? OFN_ALLOWMULTISELECT : 0);
  BOOL chosen;
  {
    InitControls();
    TActivationScope scope;
    chosen = ::GetOpenFileNameW(&ofn);
  }
  if (!chosen) return false;

  // One file: its full path. Several: the directory, then each name, each ended by a zero.
  const std::wstring first(buffer.data());
  size_t next = first.size() + 1;
  if (next >= buffer.size() || buffer[next] == L'\0') {
    FFiles.push_back(first);
  } else {
    const std::wstring dir = first.back() == L'\\' ? first : first + L"\\";
    while (next < buffer.size() && buffer[next] != L'\0') {
      const std::wstring name(&buffer[next]);
      FFiles.push_back(dir + name);
      next += name.size() + 1;
    }
  }
  return !FFiles.empty();
}

}  // namespace zv
