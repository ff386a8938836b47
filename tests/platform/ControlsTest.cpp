// The controls' own behaviour: items with objects, lookups, positions and the
// events that user actions raise.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;
using namespace zvtest;

namespace {

int Tag[4];  // distinct addresses to attach as item objects


}  // namespace

TEST(ListBox, ItemsKeepTheirObjectsSortedAndExchanged) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* sorted = form.Add<TListBox>(TBounds{10, 10, 150, 100}, TListBox::TOptions{true, true, 13});
  EXPECT_EQ(sorted->AddItem(L"delta", &Tag[3]), 0);
  sorted->AddItem(L"Alpha", &Tag[0]);
  sorted->AddItem(L"charlie", &Tag[2]);
  sorted->AddItem(L"bravo", &Tag[1]);
  ASSERT_EQ(sorted->Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sorted->Object(i), &Tag[i]) << "item " << i << " " << sorted->Item(i).size();
  EXPECT_EQ(sorted->Item(0), L"Alpha");
  EXPECT_EQ(sorted->IndexOf(L"CHARLIE"), 2);
  EXPECT_EQ(sorted->IndexOf(L"char"), -1);
  EXPECT_EQ(sorted->IndexOf(L""), -1);
  EXPECT_EQ(sorted->IndexOfObject(&Tag[1]), 1);

  auto* pipe = form.Add<TListBox>(TBounds{170, 10, 150, 100}, TListBox::TOptions{true, false, 13});
  for (int i = 0; i < 4; ++i) pipe->AddItem(std::wstring(1, L'1' + i), &Tag[i]);
  pipe->SetSelected(1, true);
  pipe->SetSelected(2, true);
  EXPECT_EQ(pipe->SelCount(), 2);
  // Moving the selected block 2,3 up one place: 2, 3, 1, 4 with the two still selected.
  for (int i = 0; i < pipe->Count(); ++i)
    if (pipe->Selected(i)) pipe->Exchange(i, i - 1);
  EXPECT_EQ(pipe->Item(0) + pipe->Item(1) + pipe->Item(2) + pipe->Item(3), L"2314");
  EXPECT_EQ(pipe->Object(0), &Tag[1]);
  EXPECT_EQ(pipe->Object(2), &Tag[0]);
  EXPECT_TRUE(pipe->Selected(0));
  EXPECT_TRUE(pipe->Selected(1));
  EXPECT_FALSE(pipe->Selected(2));
  EXPECT_FALSE(pipe->Selected(3));
  pipe->ClearSelection();
  EXPECT_EQ(pipe->SelCount(), 0);
  pipe->Delete(0);
  EXPECT_EQ(pipe->Count(), 3);
  pipe->Clear();
  EXPECT_EQ(pipe->ItemIndex(), -1) << "no current item in an empty list";
}

TEST(ListBox, ItemAtPosCountsOnlyPointsOnItems) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* list = form.Add<TListBox>(TBounds{10, 10, 150, 120}, TListBox::TOptions{true, false, 13});
  list->AddItem(L"first");
  list->AddItem(L"second");
  const RECT second = list->ItemRect(1);
  EXPECT_EQ(list->ItemAtPos({second.left + 5, (second.top + second.bottom) / 2}), 1);
  const POINT below{5, second.bottom + 20};
  EXPECT_EQ(list->ItemAtPos(below), -1) << "the empty area below the last item";
  EXPECT_EQ(list->ItemAtPos(below, false), 2);
  EXPECT_EQ(list->ItemAtPos({-3, 2}), -1);
}

