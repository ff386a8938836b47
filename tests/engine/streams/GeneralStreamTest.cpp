// The plug-in streams: the names a plug-in or the user gives, sharing, seeks
// and their error report, bad pointers and counts, and saving to the
// destination file, where a failure must not pass for a saved file. The stream
// table's tests cover the plain seeks and names and the ANSI getters.
#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>

#include "engine/InputStream.h"
#include "engine/OutputStream.h"
#include "engine/ProgressLines.h"
#include "engine/TransformProgress.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

// Bytes 0, 1, 2, ... wrapping at 251, so that a misplaced chunk shows.
std::vector<char> Pattern(size_t size) {
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

// Data in a vector. Once FailReadAfter bytes were delivered, reads answer -1
// (or raise with ThrowOnFail). Counts reads; reports its destruction.
class TMemStream : public TStream {
public:
  explicit TMemStream(std::vector<char> data = {}) : Data(std::move(data)) {}
  ~TMemStream() override { if (Destroyed) *Destroyed = true; }
  int64_t GetSize() override { return ClaimedSize >= 0 ? ClaimedSize : static_cast<int64_t>(Data.size()); }
  void SetSize(int64_t size) override { Data.resize(static_cast<size_t>(size)); }
  int32_t Read(void* buffer, int32_t count) override {
    ++ReadCalls;
    if (FailReadAfter >= 0 && Position >= FailReadAfter) {
      if (ThrowOnFail) throw EZvError(L"read failed");
      return -1;
    }
    const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(std::ssize(Data) - Position, 0, count));
    std::memcpy(buffer, Data.data() + Position, n);
    Position += n;
    return n;
  }
  int32_t Write(const void*, int32_t) override { ADD_FAILURE() << "no test writes to the data"; return -1; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t target = offset + (origin == soCurrent ? Position : origin == soEnd ? GetSize() : 0);
    return target < 0 ? -1 : Position = target;
  }

  std::vector<char> Data;
  int64_t Position = 0;
  int64_t ClaimedSize = -1;  // a size that the data does not hold, when >= 0
  int64_t FailReadAfter = -1;
  bool ThrowOnFail = false;
  int ReadCalls = 0;
  bool* Destroyed = nullptr;
};

struct TFakePlugin : IPluginCallContext {
  std::wstring PluginName() override { return L"Fake Plugin"; }
  TPluginFile* GetPluginFile() override { return reinterpret_cast<TPluginFile*>(this); }
  const char* StoreAnsiString(const std::wstring&) override { return nullptr; }
};

// Also checks how the streams fill the record, and lets a test act while a report is made.
struct TFakeErrorEntry : TRecordingErrorEntry {
  void ReportError(TPluginFile* file, const std::wstring& message, const TErrorStruct& error) override {
    EXPECT_EQ(error.Text, message);
    EXPECT_EQ(error.AdditionalInfo, L"");
    TRecordingErrorEntry::ReportError(file, message, error);
    if (OnReport) OnReport();
  }
  std::function<void()> OnReport;
};

// The save's progress receiver and the panel's output line.
struct TFakeRun : ITransformProgress, IProgressLines {
  bool SetProgress(int32_t) override { return false; }
  void SetStatus(const char*) override {}
  bool SetWriteProgress(int32_t percent) override {
    if (Raise) throw EZvError(L"panel gone");
    Percents.push_back(percent);
    return static_cast<int>(Percents.size()) == AbortAtCall;
  }
  void SetLoadText(const std::wstring&) override {}
  void SetStatusText(const std::wstring&) override {}
  void SetProcessingText(const std::wstring&) override {}
  void SetInputText(const std::wstring&) override {}
  void SetOutputText(const std::wstring& text) override {
    Texts.push_back(text);
    if (OnText) OnText();
  }
  std::vector<int32_t> Percents;
  int AbortAtCall = 0;  // 1-based call that answers "abort"; 0 never
  bool Raise = false;
  std::vector<std::wstring> Texts;
  std::function<void()> OnText;
};

// Fails unless another thread can take the stream's lock (through
// GetPosition). A lock this thread still holds would block that thread for
// good, so the process then ends instead of hanging.
void ExpectLockFree(TGeneralStream& stream) {
  auto done = std::async(std::launch::async, [&stream] {
    int64_t position;
    stream.GetPosition(&position);
  });
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return;
  ADD_FAILURE() << "the stream's lock is still held";
  std::fflush(stdout);
  std::_Exit(3);
}

// Path|Name|Extension, to compare a whole record at once.
std::wstring Fields(const TGeneralStream& s) {
  const TFileProperties p = s.GetFileProperties();
  return p.Path + L"|" + p.Name + L"|" + p.Extension;
}

