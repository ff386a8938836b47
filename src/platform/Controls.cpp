#include "platform/Controls.h"

#include <commctrl.h>
#include <richedit.h>
#include <windowsx.h>

#include <cstdlib>

#include <algorithm>

namespace zv {

namespace {

constexpr wchar_t RichEditClass[] = L"RICHEDIT50W";  // msftedit.dll
constexpr int DropDownExtra = 200;                   // height of a combo box's open list

}  // namespace

SIZE MeasureText(HWND window, HFONT font, const std::wstring& text, UINT flags, int wrapWidth) {
  HDC dc = ::GetDC(window);
  HGDIOBJ old = ::SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
  RECT r{0, 0, wrapWidth, 0};
  const std::wstring measured = text.empty() ? L" " : text;
  ::DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &r, flags | DT_CALCRECT);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return {text.empty() ? 0 : r.right - r.left, r.bottom - r.top};
}

namespace {

// BeginPaint and EndPaint around one paint message.
class TPaintScope {
public:
  explicit TPaintScope(HWND window) : FWindow(window) { FDC = ::BeginPaint(window, &FPaint); }
  ~TPaintScope() { ::EndPaint(FWindow, &FPaint); }
  HDC DC() const { return FDC; }

private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

// Answers WM_PAINT through a control's own painter.
template <typename TPainter>
bool PaintMessage(HWND window, LRESULT& result, TPainter paint) {
  TPaintScope scope(window);
  paint(scope.DC());
  result = 0;
  return true;
}

// The client area in the button-face colour; returns that area.
RECT FillClient(HWND window, HDC dc) {
  RECT r{};
  ::GetClientRect(window, &r);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  return r;
}

}  // namespace

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return {0, 0};
  return {info.bmWidth, std::abs(info.bmHeight)};
}

void DrawAlphaBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
  if (!bitmap) return;
  const SIZE size = BitmapSize(bitmap);
  HDC memory = ::CreateCompatibleDC(dc);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::AlphaBlend(dc, x, y, size.cx, size.cy, memory, 0, 0, size.cx, size.cy, blend);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, bool autoSize,
               TAlignment alignment)
    : TControl(parent), FAutoSize(autoSize), FAlignment(alignment) {
  // Left-aligned text stays on one line unless word wrap is asked for.
  DWORD style = WS_VISIBLE | SS_NOTIFY;
  style |= alignment == TAlignment::Right    ? SS_RIGHT
           : alignment == TAlignment::Center ? SS_CENTER
                                             : SS_LEFTNOWORDWRAP;
  CreateHandle(L"STATIC", caption, style, 0, bounds);
  AdjustSize();
}

void TLabel::SetCaption(const std::wstring& text) {
  TControl::SetCaption(text);
  AdjustSize();
  Invalidate();
}

void TLabel::SetAutoSize(bool value) {
  FAutoSize = value;
  AdjustSize();
}

void TLabel::SetShowAccelChar(bool value) {
  FShowAccelChar = value;
  LONG_PTR style = ::GetWindowLongPtrW(FHandle, GWL_STYLE);
  style = value ? (style & ~SS_NOPREFIX) : (style | SS_NOPREFIX);
  ::SetWindowLongPtrW(FHandle, GWL_STYLE, style);
  AdjustSize();
  Invalidate();
}

void TLabel::SetWordWrap(bool value) {
  FWordWrap = value;
  if (FAlignment == TAlignment::Left) {
    LONG_PTR style = ::GetWindowLongPtrW(FHandle, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
    ::SetWindowLongPtrW(FHandle, GWL_STYLE, style | (value ? SS_LEFT : SS_LEFTNOWORDWRAP));
  }
  AdjustSize();
  Invalidate();
}

void TLabel::AdjustSize() {
  if (!FAutoSize || !FHandle) return;
  UINT flags = DT_EXPANDTABS | (FShowAccelChar ? 0 : DT_NOPREFIX);
  if (FWordWrap) flags |= DT_WORDBREAK;
  const TBounds old = Bounds();
  const SIZE size = MeasureText(FHandle, FontHandle(), Caption(), flags, FWordWrap ? old.Width : 0);
  const int width = FWordWrap ? old.Width : size.cx;
  // A right-aligned label grows to the left, keeping its right edge.
  const int left = FAlignment == TAlignment::Right ? old.Left + old.Width - width : old.Left;
  if (width != old.Width || size.cy != old.Height || left != old.Left) SetBounds(left, old.Top, width, size.cy);
}

bool TLabel::HandleCommand(WORD code) {
  if (code == STN_CLICKED && OnClick) OnClick();
  return code == STN_CLICKED;
}

TLinkLabel::TLinkLabel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, bool autoSize)
    : TLabel(parent, bounds, caption, autoSize) {
  TFontDesc desc = Font();
  desc.Style |= fsUnderline;
  SetFont(desc);
  SetFontColor(RGB(0, 0, 255));
  SetHandCursor(true);
  AdjustSize();
}

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, int id)
    : TControl(parent) {
  CreateHandle(L"BUTTON", caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, bounds, id);
}

