// The controls of the form layer (see Form.h): each owns its window and
// raises its events as std::function members, bound by the dialogs to their
// own member functions. Setters that change a state the user can change too
// (a check box's tick, a track bar's position) raise the same event as the
// user's change, so a dialog's labels and enabled states always follow.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Form.h"
#include "platform/WinHandle.h"

namespace zv {

// Static text: sized to its text (autoSize) or fixed; left, right or centred.
class TLabel : public TControl {
public:
  TLabel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, bool autoSize = true,
         TAlignment alignment = TAlignment::Left);
  void SetCaption(const std::wstring& text) override;
  void SetAutoSize(bool value);
  // False: "&" shows as itself instead of underlining the next letter (file names).
  void SetShowAccelChar(bool value);
  void SetWordWrap(bool value);

  TNotifyEvent OnClick;

protected:
  bool HandleCommand(WORD code) override;
  void AdjustSize();

private:
  bool FAutoSize;
  bool FShowAccelChar = true;
  bool FWordWrap = false;
  TAlignment FAlignment;
};
using TStaticText = TLabel;

// A label that looks like a web link: blue, underlined, hand cursor.
class TLinkLabel : public TLabel {
public:
  TLinkLabel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, bool autoSize = true);
};

class TButton : public TControl {
public:
  // Id: 0 for an automatic one; boxes give their buttons the ids of their answers.
  TButton(TWinControl* parent, const TBounds& bounds, const std::wstring& caption, int id = 0);
  // Enter presses the default button, Escape the cancel button; one button may be both.
  void SetDefault(bool value);
  void SetCancel(bool value);
  bool Default() const { return FDefault; }
  bool Cancel() const { return FCancel; }
  // A modal result other than mrNone ends the form's modal loop when the button is pressed.
  void SetModalResult(int value) { FModalResult = value; }
  int ModalResult() const { return FModalResult; }
  // What a press does: sets the form's modal result, then runs OnClick.
  void Click();

  TNotifyEvent OnClick;

protected:
  bool HandleCommand(WORD code) override;

private:
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = mrNone;
};

class TCheckBox : public TControl {
public:
  // A width of 0 sizes the box to its caption.
  TCheckBox(TWinControl* parent, const TBounds& bounds, const std::wstring& caption);
  bool Checked() const;
  // Raises OnClick when the state changes, as a click would.
  void SetChecked(bool value);

  TNotifyEvent OnClick;

protected:
  bool HandleCommand(WORD code) override;
};

class TEdit : public TControl {
public:
  TEdit(TWinControl* parent, const TBounds& bounds, const std::wstring& text = L"",
        TAlignment alignment = TAlignment::Left, bool readOnly = false);
  void SetReadOnly(bool value);
  bool ReadOnly() const;
  void SetMaxLength(int length);
  void SelectAll();

  TNotifyEvent OnChange;
  TNotifyEvent OnExit;  // the edit lost the input focus

protected:
  bool HandleCommand(WORD code) override;
  HBRUSH CtlColor(UINT msg, HDC dc) override { return nullptr; }
};

// The text items with attached object pointers (not owned) that list boxes and
// drop-down lists share; the two differ only in their message numbers.
class TItemsControl : public TControl {
public:
  struct TItemMessages {
    UINT GetCount, AddString, DeleteString, ResetContent, GetTextLen, GetText, GetItemData, SetItemData,
        FindStringExact;
  };

  int Count() const;
  // Returns the new item's index (its sorted place in a sorted list).
  int AddItem(const std::wstring& text, void* object = nullptr);
  void Delete(int index);
  void Clear();
  std::wstring Item(int index) const;
  void* Object(int index) const;
  void SetObject(int index, void* object);
  // Exact text ignoring case, or -1.
  int IndexOf(const std::wstring& text) const;
  int IndexOfObject(const void* object) const;

protected:
  TItemsControl(TWinControl* parent, const TItemMessages& messages) : TControl(parent), FMsg(messages) {}

