// The help file that the build puts beside the library holds every topic we
// open; the dialogs' help is checked with the dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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
  const TChmDirectory help = ReadChmDirectory(BuiltHelpFile());
  const auto holds = [&](const std::string& name) {
    return std::find(help.Names.begin(), help.Names.end(), "/" + name) != help.Names.end();
  };
  for (const wchar_t* topic : {HowItWorksTopic, SettingsTopic, TransformationsTopic})
    EXPECT_TRUE(holds(WideToAnsi(topic))) << WideToAnsi(topic);
  EXPECT_EQ(help.DefaultTopic, "index.html");
  EXPECT_TRUE(holds(help.DefaultTopic));
  EXPECT_TRUE(help.ContentsFile.ends_with(".hhc")) << help.ContentsFile;
  EXPECT_TRUE(holds(help.ContentsFile)) << help.ContentsFile;
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