TEST(ComboBox, LookupIgnoresCaseAndObjectsFollowTheirItems) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* combo = form.Add<TComboBox>(TBounds{10, 10, 200, 21}, true);
  EXPECT_EQ(combo->Height(), 21) << "the closed height; the list opens below";
  EXPECT_EQ(combo->IndexOf(L"x"), -1);
  combo->AddItem(L"Work", &Tag[1]);
  combo->AddItem(L"home", &Tag[0]);
  EXPECT_EQ(combo->Item(0), L"home");
  EXPECT_EQ(combo->IndexOf(L"WORK"), 1);
  EXPECT_EQ(combo->IndexOf(L"wor"), -1);
  EXPECT_EQ(combo->Object(combo->IndexOf(L"work")), &Tag[1]);
  combo->SetObject(1, &Tag[2]);
  EXPECT_EQ(combo->Object(1), &Tag[2]);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(0);
  EXPECT_EQ(combo->ItemIndex(), 0);
  combo->Delete(0);
  EXPECT_EQ(combo->Count(), 1);
}

TEST(UpDown, PositionIsTheBuddysSixteenBitNumber) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* edit = form.Add<TEdit>(TBounds{148, 53, 125, 21}, L"", TAlignment::Right);
  auto* upDown = form.Add<TUpDown>(TBounds{273, 53, 0, 0}, edit, short(1), short(32767), short(7));
  EXPECT_EQ(edit->Text(), L"7");
  EXPECT_EQ(upDown->Position(), 7);
  EXPECT_EQ(upDown->Height(), edit->Height());
  upDown->SetPosition(32767);
  EXPECT_EQ(edit->Text(), L"32767");
  EXPECT_EQ(upDown->Position(), 32767);
  edit->SetText(L"12");
  EXPECT_EQ(upDown->Position(), 12) << "typed text counts";
}

TEST(Controls, SettersRaiseTheEventsAUserChangeRaises) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* check = form.Add<TCheckBox>(TBounds{10, 10, 0, 17}, L"Use free physical memory for transformations");
  EXPECT_GT(check->Width(), 150) << "sized to its caption";
  int clicks = 0;
  check->OnClick = [&] { ++clicks; };
  check->SetChecked(true);
  check->SetChecked(true);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(clicks, 1);

  auto* track = form.Add<TTrackBar>(TBounds{3, 46, 364, 30}, 10, 90, 75, 5);
  int changes = 0;
  track->OnChange = [&] { ++changes; };
  track->SetPosition(5);
  EXPECT_EQ(track->Position(), 10) << "kept within its range";
  track->SetPosition(10);
  EXPECT_EQ(changes, 1);

  auto* label = form.Add<TLabel>(TBounds{368, 48, 23, 17}, L"75%", false, TAlignment::Right);
  label->SetCaption(L"100%");
  EXPECT_EQ(label->Width(), 23) << "a fixed-size label keeps its size";
  auto* autoLabel = form.Add<TLabel>(TBounds{71, 9, 0, 0}, L"Transforming");
  const int shortWidth = autoLabel->Width();
  autoLabel->SetCaption(L"Writing output [100%]");
  EXPECT_GT(autoLabel->Width(), shortWidth);
  EXPECT_EQ(autoLabel->Left(), 71);

  auto* pages = form.Add<TPageControl>(TBounds{8, 100, 300, 150});
  TTabSheet* plugins = pages->AddPage(L"Plugins");
  TTabSheet* settings = pages->AddPage(L"Settings");
  EXPECT_EQ(pages->ActivePageIndex(), 0);
  EXPECT_TRUE(plugins->Visible());
  EXPECT_FALSE(settings->Visible());
  pages->SetActivePageIndex(1);
  EXPECT_FALSE(plugins->Visible());
  EXPECT_TRUE(settings->Visible());
}