  const TItemMessages& FMsg;
};

// Items with text and an attached object pointer (not owned by the list).
class TListBox : public TItemsControl {
public:
  struct TOptions {
    bool MultiSelect = false;  // extended selection (Shift and Ctrl)
    bool Sorted = false;       // ordered by text, ignoring case
    int ItemHeight = 0;        // 0: the font's
  };
  TListBox(TWinControl* parent, const TBounds& bounds, const TOptions& options);

  void InsertItem(int index, const std::wstring& text, void* object = nullptr);
  // Gives an item a new text; its object and selection state stay (unsorted lists).
  void SetItemText(int index, const std::wstring& text);
  // Swaps two items with their objects and selection states (unsorted lists);
  // the current item stays on the entry it was on.
  void Exchange(int a, int b);

  bool Selected(int index) const;
  void SetSelected(int index, bool value);
  int SelCount() const;
  void ClearSelection();
  // The current item: the selected one, or in a multi-select list the focused one; -1 when empty.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The item at a point of the client area; with existing false a point below
  // the last item answers Count(), otherwise -1.
  int ItemAtPos(POINT clientPoint, bool existing = true) const;
  // The existing item under the mouse cursor, or -1.
  int ItemAtCursor() const;
  RECT ItemRect(int index) const;
  bool MultiSelect() const { return FOptions.MultiSelect; }

  TNotifyEvent OnClick;     // the selection changed by the user
  TNotifyEvent OnDblClick;

protected:
  bool HandleCommand(WORD code) override;
  HBRUSH CtlColor(UINT msg, HDC dc) override { return nullptr; }

private:
  TOptions FOptions;
};

// A drop-down list (no typing) with items and objects.
class TComboBox : public TItemsControl {
public:
  TComboBox(TWinControl* parent, const TBounds& bounds, bool sorted = false);

  int ItemIndex() const;
  void SetItemIndex(int index);

  TNotifyEvent OnChange;  // the user picked another item

protected:
  bool HandleCommand(WORD code) override;
  HBRUSH CtlColor(UINT msg, HDC dc) override { return nullptr; }
};

class TGroupBox : public TWinControl {
public:
  TGroupBox(TWinControl* parent, const TBounds& bounds, const std::wstring& caption);

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

enum class TPanelBevel { None, Lowered, Raised };

// A container that can show a one-line caption inside a bevel.
class TPanel : public TWinControl {
public:
  TPanel(TWinControl* parent, const TBounds& bounds, const std::wstring& caption = L"",
         TPanelBevel bevel = TPanelBevel::None, int borderWidth = 0, TAlignment alignment = TAlignment::Center);
  void SetCaption(const std::wstring& text) override;

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  RECT AlignRect() const override;

private:
  void Paint(HDC dc);
  TPanelBevel FBevel;
  int FBorderWidth;
  TAlignment FAlignment;
};

enum class TBevelShape { Box, Frame, TopLine, BottomLine, LeftLine, RightLine };

// A lowered line or box; takes no mouse input.
class TBevel : public TControl {
public:
  TBevel(TWinControl* parent, const TBounds& bounds, TBevelShape shape);

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  void Paint(HDC dc);
  TBevelShape FShape;
};

class TTrackBar : public TControl {
public:
  TTrackBar(TWinControl* parent, const TBounds& bounds, int min, int max, int position, int tickFrequency);
  int Position() const;
  // Raises OnChange when the position changes.
  void SetPosition(int value);
  int Min() const;
  int Max() const;

  TNotifyEvent OnChange;

protected:
  void HandleScroll(WORD code) override;
};

// Arrows bound to an edit that shows the position.
class TUpDown : public TControl {
public:
  TUpDown(TWinControl* parent, const TBounds& bounds, TEdit* associate, short min, short max, short position);
  // The position as the control reports it: a signed 16-bit number.
  short Position() const;
  void SetPosition(short value);
};

class TTabSheet : public TWinControl {
public:
  TTabSheet(TWinControl* parent, const TBounds& bounds);
};

// Tabs with one page (a container) each.
class TPageControl : public TWinControl {
public:
  TPageControl(TWinControl* parent, const TBounds& bounds);
  TTabSheet* AddPage(const std::wstring& caption);
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TTabSheet* Page(int index) const { return FPages.at(static_cast<size_t>(index)); }
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);

