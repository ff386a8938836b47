#include "platform/Form.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/Module.h"
#include "platform/ActivationContext.h"
#include "platform/Controls.h"
#include "platform/ZvError.h"

namespace zv {

namespace {

const wchar_t* const ControlProp = L"ZentavoControl";
const wchar_t* const WindowClassName = L"ZentavoWindow";
constexpr UINT_PTR SubclassId = 1;
constexpr UINT WM_KEYF1_MSG = 0x004D;  // what the system makes of F1; we raise help ourselves

// Our own window class, registered once and unregistered when the module goes
// (a class left behind by an unloaded DLL would point into freed code).
class TWindowClass {
public:
  explicit TWindowClass(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = WindowClassName;
    FAtom = ::RegisterClassExW(&wc);
  }
  ~TWindowClass() {
    if (FAtom) ::UnregisterClassW(WindowClassName, ThisModule());
  }

private:
  ATOM FAtom = 0;
};

HFONT CreateFontFromDesc(const TFontDesc& desc) {
  LOGFONTW lf{};
  lf.lfHeight = desc.Height;
  lf.lfWeight = (desc.Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (desc.Style & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (desc.Style & fsUnderline) ? TRUE : FALSE;
  lf.lfCharSet = desc.Charset;
  lf.lfQuality = DEFAULT_QUALITY;
  lstrcpynW(lf.lfFaceName, desc.Name.c_str(), LF_FACESIZE);
  return ::CreateFontIndirectW(&lf);
}

TControl* FromHandle(HWND window) {
  return window ? static_cast<TControl*>(::GetPropW(window, ControlProp)) : nullptr;
}

// Keeps the owner disabled exactly while a modal loop runs, whatever happens.
class TOwnerDisabler {
public:
  explicit TOwnerDisabler(HWND owner) : FOwner(owner) {
    if (FOwner && ::IsWindowEnabled(FOwner)) {
      ::EnableWindow(FOwner, FALSE);
      FDisabled = true;
    }
  }
  ~TOwnerDisabler() { Restore(); }
  void Restore() {
    if (FDisabled) ::EnableWindow(FOwner, TRUE);
    FDisabled = false;
  }

private:
  HWND FOwner;
  bool FDisabled = false;
};

bool TakesInput(HWND window) { return window && ::IsWindowVisible(window) && ::IsWindowEnabled(window); }

}  // namespace

// The two entries through which every window of ours reaches its object.
struct TWindowProcs {
  static LRESULT Dispatch(TControl* control, HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    bool handled = false;
    try {
      handled = control->WndProc(msg, wParam, lParam, result);
    } catch (...) {
      // Nothing may unwind into the system's frames; the message counts as handled.
      handled = true;
      result = 0;
    }
    if (!handled) result = control->DefaultProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
      ::RemovePropW(window, ControlProp);
      if (!control->FOwnClass) ::RemoveWindowSubclass(window, SubclassProc, SubclassId);
      control->FHandle = nullptr;
    }
    return result;
  }

  // The object is bound at WM_NCCREATE; messages before have none yet.
  static LRESULT CALLBACK OwnWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TControl* control = FromHandle(window);
    if (msg == WM_NCCREATE) {
      control = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      if (control) {
        control->FHandle = window;
        ::SetPropW(window, ControlProp, control);
      }
    }
    if (!control) return ::DefWindowProcW(window, msg, wParam, lParam);
    return Dispatch(control, window, msg, wParam, lParam);
  }

  static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR refData) {
    return Dispatch(reinterpret_cast<TControl*>(refData), window, msg, wParam, lParam);
  }

  static void EnsureClass() { static TWindowClass windowClass(OwnWndProc); }
};

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TWinControl* parent) : FParent(parent) {
  if (parent) {
    FForm = parent->FForm;
    FFontDesc = parent->FFontDesc;
    FFont = parent->FFont;
    if (FForm) {
      FId = FForm->AllocateId();
      FForm->RegisterControl(this);
    }
  }
}

TControl::~TControl() {
  if (FHandle) ::DestroyWindow(FHandle);
  if (FForm && FForm != this) FForm->UnregisterControl(this);
}

const wchar_t* TControl::OwnClassName() {
  TWindowProcs::EnsureClass();
  return WindowClassName;
}

