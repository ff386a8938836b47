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

int AnswerConfirmation(const std::function<void(HWND)>& answer, HWND owner) {
  std::atomic<bool> ownedAndDisabled{false};
  std::wstring message;
  TGuiDriver driver([&] {
    HWND box = WaitForWindow(L"Confirm");
    ownedAndDisabled = ::GetWindow(box, GW_OWNER) == owner && !IsEnabled(owner);
    message = GetText(FindChild(box, L"The \"a&b.txt\" file already exists. Shall I overwrite it?"));
    answer(box);
  });
  const int result = ShowConfirmationBox(L"The \"a&b.txt\" file already exists. Shall I overwrite it?");
  driver.Join();
  EXPECT_TRUE(ownedAndDisabled);
  EXPECT_FALSE(message.empty()) << "the message shows with its ampersand";
  return result;
}

}  // namespace

TEST(ConfirmationBox, EachButtonKeyAndCloseGivesItsAnswer) {
  TOwnerScope owner;
  const struct {
    const wchar_t* Caption;
    int Result;
  } buttons[] = {{L"&Yes", 6}, {L"&No", 7}, {L"Cancel", 2}, {L"N&o to All", 9}, {L"Yes to &All", 10}};
  for (const auto& button : buttons) {
    EXPECT_EQ(AnswerConfirmation([&](HWND box) { ClickButton(box, button.Caption); }, owner.Handle()), button.Result)
        << "button " << button.Result;
  }
  EXPECT_EQ(AnswerConfirmation([](HWND box) { SystemClose(box); }, owner.Handle()), mrCancel);
  EXPECT_EQ(AnswerConfirmation([](HWND box) { PressKey(box, VK_ESCAPE); }, owner.Handle()), mrCancel);
  EXPECT_EQ(AnswerConfirmation([](HWND box) { PressKey(box, VK_RETURN); }, owner.Handle()), mrYes);
  // The buttons carry their answers as ids, like the platform's message boxes.
  EXPECT_EQ(AnswerConfirmation([](HWND box) { PressButtonId(box, IDNO); }, owner.Handle()), mrNo);
  EXPECT_EQ(AnswerConfirmation([](HWND box) { PressMnemonic(box, L'a'); }, owner.Handle()), mrYesToAll);
  EXPECT_EQ(AnswerConfirmation([](HWND box) { PressMnemonic(box, L'o'); }, owner.Handle()), mrNoToAll);
  EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
}

TEST(InputBox, OkGivesTheEditedTextAndCancelKeepsTheValue) {
  TOwnerScope owner;
  std::wstring value = L"Default";
  std::wstring prompt;
  TGuiDriver ok([&] {
    HWND box = WaitForWindow(L"Save to profiles");
    prompt = GetText(FindChild(box, L"Profile name:"));
    HWND edit = FindChild(box, L"Default", L"Edit");
    SetText(edit, L"  My profile ");
    ClickButton(box, L"OK");
  });
  EXPECT_TRUE(InputQuery(L"Save to profiles", L"Profile name:", value));
  ok.Join();
  EXPECT_EQ(prompt, L"Profile name:");
  EXPECT_EQ(value, L"  My profile ") << "the text as typed; trimming is the caller's";

  TGuiDriver cancel([&] {
    HWND box = WaitForWindow(L"Save to profiles");
    SetText(FindChild(box, L"", L"Edit"), L"changed");
    PressKey(box, VK_ESCAPE);
  });
  EXPECT_FALSE(InputQuery(L"Save to profiles", L"Profile name:", value));
  cancel.Join();
  EXPECT_EQ(value, L"  My profile ");

  TGuiDriver enter([&] { PressKey(WaitForWindow(L"Set a name for the output stream"), VK_RETURN); });
  std::wstring name = L"out.txt";
  EXPECT_TRUE(InputQuery(L"Set a name for the output stream", L"Name:", name));
  enter.Join();
  EXPECT_EQ(name, L"out.txt");
}

TEST(MessageBoxes, AreOwnedByParentWindow) {
  TOwnerScope owner;
  std::wstring text;
  TGuiDriver error([&] { text = AnswerMessageBox(L"Error", IDOK); });
  EXPECT_EQ(ShowMessageBox(L"An error occured while saving the profile.", L"Error", MB_ICONERROR), IDOK);
  error.Join();
  EXPECT_EQ(text, L"An error occured while saving the profile.");

  std::atomic<bool> owned{false};
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

TEST(OpenDialog, ReturnsEveryChosenFileWithItsFullPath) {
  TTempDir dir;
  WriteFileBytes(dir / L"one.zvx", {1});
  WriteFileBytes(dir / L"two.zvx", {2});
  TOwnerScope owner;
  TOpenDialog dialog;
  dialog.Title = L"Install Zentavo plugin(s)";
  dialog.Filter = L"Zentavo plugin(s) (*.zvx; *.dll)|*.zvx;*.dll";
  dialog.DefaultExt = L"zvx";
  dialog.InitialDir = dir.Path();

  TGuiDriver choose([&] {
    HWND box = WaitForWindow(L"Install Zentavo plugin(s)", L"#32770");
    // The file name field: an edit (edt1), or the edit inside a combo box (cmb13).
    HWND name = FindChildById(box, 0x480);
    if (!name) name = FindChild(FindChildById(box, 0x47C), L"", L"Edit");
    ASSERT_TRUE(name);
    // The dialog may still be filling itself in and clear the field: retry a few times.
    for (int attempt = 0; attempt < 10 && ::IsWindow(box); ++attempt) {
      SetText(name, L"\"one.zvx\" \"two.zvx\"");
      PressButtonId(box, IDOK);
      try {
        WaitForWindowGone(box, 1000);
      } catch (const EGuiTimeout&) {
      }
    }
  });
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
