// The stage's bracket around each transformation and the runner's steering,
// from the plug-ins' call logs and the files they leave.
#include "engine/pipe/PipeTest.h"

using namespace zvtest;

namespace {

std::string Repeat(const std::string& text, int times) {
  std::string all;
  while (times-- > 0) all += text;
  return all;
}

std::wstring FileName(size_t i) { return std::wstring(1, static_cast<wchar_t>(L'a' + i)) + L".txt"; }

struct TBracketRow {
  const char* Case;
  std::wstring Plugin;
  TPipeSettings Settings;
  int Files;   // a.txt, b.txt, ...
  bool Pass;
  bool Ended;  // the last run's answer
  std::string Log;
  uint32_t Code = 0;  // of the one error reported; 0: none
  std::wstring Mentions = L"";
  std::vector<std::wstring> Boxes = {};
};

struct TSteeringRow {
  const char* Case;
  std::vector<std::pair<std::wstring, TPipeSettings>> Stages;
  std::vector<std::string> Files;
  bool Pass;
  std::map<std::wstring, std::string> Outputs;
};

}  // namespace

TEST_F(TPipeTest, BracketsEveryTransformationAndReportsTheErrorTheCallLeft) {
  const std::wstring cancelled = L"The \"fail\" plugin has cancelled the transformation because of the following error: ";
  const TBracketRow rows[] = {
      {"no bracket exports", L"Plain", {}, 3, false, true, Repeat("plain transform in 2\n", 3) + "plain unload\n"},
      {"a bracket per file", L"Passthru", {}, 3, false, true,
       Repeat("passthru init\npassthru transform in 2\npassthru done\n", 3) + "passthru unload\n"},
      {"one bracket around 6, 6, 2", L"Split", {{L"Parts", 3}}, 1, false, true,
       "split init\nsplit transform in 6\nsplit transform in 6\nsplit transform in 2\nsplit done\nsplit unload\n"},
      {"initialisation refused", L"Passthru", {{L"Init", 0}}, 1, false, false, "passthru init\npassthru unload\n", 0, L"",
       {L"Error: An unknown error occured while initializing the transformation of the \"passthru\" plugin.  The "
        L"transformation process is terminating."}},
      {"done without init", L"DoneOnly", {}, 1, false, true, "doneonly transform in 2\ndoneonly unload\n"},
      {"ended when freed", L"Merge", {}, 1, false, true,
       "merge init\nmerge transform in 5\nmerge done\nmerge unload\n"},
      {"a pass without waiting stages", L"Passthru", {}, 0, true, true, "passthru unload\n"},
      {"more input without input", L"Fail", {{L"Results", L"5"}}, 1, true, false,
       "fail init\nfail transform in 5\nfail transform none 5\nfail done\nfail unload\n", 10002,
       L"(The ZV_Transform function returns \"ZVR_WAITMOREINPUT\" value when the input stream is NULL)\". The"},
      {"the plug-in's text", L"Fail", {{L"ErrorText", L"disk full"}}, 1, false, false,
       "fail init\nfail transform in 0\nfail done\nfail unload\n", 7,
       cancelled + L"\"disk full\". The transformation process is terminating."},
      {"a result out of range", L"Fail", {{L"Results", L"8"}}, 1, false, false,
       "fail init\nfail transform in 8\nfail done\nfail unload\n", 10000, cancelled + L"\"ZV_Transform (fail): Invalid"},
      {"the input passed on without input", L"Merge", {{L"Flush", L"4"}}, 1, true, false,
       "merge init\nmerge transform in 5\nmerge transform none 4\nmerge done\nmerge unload\n", 10002,
       L"returns \"ZVR_USEINPUT\" value when the input stream is NULL"},
  };
  for (const TBracketRow& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    Errors.Reports.clear();
    Pipe(Stage(row.Plugin, row.Settings));
    bool ended = true;
    for (int i = 0; i < row.Files; ++i) ended = RunFile(FileName(i));
    if (row.Pass) ended = Pass();
    Runner.reset();
    EXPECT_EQ(ended, row.Ended);
    EXPECT_EQ(Log(), row.Log);
    EXPECT_EQ(Said(), row.Boxes);
    ASSERT_EQ(Errors.Reports.size(), row.Code ? 1u : 0u);
    if (!row.Code) continue;
    EXPECT_EQ(Errors.Reports[0].Error.Code, row.Code);
    EXPECT_NE(Errors.Reports[0].Message.find(row.Mentions), std::wstring::npos);
  }
}

TEST_F(TPipeTest, SteersTheDataByEachResult) {
  const TSteeringRow rows[] = {
      {"passed on", {{L"Passthru", {}}}, {"abc"}, false, {{L"a.txt", "abc"}}},
      {"the input under the output's name", {{L"Rename", {{L"Results", L"4"}, {L"Name", L"b"}}}}, {"abc"}, false,
       {{L"b.txt", "abc"}}},
      {"another input at the first stage", {{L"Passthru", {{L"Results", L"3"}}}}, {"abc"}, false, {}},
      {"a drop flushes the waiting stage behind it", {{L"Passthru", {{L"Results", L"2 7"}}}, {L"Merge", {}}},
       {"A", "B"}, false, {{L"a.txt", "A"}}},
      {"two waiting stages", {{L"Merge", {}}, {L"Merge", {}}}, {"A", "B"}, true, {{L"a.txt", "AB"}}},
      {"split into a merge", {{L"Split", {{L"Parts", 3}}}, {L"Merge", {}}}, {"abcdef", "ghijkl"}, true,
       {{L"a_1.txt", "abcdefghijkl"}}},
      {"every output of a flush", {{L"Merge", {{L"Flush", L"6 6 2"}}}}, {"A", "B"}, true,
       {{L"a_1.txt", "AB"}, {L"a_2.txt", "part 2"}, {L"a_3.txt", "part 3"}}},
      {"split at the end of the data", {{L"Merge", {}}, {L"Split", {}}}, {"ab", "cd"}, true,
       {{L"a_1.txt", "ab"}, {L"a_2.txt", "cd"}}},
  };
  for (const TSteeringRow& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    std::vector<zv::TPluginEntry> stages;
    for (const auto& [plugin, settings] : row.Stages) stages.push_back(Stage(plugin, settings));
    Pipe(std::move(stages));
    for (size_t i = 0; i < row.Files.size(); ++i) EXPECT_TRUE(RunFile(FileName(i), row.Files[i]));
    if (row.Pass) {
      EXPECT_TRUE(Pass());
    }
    EXPECT_EQ(Outputs(), row.Outputs);
  }
}
