// The confirmation box's answers; message boxes take the same owner. The input
// box and the open-file dialog are driven by the dialogs' tests (saving a
// profile, installing plug-ins).
#include <gtest/gtest.h>

#include <atomic>

#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "support/GuiDriver.h"

using namespace zv;
using namespace zvtest;

TEST(ConfirmationBox, EachButtonKeyAndCloseGivesItsAnswer) {
  TForm owner(nullptr, {L"Zentavo box owner", 300, 200});
  owner.ShowModeless();
  ParentWindow = owner.Handle();
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
  ParentWindow = nullptr;
}
