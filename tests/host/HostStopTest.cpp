// A host that goes on with the next file after one answered
// FS_FILE_USERABORT: the later file must run as if it came first. Every way
// a run can stop, with a splitter left part way through the first file, is
// followed by a second file; and a merge that a stop did or did not touch.
// All of them are moves, so a source deleted for data written nowhere shows.
#include <gtest/gtest.h>

#include "host/TestHost.h"
#include "platform/TextConv.h"

namespace zvtest {
namespace {

TBytes Part(const TBytes& bytes, size_t part) {  // a half, as the splitter cuts it
  const size_t middle = bytes.size() / 2;
  return part == 0 ? TBytes(bytes.begin(), bytes.begin() + middle) : TBytes(bytes.begin() + middle, bytes.end());
}

TBytes Joined(std::initializer_list<const TBytes*> parts) {
  TBytes all;
  for (const TBytes* part : parts) all.insert(all.end(), part->begin(), part->end());
  return all;
}

using TFiles = std::vector<std::pair<std::wstring, const TBytes*>>;

// The folders view (the batch's) and local, with the files in local.
void MakeSources(const TTestHost& host, const TFiles& files) {
  for (const wchar_t* dir : {L"view", L"local"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  for (const auto& [name, bytes] : files) WriteFileBytes(host.Work / (L"local\\" + name), *bytes);
}

// The host's move of local\<name> into the view.
int MoveIn(TTestHost& host, const std::wstring& name) {
  return host.Fs<int>("FsPutFile", host.Local(L"local\\" + name).c_str(), host.View(L"view\\" + name).c_str(),
                      copyMove);
}

// A file nobody holds open any more.
bool Closed(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

struct TStopKind {
  const char* What;
  TStage Stopper;  // a stage after the splitter that stops on a's first part; none: the save of it stops
  bool HostAbortsA;
  const wchar_t* TargetA1;  // what stands at a_1's destination: "directory", "file" (b_1's too) or ""
  std::vector<int> Answers;
};

const TStopKind StopKinds[] = {
    {"ZVR_ERROR", {"rename", {L"Refuse=string:a_1"}}, false, L"", {IDOK}},
    {"ZVR_CANCEL", {"rename", {L"Refuse=string:a_1", L"RefuseWith=number:1"}}, false, L"", {}},
    {"a fault", {"rename", {L"Refuse=string:a_1", L"RefuseWith=number:2"}}, false, L"", {IDOK}},
    {"initialisation refused", {"rename", {L"Init=string:0 1"}}, false, L"", {IDOK}},
    {"the host's abort in a stage", {"slow", {}}, true, L"", {}},
    {"a failed save, aborted", {}, false, L"directory", {IDABORT}},
    {"the host's abort while saving", {}, true, L"", {}},
    {"overwrite cancelled", {}, false, L"file", {IDCANCEL, IDYES}},  // b_1 is asked for again
};

const struct {
  const char* What;
  TPipe Stages;
} SplitterPositions[] = {
    {"a splitter at stage 0", {{"split", {}}}},
    {"a splitter at a later stage", {{"passthru", {}}, {"split", {}}}},
    // The first file passes the first stage; the second waits there and is
    // flushed into the splitter by the last pass.
    {"a splitter after a merger", {{"passthru", {L"Results=string:2 5 2"}}, {"split", {}}}},
};

// a stops while the splitter holds its second half; b then gives its own two
// halves under its own names, and its source goes once they are written.
TEST(HostStop, ALaterFileRunsAsIfItCameFirst) {
  const TBytes a = Bytes(1 << 20, 1), b = Bytes(3000, 2);  // a_1 takes several chunks to write
  for (const auto& position : SplitterPositions) {
    for (const TStopKind& kind : StopKinds) {
      SCOPED_TRACE(std::string(position.What) + ", " + kind.What);
      TPipe pipe = position.Stages;
      if (!kind.Stopper.Fixture.empty()) pipe.push_back(kind.Stopper);
      TTestHost host(pipe);
      MakeSources(host, {{L"a.txt", &a}, {L"b.txt", &b}});
      const std::wstring target = kind.TargetA1;
      if (target == L"directory") ::CreateDirectoryW((host.Work / L"view\\a_1.txt").c_str(), nullptr);
      if (target == L"file")
        for (const wchar_t* name : {L"view\\a_1.txt", L"view\\b_1.txt"}) WriteFileBytes(host.Work / name, {1});
      host.Operate({opPut, host.Work / L"view", [&] {
        TTestHost::AbortProgress = kind.HostAbortsA;
        EXPECT_EQ(MoveIn(host, L"a.txt"), fsUserAbort);
        TTestHost::AbortProgress = false;
        EXPECT_TRUE(Closed(host.Work / L"local\\a.txt")) << "the stopped file's source is still open";
        EXPECT_EQ(MoveIn(host, L"b.txt"), fsOk);
      }, L"Start", true, kind.Answers});  // the last pass's boxes answered too
      EXPECT_EQ(host.Boxes.size(), kind.Answers.size());
      EXPECT_TRUE(Holds(host.Work / L"local\\a.txt", a));
      EXPECT_FALSE(FileExists(host.Work / L"local\\b.txt"));
      EXPECT_TRUE(Holds(host.Work / L"view\\b_1.txt", Part(b, 0)));
      EXPECT_TRUE(Holds(host.Work / L"view\\b_2.txt", Part(b, 1)));
      EXPECT_FALSE(FileExists(host.Work / L"view\\a_2.txt"));
      EXPECT_EQ(FileExists(host.Work / L"view\\a_1.txt"), !target.empty());
      EXPECT_FALSE(Holds(host.Work / L"view\\a_1.txt", Part(a, 0)));
    }
  }
}

// a and b go into a merge, c stops, d follows. Where the merging stage
// itself stopped, the merge of a and b is gone and d's own merge is written;
// where a stage before it stopped, the merge goes on with d. Only d's source
// goes, after the last pass has written its data.
TEST(HostStop, AMergeLosesOnlyWhatTheStopTouched) {
  const TBytes a = Bytes(1000, 1), b = Bytes(2000, 2), c = Bytes(3000, 3), d = Bytes(4000, 4);
  const struct {
    const char* What;
    TPipe Pipe;
    std::vector<std::pair<std::wstring, TBytes>> Outputs;
    size_t Boxes;
  } rows[] = {
      {"ZVR_ERROR at the merger", {{"merge", {L"Refuse=string:c"}}}, {{L"d.txt", d}}, 1},
      {"ZVR_CANCEL at the merger", {{"merge", {L"Refuse=string:c", L"RefuseWith=number:1"}}}, {{L"d.txt", d}}, 0},
      {"a fault at the merger", {{"merge", {L"Refuse=string:c", L"RefuseWith=number:2"}}}, {{L"d.txt", d}}, 1},
      {"ZVR_ERROR before the merger", {{"rename", {L"Refuse=string:c"}}, {"merge", {}}},
       {{L"a.txt", Joined({&a, &b, &d})}}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    TTestHost host(row.Pipe);
    const TFiles files = {{L"a.txt", &a}, {L"b.txt", &b}, {L"c.txt", &c}, {L"d.txt", &d}};
    MakeSources(host, files);
    host.Operate({opPut, host.Work / L"view", [&] {
      for (const auto& [name, bytes] : files)
        EXPECT_EQ(MoveIn(host, name), bytes == &c ? fsUserAbort : fsOk) << zv::WideToAnsi(name);
    }, L"Start", false, {IDOK}});
    EXPECT_EQ(host.Boxes.size(), row.Boxes);
    std::vector<std::pair<std::wstring, TBytes>> outputs;
    for (const std::wstring& name : ListFiles(host.Work / L"view", L"*"))
      outputs.emplace_back(name, ReadFileBytes(host.Work / (L"view\\" + name)));
    EXPECT_EQ(outputs, row.Outputs);
    // The bracket cannot tell which data a stop destroyed: a and b stay
    // also where their merge went on.
    for (const auto& [name, bytes] : files) {
      const bool stays = bytes != &d;
      EXPECT_EQ(Holds(host.Work / (L"local\\" + name), *bytes), stays) << zv::WideToAnsi(name);
    }
  }
}

}  // namespace
}  // namespace zvtest
