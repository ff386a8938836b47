// Saving a stream's data to its destination file: chunks, progress, abort,
// directories, and failures that must not pass for a saved file.
#include <windows.h>

#include "StreamFakes.h"
#include "engine/OutputStream.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

class SaveToFile : public TStreamTest {
protected:
  // An output over size pattern bytes, named dir\sub\out.bin; its data stream in Mem.
  std::unique_ptr<TOutputStream> Make(size_t size, const std::wstring& sub = L"") {
    Mem = new TMemStream(Pattern(size));
    return std::make_unique<TOutputStream>(std::unique_ptr<TStream>(Mem),
                                           Props(Dir.Path(), sub, L"out", L"bin"));
  }
  std::vector<unsigned char> Saved(const std::wstring& name = L"out.bin") {
    return ReadFileBytes(Dir / name);
  }
  static std::vector<unsigned char> Bytes(size_t size) {
    const std::vector<char> p = Pattern(size);
    return {p.begin(), p.end()};
  }

  TTempDir Dir;
  TMemStream* Mem = nullptr;
};

TEST_F(SaveToFile, EmptyStreamGivesEmptyFileWithoutProgress) {
  auto out = Make(0);
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_TRUE(FileExists(Dir / L"out.bin"));
  EXPECT_TRUE(Saved().empty());
  EXPECT_TRUE(Progress.Percents.empty());
  EXPECT_EQ(Mem->ReadCalls, 0);
}

TEST_F(SaveToFile, ExactlyOneChunkIsReadTwice) {
  auto out = Make(262144);
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Saved(), Bytes(262144));
  EXPECT_EQ(Mem->ReadCalls, 2);
  EXPECT_EQ(Progress.Percents, (std::vector<int32_t>{100, 100}));
}

TEST_F(SaveToFile, SavesFromTheStartWhereverThePositionWas) {
  auto out = Make(600000);
  ASSERT_TRUE(out->Seek(0, smFromEnd));
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Saved(), Bytes(600000));
  EXPECT_EQ(Progress.Percents, (std::vector<int32_t>{44, 87, 100}));
}

// 2 MiB gives exact halves after odd chunks: 12.5, 37.5, 62.5, 87.5.
TEST_F(SaveToFile, ProgressRoundsHalvesToEven) {
  auto out = Make(2097152);
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Progress.Percents, (std::vector<int32_t>{12, 25, 38, 50, 62, 75, 88, 100, 100}));
}

TEST_F(SaveToFile, WithoutAProgressReceiverTheSaveRunsThrough) {
  ActiveWriteProgress = nullptr;
  auto out = Make(300000);
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Saved(), Bytes(300000));
}

TEST_F(SaveToFile, ExistingFileIsReplaced) {
  WriteFileBytes(Dir / L"out.bin", std::vector<unsigned char>(5000, 0xEE));
  auto out = Make(10);
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Saved(), Bytes(10));
}

TEST_F(SaveToFile, AbortOnTheLastChunkDeletesTheFile) {
  auto out = Make(600000);
  Progress.AbortAtCall = 3;
  EXPECT_EQ(out->SaveToFile(), srAborted);
  EXPECT_FALSE(FileExists(Dir / L"out.bin"));
}

TEST_F(SaveToFile, AbortOnTheFirstChunkStopsReading) {
  auto out = Make(600000);
  Progress.AbortAtCall = 1;
  EXPECT_EQ(out->SaveToFile(), srAborted);
  EXPECT_EQ(Mem->ReadCalls, 1);
  EXPECT_FALSE(FileExists(Dir / L"out.bin"));
}

TEST_F(SaveToFile, MissingDirectoriesAreCreated) {
  auto out = Make(1000, L"a\\b\\c\\d");
  EXPECT_EQ(out->SaveToFile(), srSaved);
  EXPECT_EQ(Saved(L"a\\b\\c\\d\\out.bin"), Bytes(1000));
}

TEST_F(SaveToFile, DirectoryThatCannotBeCreated) {
  WriteFileBytes(Dir / L"blocker", {1});
  auto out = Make(1000, L"blocker\\below");
  EXPECT_EQ(out->SaveToFile(), srFailed);
  EXPECT_EQ(Mem->ReadCalls, 0);
  EXPECT_EQ(ReadFileBytes(Dir / L"blocker"), (std::vector<unsigned char>{1}));
}

TEST_F(SaveToFile, FileThatCannotBeCreated) {
  ASSERT_TRUE(::CreateDirectoryW((Dir / L"out.bin").c_str(), nullptr));
  auto out = Make(1000);
  EXPECT_EQ(out->SaveToFile(), srFailed);
  EXPECT_TRUE(Progress.Percents.empty());
}

// A read that fails midway used to count as the end of the data and the short
// file passed as saved.
TEST_F(SaveToFile, FailedReadIsNoSavedFile) {
  auto out = Make(600000);
  Mem->FailReadAfter = 262144;
  EXPECT_EQ(out->SaveToFile(), srFailed);
  EXPECT_EQ(Progress.Percents, (std::vector<int32_t>{44}));
  EXPECT_FALSE(FileExists(Dir / L"out.bin"));
}

TEST_F(SaveToFile, DataEndingBeforeItsSizeIsNoSavedFile) {
  auto out = Make(1000);
  Mem->ClaimedSize = 2000;
  EXPECT_EQ(out->SaveToFile(), srFailed);
  EXPECT_FALSE(FileExists(Dir / L"out.bin"));
}

TEST_F(SaveToFile, RaisingReadIsNoSavedFile) {
  auto out = Make(600000);
  Mem->FailReadAfter = 262144 * 2;
  Mem->ThrowOnFail = true;
  EXPECT_EQ(out->SaveToFile(), srFailed);
  EXPECT_FALSE(FileExists(Dir / L"out.bin"));
  EXPECT_TRUE(TLockProbe(*out).FinishedSoon());
}

TEST_F(SaveToFile, ProgressReceiverThatRaisesFails) {
  struct TRaising : IWriteProgress {
    bool SetWriteProgress(int32_t) override { throw EZvError(L"panel gone"); }
  } raising;
  ActiveWriteProgress = &raising;
  auto out = Make(1000);
  EXPECT_EQ(out->SaveToFile(), srFailed);
}

}  // namespace
