// The boxes: the confirmation box's answers, the input box, message boxes
// owned by ParentWindow and the open-file dialog.
#include <gtest/gtest.h>

#include <atomic>

#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

// Makes a shown form the owner of the boxes for one test and restores ParentWindow after.
class TOwnerScope {
public:
  TOwnerScope() : FOwner(nullptr, {L"Zentavo box owner", 300, 200}), FSaved(ParentWindow) {
    FOwner.ShowModeless();
    ParentWindow = FOwner.Handle();
  }
  ~TOwnerScope() { ParentWindow = FSaved; }
  HWND Handle() const { return FOwner.Handle(); }

private:
  TForm FOwner;
  HWND FSaved;
};

}  // namespace

TEST(ConfirmationBox, EachButtonKeyAndCloseGivesItsAnswer) {
  TOwnerScope owner;
  const wchar_t* message = L"The \"a&b.txt\" file already exists. Shall I overwrite it?";
  const struct {
    const char* Way;
    std::function<void(HWND)> Act;
    int Result;
  } ways[] = {
      {"Yes", [](HWND box) { ClickButton(box, L"&Yes"); }, 6},
      {"No", [](HWND box) { ClickButton(box, L"&No"); }, 7},
      {"Cancel", [](HWND box) { ClickButton(box, L"Cancel"); }, 2},
      {"No to All", [](HWND box) { ClickButton(box, L"N&o to All"); }, 9},
      {"Yes to All", [](HWND box) { ClickButton(box, L"Yes to &All"); }, 10},
      {"Escape", [](HWND box) { PressKey(box, VK_ESCAPE); }, 2},
      {"Enter", [](HWND box) { PressKey(box, VK_RETURN); }, 6},
      // The buttons carry their answers as ids, like the platform's message boxes.
      {"id", [](HWND box) { PressButtonId(box, IDNO); }, 7},
      {"Alt+O", [](HWND box) { PressMnemonic(box, L'o'); }, 9},
  };
  for (const auto& way : ways) {
    std::atomic<bool> ownedAndDisabled{false}, messageShown{false};
    TGuiDriver driver([&] {
      HWND box = WaitForWindow(L"Confirm");
      ownedAndDisabled = ::GetWindow(box, GW_OWNER) == owner.Handle() && !IsEnabled(owner.Handle());
      messageShown = FindChild(box, message) != nullptr;
      way.Act(box);
    });
    EXPECT_EQ(ShowConfirmationBox(message), way.Result) << way.Way;
    driver.Join();
    EXPECT_TRUE(ownedAndDisabled) << way.Way;
    EXPECT_TRUE(messageShown) << way.Way;
  }
  EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
}

TEST(InputBox, OkGivesTheEditedTextAndCancelKeepsTheValue) {
  TOwnerScope owner;
  std::wstring value = L"Default";
  TGuiDriver ok([&] {
    HWND box = WaitForWindow(L"Save to profiles");
    if (!FindChild(box, L"Profile name:")) throw std::runtime_error("no prompt");
    SetText(FindChild(box, L"Default", L"Edit"), L"  My profile ");
    ClickButton(box, L"OK");
  });
  EXPECT_TRUE(InputQuery(L"Save to profiles", L"Profile name:", value));
  ok.Join();
  EXPECT_EQ(value, L"  My profile ") << "the text as typed; trimming is the caller's";

  TGuiDriver cancel([&] {
    HWND box = WaitForWindow(L"Save to profiles");
    SetText(FindChild(box, L"", L"Edit"), L"changed");
    PressKey(box, VK_ESCAPE);
  });
  EXPECT_FALSE(InputQuery(L"Save to profiles", L"Profile name:", value));
  cancel.Join();
  EXPECT_EQ(value, L"  My profile ");
}

TEST(MessageBoxes, AreOwnedByParentWindow) {
  TOwnerScope owner;
  std::atomic<bool> owned{false};
  std::wstring text;
  TGuiDriver driver([&] {
    HWND box = WaitForMessageBox(L"Question");
    owned = ::GetWindow(box, GW_OWNER) == owner.Handle();
    text = MessageBoxText(box);
    PressButtonId(box, IDNO);
  });
  EXPECT_EQ(ShowMessageBox(L"Are you sure?", L"Question", MB_YESNO | MB_ICONQUESTION), IDNO);
  driver.Join();
  EXPECT_TRUE(owned);
  EXPECT_EQ(text, L"Are you sure?");
}

TEST(OpenDialog, ReturnsEveryChosenFileWithItsFullPathAndNothingOnCancel) {
  TTempDir dir;
  WriteFileBytes(dir / L"one.zvx", {1});
  WriteFileBytes(dir / L"two.zvx", {2});
  TOwnerScope owner;
  TOpenDialog dialog;
  dialog.Title = L"Install Zentavo plugin(s)";
  dialog.Filter = L"Zentavo plugin(s) (*.zvx; *.dll)|*.zvx;*.dll";
  dialog.InitialDir = dir.Path();

  TGuiDriver choose([] { ChooseFiles(L"Install Zentavo plugin(s)", L"\"one.zvx\" \"two.zvx\""); });
  ASSERT_TRUE(dialog.Execute(owner.Handle()));
  choose.Join();
  ASSERT_EQ(dialog.Files().size(), 2u);
  EXPECT_EQ(_wcsicmp(dialog.Files()[0].c_str(), (dir / L"one.zvx").c_str()), 0);
  EXPECT_EQ(_wcsicmp(dialog.Files()[1].c_str(), (dir / L"two.zvx").c_str()), 0);

  TGuiDriver cancel([&] { PressButtonId(WaitForWindow(L"Install Zentavo plugin(s)", L"#32770"), IDCANCEL); });
  EXPECT_FALSE(dialog.Execute(owner.Handle()));
  cancel.Join();
  EXPECT_TRUE(dialog.Files().empty());
}
