// The help file that the build puts beside the library holds every topic we
// open; the dialogs' help is checked with the dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/TCUtilities.h"
#include "frontend/VirtualRoot.h"
#include "platform/TextConv.h"
#include "support/HelpFile.h"

// The export itself, built into this test from the library's sources.
extern "C" int WINAPI FsExecuteFile(HWND mainWin, const char* remoteName, const char* verb);

namespace {

using namespace zv;
using namespace zvtest;

std::vector<std::wstring> Asked;  // help topics, in order

TEST(HelpFile, IsACompiledHelpFileWithOurTopicsAnIndexPageAndAContentsTable) {
  for (const wchar_t* topic : {HowItWorksTopic, SettingsTopic, TransformationsTopic}) EXPECT_TRUE(BuiltHelpHolds(topic));
  const std::string first = HelpSystemText(2), contents = HelpSystemText(0);
  EXPECT_EQ(first, "index.html");
  EXPECT_TRUE(BuiltHelpHolds(AnsiToWide(first)));
  EXPECT_TRUE(contents.ends_with(".hhc")) << contents;
  EXPECT_TRUE(BuiltHelpHolds(AnsiToWide(contents)));
}

TEST(HelpFile, TheRootsHelpEntryOpensATopicItHolds) {
  HelpViewer = [](const std::wstring& topic) { Asked.push_back(topic); };
  const std::string entry = WideToAnsi(std::wstring(L"\\") + HelpEntryName);
  for (const char* verb : {"open", "properties"}) EXPECT_EQ(FsExecuteFile(nullptr, entry.c_str(), verb), 0) << verb;
  HelpViewer = &ShowHtmlHelp;
  ASSERT_EQ(Asked.size(), 2u);
  for (const std::wstring& topic : Asked) EXPECT_TRUE(BuiltHelpHolds(topic));
}

}  // namespace
