// The boxes: the confirmation box's answers and message boxes owned by
// ParentWindow. The input box and the open-file dialog are driven by the
// dialogs' tests (saving a profile, installing plug-ins).
#include <gtest/gtest.h>

#include <atomic>

#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

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
      // The buttons carry their answers as ids, like the platform's message
      // boxes: the pipe's overwrite question answers every one by its id.
      {"Yes to All", [](HWND box) { ClickButton(box, L"Yes to &All"); }, 10},
      {"Escape", [](HWND box) { PressKey(box, VK_ESCAPE); }, 2},
      {"Enter", [](HWND box) { PressKey(box, VK_RETURN); }, 6},
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