// Registers the fakes for one test and removes them after it.
class GeneralStream : public ::testing::Test {
protected:
  GeneralStream() { CurrentPluginContext = &Plugin, ActiveTransformManager = &Progress, ProgressLines = &Progress; }
  ~GeneralStream() override { CurrentPluginContext = nullptr, ActiveTransformManager = nullptr, ProgressLines = nullptr; }

  TFakePlugin Plugin;
  TFakeErrorEntry Errors;
  TFakeRun Progress;
  TMemStream* Mem = new TMemStream(Pattern(100));
  TOutputStream Out{std::unique_ptr<TStream>(Mem), {L"C:\\out", L"keep", L"a", L"txt"}};
};

}  // namespace

// What the plug-in's SetPath/SetName/SetExtension make of a text, starting
// from keep|a|txt.
TEST_F(GeneralStream, PluginTexts) {
  using TSetter = bool (TGeneralStream::*)(const char*);
  const TSetter path = &TGeneralStream::SetPathA, name = &TGeneralStream::SetNameA,
                extension = &TGeneralStream::SetExtensionA;
  const std::string ansi = WideToAnsi(L"caf\u00e9");
  struct { TSetter set; const char* text; bool accepted; std::wstring fields; } cases[] = {
      // One backslash trimmed at each end; ".." anywhere refused.
      {path, "\\\\x\\\\", true, L"\\x\\|a|txt"},
      {path, "\\", true, L"|a|txt"},
      {path, nullptr, true, L"|a|txt"},
      {path, "x/../../y", false, L"keep|a|txt"},
      // The name loses its directory (either slash) and the part after its last dot.
      {name, "../../evil.txt", true, L"keep|evil|txt"},
      {name, ".cfg", true, L"keep||txt"},
      {name, ansi.c_str(), true, L"keep|caf\u00e9|txt"},
      {name, nullptr, false, L"keep|a|txt"},
      {name, "", false, L"keep|a|txt"},
      // No extension at all.
      {extension, nullptr, true, L"keep|a|"},
  };
  for (const auto& c : cases) {
    TOutputStream out(std::make_unique<TMemStream>(), {L"C:\\out", L"keep", L"a", L"txt"});
    EXPECT_EQ((out.*c.set)(c.text), c.accepted) << (c.text ? c.text : "null");
    EXPECT_EQ(Fields(out), c.fields) << (c.text ? c.text : "null");
  }
}

// The user's own file name: split at the last dot, no length limit, no escape by slash.
TEST_F(GeneralStream, SetFileName) {
  const std::wstring longName(400, L'n');
  struct { std::wstring text, fields; } cases[] = {
      {L"dir\\x.tar.gz", L"keep|x.tar|gz"}, {L"nodot", L"keep|nodot|txt"}, {L"", L"keep|a|txt"},
      {longName + L".e", L"keep|" + longName + L"|e"},
  };
  for (const auto& c : cases) {
    TOutputStream out(std::make_unique<TMemStream>(), {L"C:\\out", L"keep", L"a", L"txt"});
    out.SetFileName(c.text);
    EXPECT_EQ(Fields(out), c.fields) << c.text;
  }
}

