// The stage's bracket around each transformation, from the plug-ins' call
// logs, and the runner's steering and saving, from the files they leave.
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

// A pipe over the files a.txt, b.txt, ... with the given contents (then the
// last pass when asked), outputs that exist before ("old"; a name ending in
// "\" is a folder), boxes answered in turn; afterwards the outputs and the
// last run's answer, its outputs left unwritten and the boxes shown.
struct TScenario {
  const char* Case;
  std::vector<std::pair<std::wstring, TPipeSettings>> Stages;
  std::vector<std::string> Files;
  bool Pass;
  std::map<std::wstring, std::string> Outputs;
  std::vector<std::wstring> Existing = {};
  std::vector<int> Answers = {};
  bool Ended = true;
  size_t Unwritten = 0, Boxes = 0;
};

}  // namespace

TEST_F(TPipeTest, BracketsEveryTransformationAndReportsTheErrorTheCallLeft) {
  const std::wstring cancelled =
      L"The \"fail\" plugin has cancelled the transformation because of the following error: ";
  const TBracketRow rows[] = {
      {"no bracket exports", L"Plain", {}, 3, false, true, Repeat("plain transform in 2\n", 3) + "plain unload\n"},
      {"a bracket per file", L"Passthru", {}, 3, false, true,
       Repeat("passthru init\npassthru transform in 2\npassthru done\n", 3) + "passthru unload\n"},
      {"one bracket around 6, 6, 2", L"Split", {{L"Parts", 3}}, 1, false, true,
       "split init\nsplit transform in 6\nsplit transform in 6\nsplit transform in 2\nsplit done\nsplit unload\n"},
      {"initialisation refused", L"Passthru", {{L"Init", 0}}, 1, false, false, "passthru init\npassthru unload\n", 0,
       L"",
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
       "fail init\nfail transform in 8\nfail done\nfail unload\n", 10000,
       cancelled + L"\"ZV_Transform (fail): Invalid"},
      {"the input passed on without input", L"Merge", {{L"Flush", L"4"}}, 1, true, false,
       "merge init\nmerge transform in 5\nmerge transform none 4\nmerge done\nmerge unload\n", 10002,
       L"returns \"ZVR_USEINPUT\" value when the input stream is NULL"},
  };
  for (const TBracketRow& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    Pipe(Stage(row.Plugin, row.Settings));
    bool ended = true;
    for (int i = 0; i < row.Files; ++i) ended = RunFile(FileName(i));
    if (row.Pass) ended = Pass();
    EndPipe();
    EXPECT_EQ(ended, row.Ended);
    EXPECT_EQ(Log(), row.Log);
    EXPECT_EQ(Said(), row.Boxes);
    ASSERT_EQ(Errors.Reports.size(), row.Code ? 1u : 0u);
    if (!row.Code) continue;
    EXPECT_EQ(Errors.Reports[0].Error.Code, row.Code);
    EXPECT_NE(Errors.Reports[0].Message.find(row.Mentions), std::wstring::npos);
  }
}

TEST_F(TPipeTest, SteersTheDataAndSavesItWhereTheUserAgrees) {
  using zv::mrCancel, zv::mrNo, zv::mrNoToAll, zv::mrYes, zv::mrYesToAll;
  const std::pair<std::wstring, TPipeSettings> split3 = {L"Split", {{L"Parts", 3}}};
  const std::map<std::wstring, std::string> kept = {{L"a_1.txt", "old"}, {L"a_2.txt", "b"}, {L"a_3.txt", "old"}},
                                             written = {{L"a_1.txt", "a"}, {L"a_2.txt", "b"}, {L"a_3.txt", "c"}},
                                             stopped = {{L"a_1.txt", "old"}, {L"a_3.txt", "old"}};
  const std::vector<std::wstring> two = {L"a_1.txt", L"a_3.txt"}, folder = {L"sub.txt\\"};
  const TScenario rows[] = {
      {"passed on", {{L"Passthru", {}}}, {"abc"}, false, {{L"a.txt", "abc"}}},
      {"the input under the output's name", {{L"Rename", {{L"Results", L"4"}, {L"Name", L"b"}}}}, {"abc"}, false,
       {{L"b.txt", "abc"}}},
      {"another input at the first stage", {{L"Passthru", {{L"Results", L"3"}}}}, {"abc"}, false, {}},
      {"a drop flushes the waiting stage behind it", {{L"Passthru", {{L"Results", L"2 7"}}}, {L"Merge", {}}},
       {"A", "B"}, false, {{L"a.txt", "A"}}},
      {"two waiting stages", {{L"Merge", {}}, {L"Merge", {}}}, {"A", "B"}, true, {{L"a.txt", "AB"}}},
      {"split into a merge", {split3, {L"Merge", {}}}, {"abcdef", "ghijkl"}, true, {{L"a_1.txt", "abcdefghijkl"}}},
      {"every output of a flush", {{L"Merge", {{L"Flush", L"6 6 2"}}}}, {"A", "B"}, true,
       {{L"a_1.txt", "AB"}, {L"a_2.txt", "part 2"}, {L"a_3.txt", "part 3"}}},
      {"split at the end of the data", {{L"Merge", {}}, {L"Split", {}}}, {"ab", "cd"}, true,
       {{L"a_1.txt", "ab"}, {L"a_2.txt", "cd"}}},
      // The overwrite question, asked again for each existing file until an answer for all.
      {"no, yes", {split3}, {"abc"}, false, {{L"a_1.txt", "old"}, {L"a_2.txt", "b"}, {L"a_3.txt", "c"}}, two,
       {mrNo, mrYes}, true, 1, 2},
      {"no to all", {split3}, {"abc"}, false, kept, two, {mrNoToAll}, true, 2, 1},
      {"yes to all", {split3}, {"abc"}, false, written, two, {mrYesToAll}, true, 0, 1},
      {"cancel", {split3}, {"abc"}, false, stopped, two, {mrCancel}, false, 0, 1},
      {"closed", {split3}, {"abc"}, false, stopped, two, {0}, false, 0, 1},
      // Names that lead out of the destination are refused like a failed save (answered Ignore).
      {"a stream", {{L"Rename", {{L"Name", L"a:b"}}}}, {"data"}, false, {}, {}, {IDIGNORE}, true, 1, 1},
      {"a device", {{L"Rename", {{L"Name", L"con"}, {L"Extension", L"log"}}}}, {"data"}, false, {}, {}, {IDIGNORE},
       true, 1, 1},
      {"a folder", {{L"Rename", {{L"Name", L"sub"}}}}, {"data"}, false, {}, folder, {IDIGNORE}, true, 1, 1},
      {"a path up", {{L"Rename", {{L"Path", L"..\\up"}}}}, {"data"}, false, {{L"a.txt", "data"}}},
  };
  for (const TScenario& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    for (const std::wstring& name : row.Existing) {
      if (name.back() == L'\\') ::CreateDirectoryW((Out() + L"\\" + name).c_str(), nullptr);
      else WriteText(Out() + L"\\" + name, "old");
    }
    std::vector<zv::TPluginEntry> stages;
    for (const auto& [plugin, settings] : row.Stages) stages.push_back(Stage(plugin, settings));
    Pipe(std::move(stages));
    Answer(row.Answers);
    bool ended = true;
    for (size_t i = 0; i < row.Files.size(); ++i) ended = RunFile(FileName(i), row.Files[i]);
    if (row.Pass) ended = Pass();
    EXPECT_EQ(ended, row.Ended);
    EXPECT_EQ(Outputs(), row.Outputs);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Unwritten);
    EXPECT_EQ(Said().size(), row.Boxes);
  }
}
