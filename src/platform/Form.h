// A small form layer over raw Win32 windows and the common controls.
//
// A form and its controls are C++ objects that own their windows. A window's
// messages reach its object through one static procedure (own window classes)
// or a comctl32 subclass (standard controls); notifications that a control
// sends to its parent (WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_CTLCOLOR*) are
// reflected back to the control, which raises its event. No C++ exception
// leaves a window procedure: the procedures swallow them.
//
// Dialogs derive from TForm, pass their caption and client size to its
// constructor (before any control exists, so that anchors start from the
// designed size), create their controls (platform/Controls.h) with Add<T>(...)
// in their own constructor, in tab order, and bind events to member functions:
//
//   class TZentavoAboutForm : public TForm {
//   public:
//     explicit TZentavoAboutForm(HWND owner)
//         : TForm(owner, {L"Zentavo About", 364, 429}) {
//       Button1 = Add<TButton>(TBounds{281, 396, 75, 25}, L"Close");
//       Button1->SetDefault(true);
//       Button1->OnClick = [this] { Button1Click(); };
//     }
//     TButton* Button1;
//   };
//
// Controls are owned by their parent control and freed with it; the pointers
// that Add returns stay valid as long as the form lives. Positions are pixels
// in the parent's client area. Everything runs on the thread that made the form.
// The form's own events are virtual functions (FormShow, FormActivate,
// FormClose, FormHelp); FormCreate is simply the end of the constructor.
#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/WinHandle.h"

namespace zv {

// Modal results, numbered as the platform's dialog answers where they meet.
enum : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrNoToAll = 9,
  mrYesToAll = 10,
  mrClose = 11,
};

// The keyword-help command that a form's help handler receives (Data = the
// form's help keyword as const wchar_t*).
constexpr UINT HelpCommandKeyword = 258;

using TNotifyEvent = std::function<void()>;

// "No colour of its own": the system's colour for the element.
constexpr COLORREF clDefault = 0xFF000000;

struct TBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// Anchors keep a control's distance to the parent's edges when the parent is resized.
enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;
constexpr TAnchors akTopLeft = akLeft | akTop;
constexpr TAnchors akAll = akLeft | akTop | akRight | akBottom;

// alTop: along the parent's top edge at the control's height; alClient: fills the parent.
enum class TAlign { None, Top, Client };

enum class TAlignment { Left, Right, Center };

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4 };

struct TFontDesc {
  std::wstring Name = L"Tahoma";
  int Height = -11;  // LOGFONT height: negative = character height in pixels
  unsigned Style = 0;
  BYTE Charset = DEFAULT_CHARSET;
};

class TWinControl;
class TForm;

// Any control: owns its window; base of every visible element of a form.
class TControl {
public:
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  HWND Handle() const { return FHandle; }
  TWinControl* Parent() const { return FParent; }
  TForm* Form() const;
  int Id() const { return FId; }

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  TBounds Bounds() const;
  // Moves the control within its parent; also the new base for its anchors.
  void SetBounds(int left, int top, int width, int height);
  void SetBounds(const TBounds& b) { SetBounds(b.Left, b.Top, b.Width, b.Height); }
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  int ClientWidth() const;
  int ClientHeight() const;

  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors anchors);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign align);

  std::wstring Caption() const;
  virtual void SetCaption(const std::wstring& text);
  std::wstring Text() const { return Caption(); }
  void SetText(const std::wstring& text) { SetCaption(text); }

  bool Enabled() const;
  virtual void SetEnabled(bool value);
  bool Visible() const;
  void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void SetFocus();
  bool Focused() const;
  void Invalidate();

  // Font of the control; by default the parent's (the form's Tahoma -11).
  const TFontDesc& Font() const { return FFontDesc; }
  void SetFont(const TFontDesc& desc);
  HFONT FontHandle() const { return FFont; }
  // Text colour (clDefault: the system's button text colour).
  void SetFontColor(COLORREF color);
  COLORREF FontColor() const { return FFontColor; }
  // Hand cursor over the control (links, clickable pictures).
  void SetHandCursor(bool value) { FHandCursor = value; }
  // The cursor over the control's client area: the hand or the arrow.
  HCURSOR Cursor() const;

