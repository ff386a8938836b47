// Saving a stream's data to its destination file: chunks, progress, abort,
// directories, and failures that must not pass for a saved file.
#include <windows.h>

#include "StreamFakes.h"
#include "engine/OutputStream.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

std::vector<unsigned char> Bytes(const std::vector<char>& data) { return {data.begin(), data.end()}; }

class SaveToFile : public TStreamTest {};

}  // namespace

TEST_F(SaveToFile, Cases) {
  using TSetup = std::function<void(const TTempDir&, TMemStream&, TOutputStream&)>;
  const TSetup none = [](auto&...) {};
  const TSetup raisingProgress = [](auto&...) {
    static struct : ITransformProgress {
      bool SetProgress(int32_t) override { return false; }
      void SetStatus(const char*) override {}
      bool SetWriteProgress(int32_t) override { throw EZvError(L"panel gone"); }
    } raising;
    ActiveTransformManager = &raising;
  };
  enum TFile { Saved, Gone, Left, Any };  // what is at the destination afterwards
  struct {
    const char* what; size_t size; const wchar_t* sub; TSetup setup;
    int32_t result; std::vector<int32_t> percents; int reads; TFile file;
  } cases[] = {
      {"empty", 0, L"", none, srSaved, {}, 0, Saved},
      {"exactly one chunk: a second read finds the end", 262144, L"", none, srSaved, {100, 100}, 2, Saved},
      {"from the start wherever the position was", 600000, L"",
       [](auto&, auto&, TOutputStream& out) { out.Seek(0, smFromEnd); }, srSaved, {44, 87, 100}, 3, Saved},
      {"progress rounds halves to even", 2097152, L"", none, srSaved, {12, 25, 38, 50, 62, 75, 88, 100, 100}, 9, Saved},
      {"no progress receiver", 300000, L"", [](auto&...) { ActiveTransformManager = nullptr; }, srSaved, {}, 2, Saved},
      {"existing file replaced", 10, L"",
       [](const TTempDir& dir, auto&...) { WriteFileBytes(dir / L"out.bin", std::vector<unsigned char>(5000, 1)); },
       srSaved, {100}, 1, Saved},
      {"missing directories made", 1000, L"a\\b\\c\\d", none, srSaved, {100}, 1, Saved},
      {"abort on the last chunk", 600000, L"", [this](auto&...) { Progress.AbortAtCall = 3; }, srAborted,
       {44, 87, 100}, 3, Gone},
      {"abort on the first chunk", 600000, L"", [this](auto&...) { Progress.AbortAtCall = 1; }, srAborted, {44}, 1, Gone},
      {"read fails midway", 600000, L"", [](auto&, TMemStream& mem, auto&) { mem.FailReadAfter = 262144; },
       srFailed, {44}, 2, Gone},
      {"read raises midway", 600000, L"",
       [](auto&, TMemStream& mem, auto&) { mem.FailReadAfter = 524288, mem.ThrowOnFail = true; }, srFailed,
       {44, 87}, 3, Gone},
      {"data ends before its size", 1000, L"", [](auto&, TMemStream& mem, auto&) { mem.ClaimedSize = 2000; },
       srFailed, {50}, 1, Gone},
      {"directory cannot be made", 1000, L"blocker\\below",
       [](const TTempDir& dir, auto&...) { WriteFileBytes(dir / L"blocker", {1}); }, srFailed, {}, 0, Gone},
      {"file cannot be made", 1000, L"",
       [](const TTempDir& dir, auto&...) { ::CreateDirectoryW((dir / L"out.bin").c_str(), nullptr); }, srFailed, {},
       0, Left},
      {"progress receiver raises", 1000, L"", raisingProgress, srFailed, {}, 1, Any},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    auto* mem = new TMemStream(Pattern(c.size));
    TOutputStream out(std::unique_ptr<TStream>(mem), {dir.Path(), c.sub, L"out", L"bin"});
    Progress = {};
    ActiveTransformManager = &Progress;
    c.setup(dir, *mem, out);
    EXPECT_EQ(out.SaveToFile(), c.result);
    EXPECT_EQ(Progress.Percents, c.percents);
    EXPECT_EQ(mem->ReadCalls, c.reads);
    const std::wstring file = dir / (std::wstring(c.sub) + (*c.sub ? L"\\" : L"") + L"out.bin");
    if (c.file == Saved) {
      EXPECT_EQ(ReadFileBytes(file), Bytes(Pattern(c.size)));
    }
    if (c.file != Any) {
      EXPECT_EQ(FileExists(file), c.file != Gone);
    }
    ExpectLockFree(out);
  }
}
