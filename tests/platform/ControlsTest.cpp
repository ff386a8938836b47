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

TEST(ListBox, ItemsKeepTheirObjectsThroughSortingAndExchangeAndPointsMapToItems) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* sorted = form.Add<TListBox>(TBounds{10, 10, 150, 100}, TListBox::TOptions{true, true, 13});
  for (auto [text, tag] : {std::pair{L"delta", 3}, {L"Alpha", 0}, {L"charlie", 2}, {L"bravo", 1}})
    sorted->AddItem(text, &Tag[tag]);
  ASSERT_EQ(sorted->Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sorted->Object(i), &Tag[i]) << "item " << i;
  EXPECT_EQ(sorted->IndexOf(L"CHARLIE"), 2);
  EXPECT_EQ(sorted->IndexOf(L"char"), -1);
  EXPECT_EQ(sorted->IndexOfObject(&Tag[1]), 1);

  auto* list = form.Add<TListBox>(TBounds{170, 10, 150, 120}, TListBox::TOptions{true, false, 13});
  for (int i = 0; i < 4; ++i) list->AddItem(std::wstring(1, L'1' + i), &Tag[i]);
  list->SetSelected(1, true);
  list->SetSelected(2, true);
  // Moving the selected block 2,3 up one place: 2, 3, 1, 4 with the two still selected.
  for (int i = 0; i < list->Count(); ++i)
    if (list->Selected(i)) list->Exchange(i, i - 1);
  EXPECT_EQ(list->Item(0) + list->Item(1) + list->Item(2) + list->Item(3), L"2314");
  EXPECT_EQ(list->Object(0), &Tag[1]);
  EXPECT_EQ(list->Object(2), &Tag[0]);
  EXPECT_TRUE(list->Selected(0) && list->Selected(1) && !list->Selected(2) && !list->Selected(3));

  const RECT second = list->ItemRect(1);
  EXPECT_EQ(list->ItemAtPos({second.left + 5, (second.top + second.bottom) / 2}), 1);
  const POINT below{5, list->ItemRect(3).bottom + 20};
  EXPECT_EQ(list->ItemAtPos(below), -1) << "the empty area below the last item";
  EXPECT_EQ(list->ItemAtPos(below, false), 4);
  EXPECT_EQ(list->ItemAtPos({-3, 2}), -1);
}

TEST(ComboBoxAndUpDown, LookupIgnoresCaseAndThePositionIsTheBuddysSixteenBitNumber) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* combo = form.Add<TComboBox>(TBounds{10, 10, 200, 21}, true);
  EXPECT_EQ(combo->IndexOf(L"x"), -1);
  combo->AddItem(L"Work", &Tag[1]);
  combo->AddItem(L"home", &Tag[0]);
  EXPECT_EQ(combo->IndexOf(L"WORK"), 1) << "sorted, found whatever the case";
  EXPECT_EQ(combo->IndexOf(L"wor"), -1);
  EXPECT_EQ(combo->Object(combo->IndexOf(L"work")), &Tag[1]);

  auto* edit = form.Add<TEdit>(TBounds{148, 53, 125, 21}, L"", TAlignment::Right);
  auto* upDown = form.Add<TUpDown>(TBounds{273, 53, 0, 0}, edit, short(1), short(32767), short(7));
  EXPECT_EQ(edit->Text(), L"7");
  upDown->SetPosition(32767);
  EXPECT_EQ(edit->Text(), L"32767");
  EXPECT_EQ(upDown->Position(), 32767);
  edit->SetText(L"12");
  EXPECT_EQ(upDown->Position(), 12) << "typed text counts";
}

TEST(Controls, UserActionsAndSettersRaiseEvents) {
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
  auto* flat = form.Add<TPictureButton>(TBounds{330, 70, 23, 72});
  auto* close = form.Add<TButton>(TBounds{330, 260, 75, 25}, L"Close");
  close->SetModalResult(mrClose);
  close->SetCancel(true);

  std::atomic<int> checks{0}, tracks{0}, selections{0}, doubles{0}, combos{0}, flats{0};
  check->OnClick = [&] { ++checks; };
  track->OnChange = [&] { ++tracks; };
  list->OnClick = [&] { ++selections; };
  list->OnDblClick = [&] { ++doubles; };
  combo->OnChange = [&] { ++combos; };
  flat->OnClick = [&] { ++flats; };
  const RECT item = list->ItemRect(1);
  const LPARAM onItem = MAKELPARAM(item.left + 3, item.top + 3);
  const struct {
    const char* Event;
    std::function<void()> Act;
    std::atomic<int>& Count;
  } actions[] = {
      {"check box click", [&] { Click(check->Handle()); }, checks},
      {"track bar change", [&] { PressKeyOn(track->Handle(), VK_RIGHT); }, tracks},
      {"list selection", [&] { PressKeyOn(list->Handle(), VK_DOWN); }, selections},
      {"list double-click",
       [&] {
         ::PostMessageW(list->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, onItem);
         ::PostMessageW(list->Handle(), WM_LBUTTONUP, 0, onItem);
       },
       doubles},
      {"combo change", [&] { PressKeyOn(combo->Handle(), VK_DOWN); }, combos},
      {"picture button click", [&] { ClickAt(flat->Handle(), {5, 5}); }, flats},
  };
  TGuiDriver driver([&] {
    HWND w = WaitForWindow(L"Zentavo test form");
    for (const auto& a : actions) {
      a.Act();
      WaitUntil([&] { return a.Count > 0; }, a.Event);
    }
    PressKey(w, VK_ESCAPE);
  });
  EXPECT_EQ(form.ShowModal(), mrClose);
  driver.Join();
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(track->Position(), 76);
  EXPECT_EQ(combo->ItemIndex(), 1);

  // Setters raise what a user change raises, once per real change.
  check->SetChecked(false);
  check->SetChecked(false);
  EXPECT_EQ(checks, 2);
  const int userTracks = tracks;
  track->SetPosition(5);
  EXPECT_EQ(track->Position(), 10) << "kept within its range";
  track->SetPosition(10);
  EXPECT_EQ(tracks, userTracks + 1);
  // A disabled picture button ignores clicks.
  flat->SetEnabled(false);
  flat->Click();
  EXPECT_EQ(flats, 1);
}

TEST(Controls, PagesShowOnlyTheActiveSheetAndScrollBarsOnlyWhenNeeded) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
  auto* pages = form.Add<TPageControl>(TBounds{8, 100, 300, 150});
  TTabSheet* first = pages->AddPage(L"Plugins");
  TTabSheet* second = pages->AddPage(L"Settings");
  EXPECT_TRUE(first->Visible() && !second->Visible());
  pages->SetActivePageIndex(1);
  EXPECT_TRUE(!first->Visible() && second->Visible());

  auto* box = form.Add<TScrollBox>(TBounds{0, 0, 200, 100}, false);
  auto* content = box->Add<TPanel>(TBounds{0, 0, 100, 50});
  const struct {
    int Width, Height;
    bool Horz, Vert;
  } sizes[] = {{100, 50, false, false}, {150, 400, false, true}, {500, 40, true, false}};
  for (const auto& s : sizes) {
    content->SetBounds(0, 0, s.Width, s.Height);
    EXPECT_EQ(box->HasHorzScrollBar(), s.Horz) << s.Width << "x" << s.Height;
    EXPECT_EQ(box->HasVertScrollBar(), s.Vert) << s.Width << "x" << s.Height;
  }
  box->SetBounds(0, 0, 600, 100);
  EXPECT_FALSE(box->HasHorzScrollBar()) << "the box grew past its content";
}