void TButton::SetDefault(bool value) {
  FDefault = value;
  if (TForm* form = Form()) form->SetDefaultButton(this, value);
  ::SendMessageW(FHandle, BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::SetCancel(bool value) {
  FCancel = value;
  if (TForm* form = Form()) form->SetCancelButton(this, value);
}

void TButton::Click() {
  TForm* form = Form();
  const int previous = form ? form->ModalResult() : mrNone;
  if (form && FModalResult != mrNone) form->SetModalResult(FModalResult);
  try {
    if (OnClick) OnClick();
  } catch (...) {
    // A failed action must not close the dialog as if it had succeeded.
    if (form && FModalResult != mrNone) form->SetModalResult(previous);
    throw;
  }
}

bool TButton::HandleCommand(WORD code) {
  if (code != BN_CLICKED) return false;
  Click();
  return true;
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TWinControl* parent, const TBounds& bounds, const std::wstring& caption) : TControl(parent) {
  TBounds b = bounds;
  if (b.Height == 0) b.Height = 17;
  CreateHandle(L"BUTTON", caption, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, b);
  if (b.Width == 0) {
    const SIZE text = MeasureText(FHandle, FontHandle(), caption, DT_SINGLELINE);
    SetBounds(b.Left, b.Top, text.cx + ::GetSystemMetrics(SM_CXMENUCHECK) + 8, b.Height);
  }
}

bool TCheckBox::Checked() const { return ::SendMessageW(FHandle, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool value) {
  if (value == Checked()) return;
  ::SendMessageW(FHandle, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  if (OnClick) OnClick();
}

bool TCheckBox::HandleCommand(WORD code) {
  if (code != BN_CLICKED) return false;
  if (OnClick) OnClick();
  return true;
}

// ---------------------------------------------------------------------------
// TEdit

TEdit::TEdit(TWinControl* parent, const TBounds& bounds, const std::wstring& text, TAlignment alignment,
             bool readOnly)
    : TControl(parent) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
  style |= alignment == TAlignment::Right ? ES_RIGHT : alignment == TAlignment::Center ? ES_CENTER : ES_LEFT;
  if (readOnly) style |= ES_READONLY;
  CreateHandle(L"EDIT", text, style, WS_EX_CLIENTEDGE, bounds);
}

void TEdit::SetReadOnly(bool value) { ::SendMessageW(FHandle, EM_SETREADONLY, value ? TRUE : FALSE, 0); }

bool TEdit::ReadOnly() const { return (::GetWindowLongPtrW(FHandle, GWL_STYLE) & ES_READONLY) != 0; }

void TEdit::SetMaxLength(int length) { ::SendMessageW(FHandle, EM_SETLIMITTEXT, static_cast<WPARAM>(length), 0); }

void TEdit::SelectAll() { ::SendMessageW(FHandle, EM_SETSEL, 0, -1); }

bool TEdit::HandleCommand(WORD code) {
  const TNotifyEvent* event = code == EN_CHANGE ? &OnChange : code == EN_KILLFOCUS ? &OnExit : nullptr;
  if (!event) return false;
  if (*event) (*event)();
  return true;
}

namespace {
const TItemsControl::TItemMessages ListBoxMessages{
    LB_GETCOUNT,  LB_ADDSTRING,    LB_DELETESTRING, LB_RESETCONTENT,      LB_GETTEXTLEN,
    LB_GETTEXT,   LB_GETITEMDATA,  LB_SETITEMDATA,  LB_FINDSTRINGEXACT};
const TItemsControl::TItemMessages ComboBoxMessages{
    CB_GETCOUNT,  CB_ADDSTRING,    CB_DELETESTRING, CB_RESETCONTENT,      CB_GETLBTEXTLEN,
    CB_GETLBTEXT, CB_GETITEMDATA,  CB_SETITEMDATA,  CB_FINDSTRINGEXACT};
}  // namespace

// ---------------------------------------------------------------------------
// TItemsControl (LB_ERR and CB_ERR are both -1)

int TItemsControl::Count() const { return static_cast<int>(::SendMessageW(FHandle, FMsg.GetCount, 0, 0)); }

int TItemsControl::AddItem(const std::wstring& text, void* object) {
  const int index =
      static_cast<int>(::SendMessageW(FHandle, FMsg.AddString, 0, reinterpret_cast<LPARAM>(text.c_str())));
  if (index >= 0) SetObject(index, object);
  return index;
}

void TItemsControl::Delete(int index) { ::SendMessageW(FHandle, FMsg.DeleteString, index, 0); }

void TItemsControl::Clear() { ::SendMessageW(FHandle, FMsg.ResetContent, 0, 0); }

std::wstring TItemsControl::Item(int index) const {
  const LRESULT length = ::SendMessageW(FHandle, FMsg.GetTextLen, index, 0);
  if (length < 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = ::SendMessageW(FHandle, FMsg.GetText, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
  return text;
}

void* TItemsControl::Object(int index) const {
  const LRESULT data = ::SendMessageW(FHandle, FMsg.GetItemData, index, 0);
  return data == -1 ? nullptr : reinterpret_cast<void*>(data);
}

void TItemsControl::SetObject(int index, void* object) {
  ::SendMessageW(FHandle, FMsg.SetItemData, index, reinterpret_cast<LPARAM>(object));
}

int TItemsControl::IndexOf(const std::wstring& text) const {
  if (Count() == 0) return -1;
  // The exact search ignores case but an empty text matches the first item: compare again.
  const LRESULT found =
      ::SendMessageW(FHandle, FMsg.FindStringExact, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
  if (found < 0) return -1;
  return ::lstrcmpiW(Item(static_cast<int>(found)).c_str(), text.c_str()) == 0 ? static_cast<int>(found) : -1;
}

int TItemsControl::IndexOfObject(const void* object) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (Object(i) == object) return i;
  return -1;
}

// ---------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TWinControl* parent, const TBounds& bounds, const TOptions& options)
    : TItemsControl(parent, ListBoxMessages), FOptions(options) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
  if (options.MultiSelect) style |= LBS_EXTENDEDSEL;
  if (options.Sorted) style |= LBS_SORT;
  CreateHandle(L"LISTBOX", L"", style, WS_EX_CLIENTEDGE, bounds);
  if (options.ItemHeight > 0) ::SendMessageW(FHandle, LB_SETITEMHEIGHT, 0, options.ItemHeight);
}

void TListBox::InsertItem(int index, const std::wstring& text, void* object) {
  const int at = static_cast<int>(
      ::SendMessageW(FHandle, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text.c_str())));
  if (at >= 0) ::SendMessageW(FHandle, LB_SETITEMDATA, at, reinterpret_cast<LPARAM>(object));
}

namespace {
// Holds a list box's drawing, scroll place and current item while its items
// are deleted and inserted again; the current item may be moved meanwhile.
class TListRebuild {
public:
  explicit TListRebuild(TListBox& list)
      : FList(list), FTop(static_cast<int>(::SendMessageW(list.Handle(), LB_GETTOPINDEX, 0, 0))),
        FCurrent(list.ItemIndex()) {
    ::SendMessageW(list.Handle(), WM_SETREDRAW, FALSE, 0);
  }
  ~TListRebuild() {
    if (FCurrent >= 0) FList.SetItemIndex(FCurrent);
    ::SendMessageW(FList.Handle(), LB_SETTOPINDEX, FTop, 0);
    ::SendMessageW(FList.Handle(), WM_SETREDRAW, TRUE, 0);
    FList.Invalidate();
  }
  // The current item went from one place to another.
  void Moved(int from, int to) {
    if (FCurrent == from) FCurrent = to;
  }

private:
  TListBox& FList;
  int FTop;
  int FCurrent;
};
}  // namespace

void TListBox::SetItemText(int index, const std::wstring& text) {
  if (index < 0 || index >= Count()) return;
  TListRebuild rebuild(*this);
  void* object = Object(index);
  const bool selected = Selected(index);
  Delete(index);
  InsertItem(index, text, object);
  SetSelected(index, selected);
}

void TListBox::Exchange(int a, int b) {
  const int n = Count();
  if (a == b || a < 0 || b < 0 || a >= n || b >= n) return;
  TListRebuild rebuild(*this);
  const int current = ItemIndex();
  if (current == a) rebuild.Moved(a, b);
  if (current == b) rebuild.Moved(b, a);
  const std::wstring textA = Item(a), textB = Item(b);
  void* objectA = Object(a);
  void* objectB = Object(b);
  const bool selA = Selected(a), selB = Selected(b);
  const int low = std::min(a, b), high = std::max(a, b);
  const bool lowIsA = low == a;
  Delete(high);
  Delete(low);
  InsertItem(low, lowIsA ? textB : textA, lowIsA ? objectB : objectA);
  InsertItem(high, lowIsA ? textA : textB, lowIsA ? objectA : objectB);
  SetSelected(a, selB);
  SetSelected(b, selA);
}

bool TListBox::Selected(int index) const { return ::SendMessageW(FHandle, LB_GETSEL, index, 0) > 0; }

void TListBox::SetSelected(int index, bool value) {
  if (FOptions.MultiSelect)
    ::SendMessageW(FHandle, LB_SETSEL, value ? TRUE : FALSE, index);
  else if (value)
    ::SendMessageW(FHandle, LB_SETCURSEL, index, 0);
  else if (ItemIndex() == index)
    ::SendMessageW(FHandle, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int TListBox::SelCount() const {
  if (FOptions.MultiSelect) return static_cast<int>(::SendMessageW(FHandle, LB_GETSELCOUNT, 0, 0));
  return ItemIndex() >= 0 ? 1 : 0;
}

void TListBox::ClearSelection() {
  if (FOptions.MultiSelect)
    ::SendMessageW(FHandle, LB_SETSEL, FALSE, -1);
  else
    ::SendMessageW(FHandle, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int TListBox::ItemIndex() const {
  if (Count() == 0) return -1;
  if (FOptions.MultiSelect) return static_cast<int>(::SendMessageW(FHandle, LB_GETCARETINDEX, 0, 0));
  return static_cast<int>(::SendMessageW(FHandle, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int index) {
  if (FOptions.MultiSelect)
    ::SendMessageW(FHandle, LB_SETCARETINDEX, index, FALSE);
  else
    ::SendMessageW(FHandle, LB_SETCURSEL, index, 0);
}

RECT TListBox::ItemRect(int index) const {
  RECT r{};
  ::SendMessageW(FHandle, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  return r;
}

int TListBox::ItemAtPos(POINT pt, bool existing) const {
  RECT client{};
  ::GetClientRect(FHandle, &client);
  if (!::PtInRect(&client, pt)) return -1;
  const int count = Count();
  for (int i = static_cast<int>(::SendMessageW(FHandle, LB_GETTOPINDEX, 0, 0)); i >= 0 && i < count; ++i) {
    const RECT r = ItemRect(i);
    if (::PtInRect(&r, pt)) return i;
    if (r.top > client.bottom) break;
  }
  return existing ? -1 : count;
}

int TListBox::ItemAtCursor() const {
  POINT pt{};
  ::GetCursorPos(&pt);
  ::ScreenToClient(FHandle, &pt);
  return ItemAtPos(pt);
}

bool TListBox::HandleCommand(WORD code) {
  if (code == LBN_SELCHANGE) {
    if (OnClick) OnClick();
    return true;
  }
  if (code == LBN_DBLCLK) {
    if (OnDblClick) OnDblClick();
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TWinControl* parent, const TBounds& bounds, bool sorted)
    : TItemsControl(parent, ComboBoxMessages) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
  if (sorted) style |= CBS_SORT;
  TBounds b = bounds;
  b.Height += DropDownExtra;
  CreateHandle(L"COMBOBOX", L"", style, 0, b);
}

int TComboBox::ItemIndex() const { return static_cast<int>(::SendMessageW(FHandle, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) { ::SendMessageW(FHandle, CB_SETCURSEL, index, 0); }

bool TComboBox::HandleCommand(WORD code) {
  if (code != CBN_SELCHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

// ---------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TWinControl* parent, const TBounds& bounds, const std::wstring& caption) : TWinControl(parent) {
  CreateHandle(L"BUTTON", caption, WS_VISIBLE | BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, bounds);
}

bool TGroupBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_ERASEBKGND) {
    // The platform's group box leaves its inside alone; hidden children would leave traces.
    RECT r{};
    ::GetClientRect(FHandle, &r);
    ::FillRect(reinterpret_cast<HDC>(wParam), &r, ::GetSysColorBrush(COLOR_BTNFACE));
    result = 1;
    return true;
  }
  return TWinControl::WndProc(msg, wParam, lParam, result);
}

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, TPanelBevel bevel,
               int borderWidth, TAlignment alignment)
    : TWinControl(parent), FBevel(bevel), FBorderWidth(borderWidth), FAlignment(alignment) {
  CreateHandle(OwnClassName(), caption, WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
               bounds);
}

void TPanel::SetCaption(const std::wstring& text) {
  TControl::SetCaption(text);
  Invalidate();
}

RECT TPanel::AlignRect() const {
  RECT r = TWinControl::AlignRect();
  const int inset = (FBevel != TPanelBevel::None ? 1 : 0) + FBorderWidth;
  ::InflateRect(&r, -inset, -inset);
  return r;
}

void TPanel::Paint(HDC dc) {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  if (FBevel != TPanelBevel::None) {
    ::DrawEdge(dc, &r, FBevel == TPanelBevel::Lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    ::InflateRect(&r, -1, -1);
  }
  ::InflateRect(&r, -FBorderWidth, -FBorderWidth);
  const std::wstring text = Caption();
  if (text.empty()) return;
  HGDIOBJ old = ::SelectObject(dc, FontHandle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, FontColor() == clDefault ? ::GetSysColor(COLOR_BTNTEXT) : FontColor());
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_EXPANDTABS;
  flags |= FAlignment == TAlignment::Right ? DT_RIGHT : FAlignment == TAlignment::Center ? DT_CENTER : DT_LEFT;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
  ::SelectObject(dc, old);
}

bool TPanel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      return PaintMessage(FHandle, result, [this](HDC dc) { Paint(dc); });
    case WM_SETTEXT:
      result = DefaultProc(msg, wParam, lParam);
      ::InvalidateRect(FHandle, nullptr, TRUE);
      return true;
    case WM_SIZE:
      ::InvalidateRect(FHandle, nullptr, TRUE);
      break;
    default:
      break;
  }
  return TWinControl::WndProc(msg, wParam, lParam, result);
}

// ---------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TWinControl* parent, const TBounds& bounds, TBevelShape shape) : TControl(parent), FShape(shape) {
  CreateHandle(OwnClassName(), L"", WS_VISIBLE | WS_DISABLED, 0, bounds);
}

void TBevel::Paint(HDC dc) {
  RECT r = FillClient(FHandle, dc);
  UINT sides = BF_RECT;
  switch (FShape) {
    case TBevelShape::TopLine: sides = BF_TOP; break;
    case TBevelShape::BottomLine: sides = BF_BOTTOM; break;
    case TBevelShape::LeftLine: sides = BF_LEFT; break;
    case TBevelShape::RightLine: sides = BF_RIGHT; break;
    default: break;
  }
  ::DrawEdge(dc, &r, FShape == TBevelShape::Box ? BDR_SUNKENOUTER : EDGE_ETCHED, sides);
}

bool TBevel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      return PaintMessage(FHandle, result, [this](HDC dc) { Paint(dc); });
    case WM_NCHITTEST:
      result = HTTRANSPARENT;
      return true;
    default:
      return TControl::WndProc(msg, wParam, lParam, result);
  }
}

// ---------------------------------------------------------------------------
// TTrackBar

TTrackBar::TTrackBar(TWinControl* parent, const TBounds& bounds, int min, int max, int position, int tickFrequency)
    : TControl(parent) {
  CreateHandle(TRACKBAR_CLASSW, L"", WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS | TBS_TOOLTIPS,
               0, bounds);
  ::SendMessageW(FHandle, TBM_SETRANGEMIN, FALSE, min);
  ::SendMessageW(FHandle, TBM_SETRANGEMAX, FALSE, max);
  ::SendMessageW(FHandle, TBM_SETTICFREQ, tickFrequency, 0);
  ::SendMessageW(FHandle, TBM_SETPOS, TRUE, position);
  ::SendMessageW(FHandle, TBM_SETTIPSIDE, TBTS_TOP, 0);
}

int TTrackBar::Position() const { return static_cast<int>(::SendMessageW(FHandle, TBM_GETPOS, 0, 0)); }
int TTrackBar::Min() const { return static_cast<int>(::SendMessageW(FHandle, TBM_GETRANGEMIN, 0, 0)); }
int TTrackBar::Max() const { return static_cast<int>(::SendMessageW(FHandle, TBM_GETRANGEMAX, 0, 0)); }

void TTrackBar::SetPosition(int value) {
  const int before = Position();
  ::SendMessageW(FHandle, TBM_SETPOS, TRUE, value);
  if (Position() != before && OnChange) OnChange();
}

void TTrackBar::HandleScroll(WORD code) {
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------------------
// TUpDown

TUpDown::TUpDown(TWinControl* parent, const TBounds& bounds, TEdit* associate, short min, short max, short position)
    : TControl(parent) {
  TBounds b = bounds;
  if (b.Width == 0) b.Width = 16;
  if (b.Height == 0 && associate) b.Height = associate->Height();
  CreateHandle(UPDOWN_CLASSW, L"", WS_VISIBLE | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, b);
  if (associate) ::SendMessageW(FHandle, UDM_SETBUDDY, reinterpret_cast<WPARAM>(associate->Handle()), 0);
  ::SendMessageW(FHandle, UDM_SETRANGE, 0, MAKELPARAM(max, min));
  SetPosition(position);
}

short TUpDown::Position() const {
  return static_cast<short>(LOWORD(::SendMessageW(FHandle, UDM_GETPOS, 0, 0)));
}

void TUpDown::SetPosition(short value) { ::SendMessageW(FHandle, UDM_SETPOS, 0, MAKELPARAM(value, 0)); }

// ---------------------------------------------------------------------------
// TPageControl

TTabSheet::TTabSheet(TWinControl* parent, const TBounds& bounds) : TWinControl(parent) {
  CreateHandle(OwnClassName(), L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, bounds);
}

TPageControl::TPageControl(TWinControl* parent, const TBounds& bounds) : TWinControl(parent) {
  CreateHandle(WC_TABCONTROLW, L"", WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
               bounds);
}

RECT TPageControl::PageRect() const {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  ::SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

TTabSheet* TPageControl::AddPage(const std::wstring& caption) {
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  std::wstring text = caption;
  item.pszText = text.data();
  ::SendMessageW(FHandle, TCM_INSERTITEMW, FPages.size(), reinterpret_cast<LPARAM>(&item));
  const RECT r = PageRect();
  TTabSheet* page = Add<TTabSheet>(TBounds{r.left, r.top, r.right - r.left, r.bottom - r.top});
  FPages.push_back(page);
  ShowActivePage();
  return page;
}

int TPageControl::ActivePageIndex() const { return static_cast<int>(::SendMessageW(FHandle, TCM_GETCURSEL, 0, 0)); }

void TPageControl::SetActivePageIndex(int index) {
  ::SendMessageW(FHandle, TCM_SETCURSEL, index, 0);
  ShowActivePage();
}

void TPageControl::ShowActivePage() {
  const int active = ActivePageIndex();
  // Show the new page before hiding the old one: the focus must not fall out of the form.
  for (int i = 0; i < PageCount(); ++i)
    if (i == active) FPages[static_cast<size_t>(i)]->SetVisible(true);
  for (int i = 0; i < PageCount(); ++i)
    if (i != active) FPages[static_cast<size_t>(i)]->SetVisible(false);
}

bool TPageControl::HandleNotify(NMHDR* header, LRESULT& result) {
  if (header->code != static_cast<UINT>(TCN_SELCHANGE)) return false;
  ShowActivePage();
  if (OnChange) OnChange();
  result = 0;
  return true;
}

bool TPageControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_SIZE) {
    const RECT r = PageRect();
    for (TTabSheet* page : FPages) page->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  return TWinControl::WndProc(msg, wParam, lParam, result);
}

// ---------------------------------------------------------------------------
// TScrollBox

TScrollBox::TScrollBox(TWinControl* parent, const TBounds& bounds, bool border) : TWinControl(parent) {
  CreateHandle(OwnClassName(), L"", WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
               WS_EX_CONTROLPARENT | (border ? WS_EX_CLIENTEDGE : 0), bounds);
}

bool TScrollBox::HasHorzScrollBar() const { return (::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_HSCROLL) != 0; }
bool TScrollBox::HasVertScrollBar() const { return (::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_VSCROLL) != 0; }

void TScrollBox::UpdateScrollBars() {
  if (!FHandle || FUpdating) return;
  FUpdating = true;
  int extentX = 0, extentY = 0;
  for (const auto& child : Controls()) {
    if (!child->Handle() || !child->Visible()) continue;
    const TBounds b = child->Bounds();
    extentX = std::max(extentX, b.Left + b.Width + FScrollX);
    extentY = std::max(extentY, b.Top + b.Height + FScrollY);
  }
  // Twice: one bar appearing narrows the room and may call for the other.
  for (int pass = 0; pass < 2; ++pass) {
    RECT client{};
    ::GetClientRect(FHandle, &client);
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE;
    si.nMin = 0;
    si.nMax = std::max(0, extentX - 1);
    si.nPage = static_cast<UINT>(extentX > client.right ? client.right : extentX + 1);
    ::SetScrollInfo(FHandle, SB_HORZ, &si, TRUE);
    si.nMax = std::max(0, extentY - 1);
    si.nPage = static_cast<UINT>(extentY > client.bottom ? client.bottom : extentY + 1);
    ::SetScrollInfo(FHandle, SB_VERT, &si, TRUE);
  }
  RECT client{};
  ::GetClientRect(FHandle, &client);
  ScrollTo(std::clamp(FScrollX, 0, std::max(0, extentX - static_cast<int>(client.right))),
           std::clamp(FScrollY, 0, std::max(0, extentY - static_cast<int>(client.bottom))));
  FUpdating = false;
}

void TScrollBox::ScrollTo(int x, int y) {
  const int dx = FScrollX - x, dy = FScrollY - y;
  if (dx == 0 && dy == 0) return;
  FScrollX = x;
  FScrollY = y;
  ::ScrollWindowEx(FHandle, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  ::SetScrollPos(FHandle, SB_HORZ, x, TRUE);
  ::SetScrollPos(FHandle, SB_VERT, y, TRUE);
}

void TScrollBox::OnScroll(int bar, WORD code) {
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  ::GetScrollInfo(FHandle, bar, &si);
  int pos = si.nPos;
  const int page = static_cast<int>(si.nPage);
  switch (code) {
    case SB_LINEUP: pos -= 16; break;
    case SB_LINEDOWN: pos += 16; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBTRACK:  // follow the thumb while it is dragged
    case SB_THUMBPOSITION: pos = si.nTrackPos; break;
    case SB_TOP: pos = si.nMin; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: return;
  }
  pos = std::clamp(pos, 0, std::max(0, si.nMax - page + 1));
  if (bar == SB_HORZ)
    ScrollTo(pos, FScrollY);
  else
    ScrollTo(FScrollX, pos);
}

bool TScrollBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if ((msg == WM_HSCROLL || msg == WM_VSCROLL) && lParam == 0) {
    OnScroll(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
    result = 0;
    return true;
  }
  const bool handled = TWinControl::WndProc(msg, wParam, lParam, result);
  if (msg == WM_SIZE) UpdateScrollBars();
  return handled;
}

// ---------------------------------------------------------------------------
// TRichEdit

TRichEdit::TRichEdit(TWinControl* parent, const TBounds& bounds, bool readOnly, bool border, bool scrollBars)
    : TControl(parent), FReadOnly(readOnly) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL;
  if (readOnly) style |= ES_READONLY;
  if (scrollBars) style |= WS_VSCROLL;
  CreateHandle(RichEditClass, L"", style, border ? WS_EX_CLIENTEDGE : 0, bounds);
}

void TRichEdit::SetLines(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += L"\r\n";
    text += lines[i];
  }
  SetText(text);
}

void TRichEdit::SetParagraphAlignment(TAlignment alignment) {
  CHARRANGE saved{};
  ::SendMessageW(FHandle, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&saved));
  ::SendMessageW(FHandle, EM_SETSEL, 0, -1);
  PARAFORMAT2 pf{};
  pf.cbSize = sizeof(pf);
  pf.dwMask = PFM_ALIGNMENT;
  pf.wAlignment = alignment == TAlignment::Center ? PFA_CENTER : alignment == TAlignment::Right ? PFA_RIGHT : PFA_LEFT;
  ::SendMessageW(FHandle, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
  ::SendMessageW(FHandle, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
}

void TRichEdit::SetBackgroundColor(COLORREF color) { ::SendMessageW(FHandle, EM_SETBKGNDCOLOR, 0, color); }

void TRichEdit::SetRichFont(const TFontDesc& desc) {
  SetFont(desc);
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  cf.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;
  HDC dc = ::GetDC(FHandle);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(FHandle, dc);
  cf.yHeight = std::abs(desc.Height) * 1440 / (dpi > 0 ? dpi : 96);  // twips
  cf.bCharSet = desc.Charset;
  cf.dwEffects = ((desc.Style & fsBold) ? CFE_BOLD : 0) | ((desc.Style & fsItalic) ? CFE_ITALIC : 0) |
                 ((desc.Style & fsUnderline) ? CFE_UNDERLINE : 0);
  lstrcpynW(cf.szFaceName, desc.Name.c_str(), LF_FACESIZE);
  ::SendMessageW(FHandle, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
  ::SendMessageW(FHandle, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
}

bool TRichEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_GETDLGCODE && FReadOnly) {
    // Read-only text leaves Enter, Escape and Tab to the dialog (default and cancel buttons).
    result = DefaultProc(msg, wParam, lParam);
    const auto* key = reinterpret_cast<const MSG*>(lParam);
    const bool dialogKey = !key || (key->message == WM_KEYDOWN && (key->wParam == VK_RETURN ||
                                                                     key->wParam == VK_ESCAPE || key->wParam == VK_TAB));
    if (dialogKey) result &= ~(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE | DLGC_WANTTAB);
    return true;
  }
  return TControl::WndProc(msg, wParam, lParam, result);
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TWinControl* parent, const TBounds& bounds, HBITMAP picture, bool autoSize)
    : TControl(parent), FPicture(picture), FAutoSize(autoSize) {
  CreateHandle(OwnClassName(), L"", WS_VISIBLE, 0, bounds);
  SetPicture(picture);
}

void TImage::SetPicture(HBITMAP picture) {
  if (FPicture.Get() != picture) FPicture.Reset(picture);
  if (FAutoSize && picture) {
    const SIZE size = BitmapSize(picture);
    SetBounds(Left(), Top(), size.cx, size.cy);
  }
  Invalidate();
}

void TImage::Click() {
  if (OnClick) OnClick();
}

bool TImage::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      return PaintMessage(FHandle, result, [this](HDC dc) {
        FillClient(FHandle, dc);
        DrawAlphaBitmap(dc, Picture(), 0, 0);
      });
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_LBUTTONUP:
    case BM_CLICK:
      Click();
      result = 0;
      return true;
    default:
      return TControl::WndProc(msg, wParam, lParam, result);
  }
}

// ---------------------------------------------------------------------------
// TPictureButton

TPictureButton::TPictureButton(TWinControl* parent, const TBounds& bounds, HBITMAP glyph, HBITMAP disabledGlyph)
    : TControl(parent), FGlyph(glyph), FDisabledGlyph(disabledGlyph != glyph ? disabledGlyph : nullptr) {
  CreateHandle(OwnClassName(), L"", WS_VISIBLE, 0, bounds);
}

HGDIOBJ TPictureButton::Take(HBITMAP bitmap) {
  if (bitmap && FGlyph.Get() == bitmap) return FGlyph.Release();
  if (bitmap && FDisabledGlyph.Get() == bitmap) return FDisabledGlyph.Release();
  return bitmap;
}

void TPictureButton::SetGlyphs(HBITMAP glyph, HBITMAP disabledGlyph) {
  if (disabledGlyph == glyph) disabledGlyph = nullptr;
  TScopedGdiObj newGlyph(Take(glyph)), newDisabled(Take(disabledGlyph));
  FGlyph = std::move(newGlyph);  // frees what is not handed in again
  FDisabledGlyph = std::move(newDisabled);
  Invalidate();
}

void TPictureButton::Click() {
  if (Enabled() && OnClick) OnClick();
}

void TPictureButton::Paint(HDC dc) {
  RECT r{};
  ::GetClientRect(FHandle, &r);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  const bool enabled = Enabled();
  const bool down = FPressed && FHover;
  if (enabled && down)
    ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  else if (enabled && FHover)
    ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  HBITMAP glyph = static_cast<HBITMAP>((!enabled && FDisabledGlyph) ? FDisabledGlyph.Get() : FGlyph.Get());
  const SIZE size = BitmapSize(glyph);
  const int shift = down ? 1 : 0;
  DrawAlphaBitmap(dc, glyph, (r.right - size.cx) / 2 + shift, (r.bottom - size.cy) / 2 + shift);
}

bool TPictureButton::WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      return PaintMessage(FHandle, result, [this](HDC dc) { Paint(dc); });
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_ENABLE:
      FHover = FPressed = false;
      Invalidate();
      break;
    case WM_MOUSEMOVE: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT r{};
      ::GetClientRect(FHandle, &r);
      const bool inside = ::PtInRect(&r, pt) != FALSE;
      if (inside != FHover) {
        FHover = inside;
        Invalidate();
      }
      if (inside) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, FHandle, 0};
        ::TrackMouseEvent(&tme);
      }
      result = 0;
      return true;
    }
    case WM_MOUSELEAVE:
      if (!FCaptured) {
        FHover = false;
        Invalidate();
      }
      result = 0;
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      FPressed = true;
      FHover = true;
      FCaptured = true;
      ::SetCapture(FHandle);
      Invalidate();
      result = 0;
      return true;
    case WM_LBUTTONUP: {
      const bool click = FPressed && FHover;
      FPressed = false;
      FCaptured = false;
      ::ReleaseCapture();
      Invalidate();
      if (click) Click();
      result = 0;
      return true;
    }
    case WM_CAPTURECHANGED:
      FPressed = false;
      FCaptured = false;
      Invalidate();
      break;
    case BM_CLICK:
      Click();
      result = 0;
      return true;
    default:
      break;
  }
  return TControl::WndProc(msg, wParam, lParam, result);
}

}  // namespace zv