// 260 bytes without a terminator right before an inaccessible page: nothing
// beyond them may be read, and longer texts are cut there.
TEST_F(GeneralStream, PluginTextIsNeverReadBeyond260Bytes) {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  const DWORD page = info.dwPageSize;
  auto* base = static_cast<char*>(::VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old;
  ASSERT_TRUE(::VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
  char* text = base + page - 260;
  std::memset(text, 'q', 260);
  EXPECT_TRUE(Out.SetNameA(text));
  EXPECT_TRUE(Out.SetPathA(text));
  EXPECT_TRUE(Out.SetExtensionA(text));
  EXPECT_EQ(Out.GetFileProperties().Name, std::wstring(260, L'q'));
  ::VirtualFree(base, 0, MEM_RELEASE);
  const std::string longText(300, 'p');
  EXPECT_TRUE(Out.SetNameA(longText.c_str()));
  EXPECT_EQ(Out.GetFileProperties().Name, std::wstring(260, L'p'));
}

// Accepted plug-in renames show the new full name, outside the lock; refused
// ones and the user's own rename do not.
TEST_F(GeneralStream, OutputRenameShowsTheNewFullName) {
  Progress.OnText = [&] { ExpectLockFree(Out); };
  ASSERT_TRUE(Out.SetPathA("sub"));
  ASSERT_TRUE(Out.SetNameA("b.x"));
  ASSERT_TRUE(Out.SetExtensionA("dat"));
  EXPECT_FALSE(Out.SetPathA(".."));
  EXPECT_FALSE(Out.SetNameA(""));
  Out.SetFileName(L"quiet.bin");
  EXPECT_EQ(Progress.Texts, (std::vector<std::wstring>{L"C:\\out\\sub\\a.txt", L"C:\\out\\sub\\b.txt",
                                                         L"C:\\out\\sub\\b.dat"}));
  ProgressLines = nullptr;
  EXPECT_TRUE(Out.SetNameA("z"));
}

// A sharer starts reading at the beginning, keeps names of its own, and the
// data lives until the last sharer goes.
TEST_F(GeneralStream, SharedDataLivesUntilTheLastSharer) {
  bool destroyed = false;
  auto* mem = new TMemStream(Pattern(10));
  mem->Destroyed = &destroyed;
  auto first = std::make_unique<TOutputStream>(std::unique_ptr<TStream>(mem), TFileProperties{L"C:", L"", L"x", L""});
  ASSERT_TRUE(first->Seek(0, smFromEnd));
  auto second = std::make_unique<TInputStream>(CreateShared, *first);
  ASSERT_TRUE(first->SetNameA("renamed"));
  EXPECT_EQ(second->GetFullName(), L"C:\\x.");
  first.reset();
  EXPECT_FALSE(destroyed);
  char buffer[10];
  EXPECT_EQ(second->Read(buffer, 10), 10);
  EXPECT_EQ(std::vector<char>(buffer, buffer + 10), Pattern(10));
  EXPECT_TRUE(second->IsEndOfStream());
  second.reset();
  EXPECT_TRUE(destroyed);
}

TEST_F(GeneralStream, SeekAndTheInvalidMoveTypeReport) {
  int64_t position = -1;
  EXPECT_TRUE(Out.Seek(-1, smFromEnd));
  EXPECT_FALSE(Out.Seek(-100, smFromCurrent));  // before the start
  EXPECT_TRUE(Errors.Reports.empty());

  // An unknown move type is reported to the running plug-in, outside the lock.
  Errors.OnReport = [&] { ExpectLockFree(Out); };
  EXPECT_FALSE(Out.Seek(0, 3));
  EXPECT_FALSE(Out.Seek(1, -1));
  EXPECT_TRUE(Out.GetPosition(&position));
  EXPECT_EQ(position, 99);
  ASSERT_EQ(Errors.Reports.size(), 2u);
  EXPECT_EQ(Errors.Reports[0].Message, L"TTransformStream.Seek (Fake Plugin): Invalid MoveType value (3).");
  EXPECT_EQ(Errors.Reports[0].Error.Code, 10003u);
  EXPECT_EQ(Errors.Reports[0].PluginFile, Plugin.GetPluginFile());
  EXPECT_EQ(Errors.Reports[1].Message, L"TTransformStream.Seek (Fake Plugin): Invalid MoveType value (-1).");
  // Without a running plug-in or an error entry: refused quietly.
  CurrentPluginContext = nullptr;
  EXPECT_FALSE(Out.Seek(0, 4));
  CurrentPluginContext = &Plugin;
  GlobalErrorEntry = nullptr;
  EXPECT_FALSE(Out.Seek(0, 4));
  EXPECT_EQ(Errors.Reports.size(), 2u);
}

TEST_F(GeneralStream, BadPointersAndCountsNeverReachTheData) {
  char buffer[4];
  EXPECT_FALSE(Out.GetSize(nullptr));
  EXPECT_FALSE(Out.GetPosition(nullptr));
  EXPECT_EQ(Out.Read(nullptr, 4), -1);
  EXPECT_EQ(Out.Read(buffer, -5), -1);
  EXPECT_EQ(Out.Write(nullptr, 4), -1);
  EXPECT_EQ(Out.Write(buffer, -5), -1);
  EXPECT_EQ(Out.Read(nullptr, 0), 0);
  EXPECT_EQ(Mem->ReadCalls, 1);
  EXPECT_THROW(TOutputStream(std::unique_ptr<TStream>(), {L"C:", L"", L"x", L""}), EZvError);
}

TEST_F(GeneralStream, SaveToFile) {
  using TSetup = std::function<void(const TTempDir&, TMemStream&, TOutputStream&)>;
  const TSetup none = [](auto&...) {};
  enum TFile { Saved, Gone, Left };  // what is at the destination afterwards
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
      {"missing directories made", 1000, L"a\\b\\c\\d", none, srSaved, {100}, 1, Saved},
      {"abort on the last chunk", 600000, L"", [this](auto&...) { Progress.AbortAtCall = 3; }, srAborted,
       {44, 87, 100}, 3, Gone},
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
      {"progress receiver raises", 1000, L"", [this](auto&...) { Progress.Raise = true; }, srFailed, {}, 1, Gone},
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
      const std::vector<char> data = Pattern(c.size);
      EXPECT_EQ(ReadFileBytes(file), std::vector<unsigned char>(data.begin(), data.end()));
    }
    EXPECT_EQ(FileExists(file), c.file != Gone);
    ExpectLockFree(out);
  }
}