void TControl::CreateHandle(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                            const TBounds& b, int id, HWND parentWindow) {
  InitControls();
  FOwnClass = (className == OwnClassName());
  if (!parentWindow && FParent) parentWindow = FParent->FHandle;
  if (FParent) style |= WS_CHILD;
  if (id != 0) FId = id;
  HWND window;
  DWORD error;
  {
    TActivationScope scope;
    window = ::CreateWindowExW(exStyle, className, text.c_str(), style, b.Left, b.Top, b.Width, b.Height,
                               parentWindow, FParent ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(FId)) : nullptr,
                               ThisModule(), FOwnClass ? this : nullptr);
    error = ::GetLastError();  // before the scope's deactivation can change it
  }
  if (!window) RaiseOSError(error);
  FHandle = window;
  if (!FOwnClass) {
    ::SetPropW(window, ControlProp, this);
    ::SetWindowSubclass(window, TWindowProcs::SubclassProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
  }
  ApplyFont();
  RecordAnchorBase();
}

LRESULT TControl::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (FOwnClass) return ::DefWindowProcW(FHandle, msg, wParam, lParam);
  return ::DefSubclassProc(FHandle, msg, wParam, lParam);
}

HCURSOR TControl::Cursor() const { return ::LoadCursorW(nullptr, FHandCursor ? IDC_HAND : IDC_ARROW); }

bool TControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_SETCURSOR && FHandCursor && LOWORD(lParam) == HTCLIENT) {
    ::SetCursor(Cursor());
    result = TRUE;
    return true;
  }
  return false;
}