protected:
  explicit TControl(TWinControl* parent);

  // Creates the window: a child of the parent at the given place (own classes:
  // pass OwnClassName(); standard classes are subclassed).
  void CreateHandle(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                    const TBounds& bounds, int id = 0, HWND parentWindow = nullptr);
  static const wchar_t* OwnClassName();
  bool IsOwnClass() const { return FOwnClass; }

  // Messages of the control's own window; true = handled with `result`.
  virtual bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Notifications the control sent to its parent, reflected back to it.
  virtual bool HandleCommand(WORD code) { return false; }
  virtual bool HandleNotify(NMHDR* header, LRESULT& result) { return false; }
  virtual void HandleScroll(WORD code) {}
  // Background for WM_CTLCOLOR*: default the button face with transparent text;
  // null = the platform's default.
  virtual HBRUSH CtlColor(UINT msg, HDC dc);
  // The default window procedure of the control's class.
  LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Called after the window has been moved or resized.
  virtual void BoundsChanged() {}

  void ApplyFont();
  // Children that showed the former font `old` of this control take its new one.
  void PassFontOn(HFONT old);

  friend class TWinControl;
  friend class TForm;
  friend struct TWindowProcs;

  HWND FHandle = nullptr;
  TWinControl* FParent = nullptr;
  TForm* FForm = nullptr;
  int FId = 0;

private:
  void RecordAnchorBase();
  void ApplyAnchors();

  bool FOwnClass = false;
  TAnchors FAnchors = akTopLeft;
  TAlign FAlign = TAlign::None;
  RECT FAnchorRect{};
  SIZE FAnchorParent{};
  TFontDesc FFontDesc;
  HFONT FFont = nullptr;   // the font in use: own or the parent's
  TScopedGdiObj FOwnFont;  // owned when SetFont was called; freed after the window
  COLORREF FFontColor = clDefault;
  bool FHandCursor = false;
};

// A control that holds controls: reflects their notifications and lays them
// out by their anchors when it is resized.
class TWinControl : public TControl {
public:
  ~TWinControl() override;

  // Creates a control with this one as its parent and owner.
  template <typename T, typename... Args>
  T* Add(Args&&... args) {
    auto owned = std::unique_ptr<T>(new T(this, std::forward<Args>(args)...));
    T* control = owned.get();
    FChildren.push_back(std::move(owned));
    ChildAdded(control);
    return control;
  }
  const std::vector<std::unique_ptr<TControl>>& Controls() const { return FChildren; }

protected:
  using TControl::TControl;
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Re-lays out the children by their anchors and alignment.
  void Realign();
  // The room that aligned children fill (the client area less any border drawn inside it).
  virtual RECT AlignRect() const;
  virtual void ChildAdded(TControl* child) {}
  // A child was moved or resized by SetBounds.
  virtual void ChildBoundsChanged(TControl* child) {}
  void DestroyChildren();

  friend class TControl;

private:
  bool Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  std::vector<std::unique_ptr<TControl>> FChildren;
};

enum class TBorderStyle { Dialog, None };
enum TBorderIcon : unsigned { biSystemMenu = 1, biHelp = 2 };
enum class TCloseAction { None, Hide };

struct TFormStyle {
  std::wstring Caption;
  int ClientWidth = 300;
  int ClientHeight = 200;
  TBorderStyle BorderStyle = TBorderStyle::Dialog;
  unsigned BorderIcons = biSystemMenu;
};

class TButton;

// Where a window of the given size goes to be centred over `area` (screen
// coordinates); the halves are truncated toward zero.
POINT CenteredPosition(const RECT& area, int width, int height);

// A top-level window (created hidden) that can be shown modally or modeless,
// or made a child window inside a foreign window.
class TForm : public TWinControl {
public:
  // Owner: the window that owns the form (disabled while it is shown modally); may be null.
  explicit TForm(HWND owner = nullptr, const TFormStyle& style = {});
  ~TForm() override;

  // Shows the form and runs its own message loop until a modal result is set;
  // the owner window is disabled meanwhile. Closing by the caption button gives mrCancel.
  int ShowModal();
  // Shows the form without a loop of its own (modeless, or as a child window).
  void ShowModeless();
  void HideForm();
  // Asks the form to close: modal forms end with mrCancel; modeless ones are hidden.
  void Close();
  bool Modal() const { return FModal; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int value) { FModalResult = value; }