  TNotifyEvent OnChange;

protected:
  bool HandleNotify(NMHDR* header, LRESULT& result) override;
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  RECT PageRect() const;
  void ShowActivePage();
  std::vector<TTabSheet*> FPages;
};

// A container that scrolls its children; its scroll bars appear when they stick out.
class TScrollBox : public TWinControl {
public:
  TScrollBox(TWinControl* parent, const TBounds& bounds, bool border = true);
  bool HasHorzScrollBar() const;
  bool HasVertScrollBar() const;
  // Recomputes the scroll ranges (done by itself when children move).
  void UpdateScrollBars();

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void ChildAdded(TControl* child) override { UpdateScrollBars(); }
  void ChildBoundsChanged(TControl* child) override { UpdateScrollBars(); }

private:
  void ScrollTo(int x, int y);
  void OnScroll(int bar, WORD code);
  int FScrollX = 0;
  int FScrollY = 0;
  bool FUpdating = false;
};

// A rich edit control (msftedit.dll).
class TRichEdit : public TControl {
public:
  TRichEdit(TWinControl* parent, const TBounds& bounds, bool readOnly = true, bool border = true,
            bool scrollBars = false);
  void SetLines(const std::vector<std::wstring>& lines);
  void SetParagraphAlignment(TAlignment alignment);
  void SetBackgroundColor(COLORREF color);
  // Sets the whole text's character format too (face, size, charset).
  void SetRichFont(const TFontDesc& desc);

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  HBRUSH CtlColor(UINT msg, HDC dc) override { return nullptr; }

private:
  bool FReadOnly;
};

// A picture: a 32-bit premultiplied-alpha bitmap drawn over the button face.
// The control owns the bitmap it is given (freed on replacement and with the control).
class TImage : public TControl {
public:
  TImage(TWinControl* parent, const TBounds& bounds, HBITMAP picture = nullptr, bool autoSize = true);
  void SetPicture(HBITMAP picture);
  HBITMAP Picture() const { return static_cast<HBITMAP>(FPicture.Get()); }
  void Click();

  TNotifyEvent OnClick;

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  TScopedGdiObj FPicture;  // owned from the start: also when the window cannot be made
  bool FAutoSize;
};

// A flat button showing a glyph, another glyph while disabled; not a tab stop.
// Owns both bitmaps.
class TPictureButton : public TControl {
public:
  TPictureButton(TWinControl* parent, const TBounds& bounds, HBITMAP glyph = nullptr,
                 HBITMAP disabledGlyph = nullptr);
  void SetGlyphs(HBITMAP glyph, HBITMAP disabledGlyph);
  void Click();

  TNotifyEvent OnClick;

protected:
  bool WndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  void Paint(HDC dc);
  // Hands back a bitmap this button owns already, so that it is owned once.
  HGDIOBJ Take(HBITMAP bitmap);
  // Owned from the start; the disabled glyph is null when it is the glyph itself.
  TScopedGdiObj FGlyph;
  TScopedGdiObj FDisabledGlyph;
  bool FHover = false;
  bool FPressed = false;
  bool FCaptured = false;
};

// The size text takes in a window's font (DrawText flags; with DT_WORDBREAK
// wrapped at wrapWidth); an empty text is as high as one line and 0 wide.
SIZE MeasureText(HWND window, HFONT font, const std::wstring& text, UINT flags, int wrapWidth = 0);

// Draws a premultiplied-alpha bitmap at a point (shared by the picture controls).
void DrawAlphaBitmap(HDC dc, HBITMAP bitmap, int x, int y);
SIZE BitmapSize(HBITMAP bitmap);

}  // namespace zv
