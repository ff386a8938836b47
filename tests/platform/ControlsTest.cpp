// The events that user actions and setters raise and the scroll box. Items,
// lookups, the up-down's position and the pages are the dialogs' tests and
// screenshots.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;
using namespace zvtest;

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

TEST(Controls, ScrollBarsOnlyWhenNeeded) {
  TForm form(nullptr, {L"Zentavo controls", 400, 300});
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