HBRUSH TControl::CtlColor(UINT msg, HDC dc) {
  ::SetBkMode(dc, TRANSPARENT);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::SetTextColor(dc, FFontColor == clDefault ? ::GetSysColor(COLOR_BTNTEXT) : FFontColor);
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

TForm* TControl::Form() const { return FForm; }

namespace {
RECT RectInParent(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  HWND parent = (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) ? ::GetParent(window) : nullptr;
  if (parent) ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
}  // namespace

int TControl::Left() const { return RectInParent(FHandle).left; }
int TControl::Top() const { return RectInParent(FHandle).top; }
int TControl::Width() const {
  const RECT r = RectInParent(FHandle);
  return r.right - r.left;
}
int TControl::Height() const {
  const RECT r = RectInParent(FHandle);
  return r.bottom - r.top;
}
TBounds TControl::Bounds() const {
  const RECT r = RectInParent(FHandle);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

int TControl::ClientWidth() const {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  return r.right;
}

int TControl::ClientHeight() const {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  return r.bottom;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  ::SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  RecordAnchorBase();
  BoundsChanged();
  if (FParent) FParent->ChildBoundsChanged(this);
}

void TControl::SetAnchors(TAnchors anchors) {
  FAnchors = anchors;
  RecordAnchorBase();
}

void TControl::SetAlign(TAlign align) {
  FAlign = align;
  ApplyAnchors();
}

void TControl::RecordAnchorBase() {
  if (!FHandle || !FParent || !FParent->FHandle) return;
  FAnchorRect = RectInParent(FHandle);
  RECT client{};
  ::GetClientRect(FParent->FHandle, &client);
  FAnchorParent = {client.right, client.bottom};
}

void TControl::ApplyAnchors() {
  if (!FHandle || !FParent || !FParent->FHandle) return;
  RECT client{};
  ::GetClientRect(FParent->FHandle, &client);
  const int parentWidth = client.right, parentHeight = client.bottom;
  const RECT room = FParent->AlignRect();
  RECT r = FAnchorRect;
  switch (FAlign) {
    case TAlign::Top:
      r = {room.left, room.top, room.right, room.top + FAnchorRect.bottom - FAnchorRect.top};
      break;
    case TAlign::Client:
      r = room;
      break;
    case TAlign::None: {
      if (FAnchors == akTopLeft) return;
      const int dx = parentWidth - FAnchorParent.cx;
      const int dy = parentHeight - FAnchorParent.cy;
      if (FAnchors & akRight) {
        if (!(FAnchors & akLeft)) r.left += dx;
        r.right += dx;
      }
      if (FAnchors & akBottom) {
        if (!(FAnchors & akTop)) r.top += dy;
        r.bottom += dy;
      }
      break;
    }
  }
  ::SetWindowPos(FHandle, nullptr, r.left, r.top, std::max<int>(0, r.right - r.left),
                 std::max<int>(0, r.bottom - r.top), SWP_NOZORDER | SWP_NOACTIVATE);
  BoundsChanged();
}

std::wstring TControl::Caption() const {
  const int length = ::GetWindowTextLengthW(FHandle);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(FHandle, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(0, copied)));
  return text;
}

void TControl::SetCaption(const std::wstring& text) { ::SetWindowTextW(FHandle, text.c_str()); }

bool TControl::Enabled() const { return ::IsWindowEnabled(FHandle) != FALSE; }

void TControl::SetEnabled(bool value) {
  // A disabled window that has the focus would leave the keyboard stranded.
  if (!value && FHandle == ::GetFocus() && FForm && FForm != this) {
    HWND next = ::GetNextDlgTabItem(FForm->Handle(), FHandle, FALSE);
    ::SetFocus(next && next != FHandle ? next : FForm->Handle());
  }
  ::EnableWindow(FHandle, value ? TRUE : FALSE);
}

bool TControl::Visible() const {
  return (::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetVisible(bool value) {
  ::ShowWindow(FHandle, value ? SW_SHOWNA : SW_HIDE);
  if (FParent) FParent->ChildBoundsChanged(this);
}

void TControl::SetFocus() { ::SetFocus(FHandle); }

bool TControl::Focused() const { return FHandle && ::GetFocus() == FHandle; }

void TControl::Invalidate() { ::InvalidateRect(FHandle, nullptr, TRUE); }

void TControl::SetFont(const TFontDesc& desc) {
  TScopedGdiObj font(CreateFontFromDesc(desc));
  if (!font) return;
  const HFONT old = FFont;
  FFontDesc = desc;
  FFont = static_cast<HFONT>(font.Get());
  ApplyFont();
  PassFontOn(old);
  FOwnFont = std::move(font);  // the former own font goes only now that no window uses it
  Invalidate();
}

void TControl::PassFontOn(HFONT old) {
  auto* container = dynamic_cast<TWinControl*>(this);
  if (!container) return;
  for (const auto& child : container->Controls()) {
    if (child->FOwnFont || child->FFont != old) continue;
    child->FFontDesc = FFontDesc;
    child->FFont = FFont;
    child->ApplyFont();
    child->Invalidate();
    child->PassFontOn(old);
  }
}

void TControl::SetFontColor(COLORREF color) {
  FFontColor = color;
  Invalidate();
}

void TControl::ApplyFont() {
  if (FHandle && FFont) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::~TWinControl() { DestroyChildren(); }

void TWinControl::DestroyChildren() {
  // Last made first: later controls may refer to earlier ones (an up-down to its edit).
  while (!FChildren.empty()) FChildren.pop_back();
}

bool TWinControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG:
      if (Reflect(msg, wParam, lParam, result)) return true;
      break;
    case WM_SIZE:
      Realign();
      break;
    default:
      break;
  }
  return TControl::WndProc(msg, wParam, lParam, result);
}

bool TWinControl::Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
      if (!child) return false;
      result = 0;
      return child->HandleCommand(HIWORD(wParam));
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      TControl* child = header ? FromHandle(header->hwndFrom) : nullptr;
      return child && child->HandleNotify(header, result);
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
      if (!child) return false;
      child->HandleScroll(LOWORD(wParam));
      result = 0;
      return true;
    }
    default: {  // WM_CTLCOLOR*
      TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
      if (!child) return false;
      HBRUSH brush = child->CtlColor(msg, reinterpret_cast<HDC>(wParam));
      if (!brush) return false;
      result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
  }
}

RECT TWinControl::AlignRect() const {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  return r;
}

void TWinControl::Realign() {
  if (!FHandle) return;
  for (auto& child : FChildren) {
    if (child->FParent == this) child->ApplyAnchors();
  }
}

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(HWND owner, const TFormStyle& style) : TWinControl(nullptr), FStyle(style) {
  FForm = this;
  FFormFont.Reset(CreateFontFromDesc(FFontDesc));
  FFont = static_cast<HFONT>(FFormFont.Get());
  DWORD windowStyle = 0, exStyle = 0;
  StyleBits(windowStyle, exStyle);
  RECT r{0, 0, style.ClientWidth, style.ClientHeight};
  ::AdjustWindowRectEx(&r, windowStyle, FALSE, exStyle);
  CreateHandle(OwnClassName(), style.Caption, windowStyle, exStyle, {0, 0, r.right - r.left, r.bottom - r.top},
               0, owner);
}

TForm::~TForm() {
  if (FHandle) ::DestroyWindow(FHandle);
  DestroyChildren();
}

void TForm::StyleBits(DWORD& style, DWORD& exStyle) const {
  style = WS_CLIPCHILDREN;
  exStyle = WS_EX_CONTROLPARENT;
  if (FChild) {
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    return;
  }
  style |= WS_POPUP;
  if (FStyle.BorderStyle == TBorderStyle::Dialog) {
    style |= WS_CAPTION | DS_MODALFRAME;
    exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    if (FStyle.BorderIcons & biSystemMenu) {
      style |= WS_SYSMENU;
      if (FStyle.BorderIcons & biHelp) exStyle |= WS_EX_CONTEXTHELP;
    }
  }
}

void TForm::ApplyStyle() {
  const int width = ClientWidth(), height = ClientHeight();
  DWORD style = 0, exStyle = 0;
  StyleBits(style, exStyle);
  const DWORD visible = ::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_VISIBLE;
  ::SetWindowLongPtrW(FHandle, GWL_STYLE, style | visible);
  ::SetWindowLongPtrW(FHandle, GWL_EXSTYLE, exStyle);
  ::SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  SetClientSize(width, height);
}

void TForm::SetCaption(const std::wstring& text) {
  FStyle.Caption = text;
  ::SetWindowTextW(FHandle, text.c_str());
}

void TForm::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE)));
  ::SetWindowPos(FHandle, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetConstraints(int minWidth, int minHeight, int maxWidth, int maxHeight) {
  FMinSize = {minWidth, minHeight};
  FMaxSize = {maxWidth, maxHeight};
  const TBounds b = Bounds();
  SetBounds(b.Left, b.Top, b.Width, b.Height);  // clamps through WM_WINDOWPOSCHANGING
}

void TForm::ClampToConstraints(int& width, int& height) const {
  if (FMaxSize.cx > 0) width = std::min<int>(width, FMaxSize.cx);
  if (FMaxSize.cy > 0) height = std::min<int>(height, FMaxSize.cy);
  if (FMinSize.cx > 0) width = std::max<int>(width, FMinSize.cx);
  if (FMinSize.cy > 0) height = std::max<int>(height, FMinSize.cy);
}

POINT CenteredPosition(const RECT& area, int width, int height) {
  // Integer division truncates toward zero, also for a form larger than the area.
  return POINT{area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2};
}

void TForm::CenterOver(HWND window) {
  RECT area{};
  if (!window || !::GetWindowRect(window, &area)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int width = Width(), height = Height();
  const POINT at = CenteredPosition(area, width, height);
  SetBounds(at.x, at.y, width, height);
}

void TForm::SetBorderStyle(TBorderStyle style) {
  FStyle.BorderStyle = style;
  ApplyStyle();
}

void TForm::SetBorderIcons(unsigned icons) {
  FStyle.BorderIcons = icons;
  ApplyStyle();
}

void TForm::SetOwnerWindow(HWND owner) {
  if (!FChild) ::SetWindowLongPtrW(FHandle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

HWND TForm::OwnerWindow() const { return FChild ? nullptr : ::GetWindow(FHandle, GW_OWNER); }

void TForm::SetParentWindow(HWND parent) {
  const int width = ClientWidth(), height = ClientHeight();
  FChild = parent != nullptr;
  if (!parent) ::SetWindowLongPtrW(FHandle, GWLP_HWNDPARENT, 0);
  DWORD style = 0, exStyle = 0;
  StyleBits(style, exStyle);
  const DWORD visible = ::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_VISIBLE;
  ::SetWindowLongPtrW(FHandle, GWL_STYLE, style | visible);
  ::SetWindowLongPtrW(FHandle, GWL_EXSTYLE, exStyle);
  ::SetParent(FHandle, parent);
  ::SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  SetClientSize(width, height);
}

void TForm::RegisterControl(TControl* control) { FControls.push_back(control); }

void TForm::UnregisterControl(TControl* control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
  if (FActiveControl == control) FActiveControl = nullptr;
  if (FDefaultButton == control) FDefaultButton = nullptr;
  if (FCancelButton == control) FCancelButton = nullptr;
}

TControl* TForm::FindControl(int id) const {
  for (TControl* control : FControls)
    if (control->Id() == id) return control;
  return nullptr;
}

void TForm::SetDefaultButton(TButton* button, bool value) {
  if (value)
    FDefaultButton = button;
  else if (FDefaultButton == button)
    FDefaultButton = nullptr;
}

void TForm::SetCancelButton(TButton* button, bool value) {
  if (value)
    FCancelButton = button;
  else if (FCancelButton == button)
    FCancelButton = nullptr;
}

void TForm::RequestHelp() {
  bool callHelp = true;
  FormHelp(HelpCommandKeyword, reinterpret_cast<ULONG_PTR>(FHelpKeyword.c_str()), callHelp);
  // There is no help system of our own to fall back on, whatever callHelp says.
}

void TForm::FocusFirst() {
  if (FActiveControl && FActiveControl->Handle() && FActiveControl->Enabled() &&
      ::IsWindowVisible(FActiveControl->Handle())) {
    FActiveControl->SetFocus();
    return;
  }
  HWND first = ::GetNextDlgTabItem(FHandle, nullptr, FALSE);
  ::SetFocus(first ? first : FHandle);
}

void TForm::ShowModeless() {
  FormShow();
  if (FChild)
    ::ShowWindow(FHandle, SW_SHOWNA);
  else
    ShowAndActivate();
}

void TForm::HideForm() {
  ::SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  TCloseAction action = TCloseAction::Hide;
  FormClose(action);
  if (action == TCloseAction::Hide) HideForm();
}

void TForm::Activated() {
  ++FActivations;
  if (FSavedFocus && ::IsWindow(FSavedFocus) && ::IsChild(FHandle, FSavedFocus) && ::IsWindowEnabled(FSavedFocus) &&
      ::IsWindowVisible(FSavedFocus))
    ::SetFocus(FSavedFocus);
  else
    FocusFirst();
  FormActivate();
}

void TForm::ShowAndActivate() {
  const unsigned before = FActivations;
  ::ShowWindow(FHandle, SW_SHOW);
  ::SetForegroundWindow(FHandle);
  ::SetActiveWindow(FHandle);
  // A window that stayed active while hidden gets no new WM_ACTIVATE; every showing still counts as one.
  if (FActivations == before && ::GetActiveWindow() == FHandle) {
    try {
      Activated();
    } catch (...) {
      // As on WM_ACTIVATE: an activation handler's failure stays inside the form.
    }
  }
}

bool TForm::PreTranslate(MSG& msg) {
  const bool inForm = msg.hwnd == FHandle || ::IsChild(FHandle, msg.hwnd);
  if (!inForm) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    RequestHelp();
    return true;
  }
  return msg.message == WM_KEYF1_MSG;
}

int TForm::ShowModal() {
  if (FModal || FChild || ::IsWindowVisible(FHandle))
    throw EZvError(L"Cannot make a visible window modal");
  FModalResult = mrNone;
  FModal = true;
  TOwnerDisabler owner(OwnerWindow());
  try {
    FormShow();
    FSavedFocus = nullptr;
    ShowAndActivate();
    if (::GetFocus() != FHandle && !::IsChild(FHandle, ::GetFocus())) FocusFirst();
    while (FModalResult == mrNone) {
      if (!::IsWindow(FHandle)) {
        FModalResult = mrCancel;
        break;
      }
      MSG msg;
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {  // WM_QUIT: leave the loop and hand the quit on to the outer loop
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        FModalResult = mrCancel;
        break;
      }
      if (got == -1) {
        FModalResult = mrCancel;
        break;
      }
      if (!PreTranslate(msg) && !::IsDialogMessageW(FHandle, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      if (FModalResult != mrNone) {
        TCloseAction action = TCloseAction::Hide;
        try {
          FormClose(action);
        } catch (...) {
          // A failing close handler must not keep the dialog open for good.
        }
        if (action == TCloseAction::None) FModalResult = mrNone;
      }
    }
  } catch (...) {
    FModal = false;
    owner.Restore();
    if (FHandle) HideForm();
    throw;
  }
  FModal = false;
  // The owner first, so that it is the window that becomes active when we hide.
  owner.Restore();
  if (FHandle) HideForm();
  return FModalResult;
}

TFormDisabler::TFormDisabler(TForm& form) : FForm(form) {
  const HWND window = form.Handle();
  if (!window || !::IsWindowEnabled(window)) return;
  FWasActive = ::GetActiveWindow() == window;
  // Disabling takes the focus away; it comes back to this control.
  const HWND focus = ::GetFocus();
  if (focus && ::IsChild(window, focus)) FFocus = focus;
  ::EnableWindow(window, FALSE);
  FDisabled = true;
}

TFormDisabler::~TFormDisabler() {
  const HWND window = FForm.Handle();
  if (!FDisabled || !::IsWindow(window)) return;
  ::EnableWindow(window, TRUE);
  if (!FWasActive || !::IsWindowVisible(window)) return;
  // A window of the foreign code that had the activation passed it on when it
  // went, past the disabled form: to no window at all, or to whatever window
  // lay below, on a real desktop often another application's, which then gets
  // the keys meant for the form. The form takes the activation back, as the
  // owner of a modal window does. The system grants the foreground only to
  // the process that got the last input (the user closing that window), so a
  // real switch by the user to another application meanwhile stands.
  if (::GetForegroundWindow() != window) ::SetForegroundWindow(window);
  if (::GetActiveWindow() != window) ::SetActiveWindow(window);
  if (::GetActiveWindow() != window) return;
  if (TakesInput(FFocus) && ::IsChild(window, FFocus))
    ::SetFocus(FFocus);
  else if (!::IsChild(window, ::GetFocus()))
    FForm.FocusFirst();
}

bool TForm::HandleFormCommand(WORD id, WORD code, HWND control) {
  if (id == HelpCommandKeyword) {
    RequestHelp();
    return true;
  }
  if (id == IDCANCEL) {
    if (FCancelButton && FCancelButton->Enabled() && FCancelButton->Visible()) FCancelButton->Click();
    return true;
  }
  if (auto* button = dynamic_cast<TButton*>(FindControl(id))) {
    if (button->Enabled() && button->Visible()) button->Click();
    return true;
  }
  return false;
}

bool TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      result = 0;
      return true;
    case WM_COMMAND:
      if (lParam == 0 && HandleFormCommand(LOWORD(wParam), HIWORD(wParam), nullptr)) {
        result = 0;
        return true;
      }
      break;
    case DM_GETDEFID:
      result = FDefaultButton ? MAKELRESULT(FDefaultButton->Id(), DC_HASDEFID) : 0;
      return true;
    case DM_SETDEFID:
      result = TRUE;
      return true;
    case WM_NEXTDLGCTL: {
      HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : ::GetNextDlgTabItem(FHandle, ::GetFocus(), wParam != 0);
      if (next) ::SetFocus(next);
      result = 0;
      return true;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(FHandle, focus)) FSavedFocus = focus;
      } else {
        Activated();
      }
      result = 0;
      return true;
    case WM_HELP:
      RequestHelp();
      result = TRUE;
      return true;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (!(pos->flags & SWP_NOSIZE)) ClampToConstraints(pos->cx, pos->cy);
      break;
    }
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (FMinSize.cx > 0) info->ptMinTrackSize.x = FMinSize.cx;
      if (FMinSize.cy > 0) info->ptMinTrackSize.y = FMinSize.cy;
      if (FMaxSize.cx > 0) info->ptMaxTrackSize.x = FMaxSize.cx;
      if (FMaxSize.cy > 0) info->ptMaxTrackSize.y = FMaxSize.cy;
      break;
    }
    default:
      break;
  }
  return TWinControl::WndProc(msg, wParam, lParam, result);
}

}  // namespace zv