  void SetOwnerWindow(HWND owner);
  HWND OwnerWindow() const;
  // Makes the form a child window (no border) of a foreign window; null makes it top-level again.
  void SetParentWindow(HWND parent);

  void SetCaption(const std::wstring& text) override;
  void SetClientSize(int width, int height);
  void SetClientWidth(int width) { SetClientSize(width, ClientHeight()); }
  void SetClientHeight(int height) { SetClientSize(ClientWidth(), height); }
  // Limits on the window size (0 = none), applied to every later size change.
  void SetConstraints(int minWidth, int minHeight, int maxWidth, int maxHeight);
  void SetBorderStyle(TBorderStyle style);
  void SetBorderIcons(unsigned icons);
  // Centres the form over a window, or over the screen's work area when there
  // is none (none given, or gone).
  void CenterOver(HWND window);

  // The control that gets the focus when the form is shown.
  void SetActiveControl(TControl* control) { FActiveControl = control; }
  void SetHelpKeyword(const std::wstring& keyword) { FHelpKeyword = keyword; }
  const std::wstring& HelpKeyword() const { return FHelpKeyword; }

  // Enter presses the default button, Escape the cancel button (set through TButton).
  TButton* DefaultButton() const { return FDefaultButton; }
  TButton* CancelButton() const { return FCancelButton; }

  // The control of this form with the given id, or null.
  TControl* FindControl(int id) const;

  // Routes a help request to FormHelp (F1, WM_HELP, the keyword command).
  void RequestHelp();

protected:
  // Events of the form itself; override them under these names.
  virtual void FormShow() {}
  virtual void FormActivate() {}
  // Every way of closing passes here; set Action to TCloseAction::None to stay open.
  virtual void FormClose(TCloseAction& action) {}
  // Help requests: Command HelpCommandKeyword with Data the keyword. Set
  // CallHelp false when handled; the result tells whether help was given.
  virtual bool FormHelp(UINT command, ULONG_PTR data, bool& callHelp) { return false; }

  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  friend class TButton;
  friend class TControl;
  friend class TFormDisabler;
  void SetDefaultButton(TButton* button, bool value);
  void SetCancelButton(TButton* button, bool value);
  int AllocateId() { return FNextId++; }
  void RegisterControl(TControl* control);
  void UnregisterControl(TControl* control);
  bool HandleFormCommand(WORD id, WORD code, HWND control);
  void ApplyStyle();
  void FocusFirst();
  void Activated();
  void ShowAndActivate();
  bool PreTranslate(MSG& msg);
  void ClampToConstraints(int& width, int& height) const;
  void StyleBits(DWORD& style, DWORD& exStyle) const;

  TFormStyle FStyle;
  TScopedGdiObj FFormFont;  // also freed when the window cannot be made
  bool FModal = false;
  int FModalResult = mrNone;
  bool FChild = false;
  int FNextId = 1000;
  TControl* FActiveControl = nullptr;
  HWND FSavedFocus = nullptr;
  unsigned FActivations = 0;
  TButton* FDefaultButton = nullptr;
  TButton* FCancelButton = nullptr;
  std::wstring FHelpKeyword;
  SIZE FMinSize{};
  SIZE FMaxSize{};
  std::vector<TControl*> FControls;  // every control of the form, for lookups by id
};

// Keeps a form from taking input while it waits for foreign code that may run
// windows of its own, not necessarily owned by the form (a plug-in's settings
// or about box): the form is disabled, as the owner of a modal window is. At
// the end it is enabled again and, when it was the active window, it takes
// the activation back (the foreground too, where the system allows it) with
// the focus where it was. A nested one leaves the form to the outer.
class TFormDisabler {
public:
  explicit TFormDisabler(TForm& form);
  ~TFormDisabler();
  TFormDisabler(const TFormDisabler&) = delete;
  TFormDisabler& operator=(const TFormDisabler&) = delete;

private:
  TForm& FForm;
  HWND FFocus = nullptr;
  bool FWasActive = false;
  bool FDisabled = false;
};

}  // namespace zv