TEST(ScrollBox, ShowsItsBarsOnlyWhenTheContentSticksOut) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* frame = form.Add<TPanel>(TBounds{8, 24, 202, 102}, L"", TPanelBevel::Lowered);
  frame->SetAnchors(akAll);
  auto* box = frame->Add<TScrollBox>(TBounds{0, 0, 10, 10}, false);
  box->SetAlign(TAlign::Client);
  const TBounds inside = box->Bounds();
  EXPECT_EQ(inside.Left, 1) << "a client-aligned control leaves the panel's bevel visible";
  EXPECT_EQ(inside.Width, 200);
  EXPECT_EQ(inside.Height, 100);
  auto* content = box->Add<TPanel>(TBounds{0, 0, 100, 50});
  EXPECT_FALSE(box->HasHorzScrollBar());
  EXPECT_FALSE(box->HasVertScrollBar());
  content->SetBounds(0, 0, 150, 400);
  EXPECT_FALSE(box->HasHorzScrollBar());
  EXPECT_TRUE(box->HasVertScrollBar());
  content->SetBounds(0, 0, 500, 40);
  EXPECT_TRUE(box->HasHorzScrollBar());
  EXPECT_FALSE(box->HasVertScrollBar());
  // Growing the form grows the anchored frame and the box that fills it.
  form.SetClientSize(800, 300);
  EXPECT_EQ(box->Width(), 600);
  EXPECT_FALSE(box->HasHorzScrollBar());
}

TEST(Controls, UserActionsRaiseEvents) {
  TForm form(nullptr, {L"Zentavo test form", 420, 300});
  auto* check = form.Add<TCheckBox>(TBounds{10, 10, 150, 17}, L"Check");
  auto* track = form.Add<TTrackBar>(TBounds{10, 30, 200, 30}, 10, 90, 75, 5);
  auto* list = form.Add<TListBox>(TBounds{10, 70, 150, 80}, TListBox::TOptions{true, false, 13});
  list->AddItem(L"one");
  list->AddItem(L"two");
  auto* combo = form.Add<TComboBox>(TBounds{170, 70, 150, 21}, true);
  combo->AddItem(L"a");
  combo->AddItem(L"b");
  combo->SetItemIndex(0);
  auto* link = form.Add<TLinkLabel>(TBounds{10, 160, 0, 0}, L"Get Zentavo plugins!");
  auto* flat = form.Add<TPictureButton>(TBounds{330, 70, 23, 72});
  auto* close = form.Add<TButton>(TBounds{330, 260, 75, 25}, L"Close");
  close->SetModalResult(mrClose);
  close->SetDefault(true);
  close->SetCancel(true);

  std::atomic<int> checks{0}, tracks{0}, selections{0}, doubles{0}, combos{0}, links{0}, flats{0};
  check->OnClick = [&] { ++checks; };
  track->OnChange = [&] { ++tracks; };
  list->OnClick = [&] { ++selections; };
  list->OnDblClick = [&] { ++doubles; };
  combo->OnChange = [&] { ++combos; };
  link->OnClick = [&] { ++links; };
  flat->OnClick = [&] { ++flats; };

  TGuiDriver driver([&] {
    HWND w = WaitForWindow(L"Zentavo test form");
    Click(check->Handle());
    WaitUntil([&] { return checks == 1; }, "check box click");
    PressKeyOn(track->Handle(), VK_RIGHT);
    WaitUntil([&] { return tracks > 0; }, "track bar change");
    PressKeyOn(list->Handle(), VK_DOWN);
    WaitUntil([&] { return selections > 0; }, "list selection");
    const RECT item = list->ItemRect(1);
    ::PostMessageW(list->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.left + 3, item.top + 3));
    ::PostMessageW(list->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(item.left + 3, item.top + 3));
    WaitUntil([&] { return doubles > 0; }, "list double-click");
    PressKeyOn(combo->Handle(), VK_DOWN);
    WaitUntil([&] { return combos > 0; }, "combo change");
    ClickAt(link->Handle(), {2, 2});
    WaitUntil([&] { return links > 0; }, "link click");
    ClickAt(flat->Handle(), {5, 5});
    WaitUntil([&] { return flats > 0; }, "picture button click");
    PressKey(w, VK_ESCAPE);
  });
  const int result = form.ShowModal();
  driver.Join();
  EXPECT_EQ(result, mrClose);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(track->Position(), 76);
  EXPECT_EQ(combo->ItemIndex(), 1);

  // A disabled picture button ignores clicks.
  flat->SetEnabled(false);
  flat->Click();
  EXPECT_EQ(flats, 1);
}
