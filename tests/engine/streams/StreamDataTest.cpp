// Data operations of the plug-in streams: sharing and its lifetime, seeking
// and its error report, the input stream's refusals, the lock rules.
#include <windows.h>

#include "StreamFakes.h"
#include "engine/InputStream.h"
#include "engine/OutputStream.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

class StreamData : public TStreamTest {
protected:
  TMemStream* Mem = new TMemStream(Pattern(100));
  TOutputStream Out{std::unique_ptr<TStream>(Mem), Props(L"C:\\out", L"", L"a", L"txt")};

  int64_t Position() {
    int64_t p = -1;
    EXPECT_TRUE(Out.GetPosition(&p));
    return p;
  }
};

TEST_F(StreamData, SizeAndPositionNeedAnOutPointer) {
  EXPECT_FALSE(Out.GetSize(nullptr));
  EXPECT_FALSE(Out.GetPosition(nullptr));
  int64_t size = 0;
  EXPECT_TRUE(Out.GetSize(&size));
  EXPECT_EQ(size, 100);
}

TEST_F(StreamData, SeekByMoveType) {
  EXPECT_TRUE(Out.Seek(10, smFromBeginning));
  EXPECT_TRUE(Out.Seek(5, smFromCurrent));
  EXPECT_EQ(Position(), 15);
  EXPECT_TRUE(Out.Seek(-1, smFromEnd));
  EXPECT_EQ(Position(), 99);
  EXPECT_FALSE(Out.Seek(-1, smFromBeginning));
  EXPECT_EQ(Position(), 99);
  EXPECT_TRUE(Errors.Reports.empty());
}

TEST_F(StreamData, SeekWithBadMoveTypeReports10003) {
  ASSERT_TRUE(Out.Seek(7, smFromBeginning));
  bool lockFree = false;
  Errors.OnReport = [&] { lockFree = TLockProbe(Out).FinishedSoon(); };
  EXPECT_FALSE(Out.Seek(0, 3));
  EXPECT_FALSE(Out.Seek(1, -1));
  EXPECT_EQ(Position(), 7);
  ASSERT_EQ(Errors.Reports.size(), 2u);
  const TReportedError& r = Errors.Reports[0];
  EXPECT_EQ(r.Message, L"TTransformStream.Seek (Fake Plugin): Invalid MoveType value (3).");
  EXPECT_EQ(r.Error.Code, 10003u);
  EXPECT_EQ(r.Error.Text, r.Message);
  EXPECT_EQ(r.Error.AdditionalInfo, L"");
  EXPECT_EQ(r.PluginFile, Plugin.PluginFile());
  EXPECT_EQ(Errors.Reports[1].Message,
            L"TTransformStream.Seek (Fake Plugin): Invalid MoveType value (-1).");
  EXPECT_TRUE(lockFree);
}

TEST_F(StreamData, BadMoveTypeOutsideAPluginCallIsRefusedQuietly) {
  CurrentPluginContext = nullptr;
  EXPECT_FALSE(Out.Seek(0, 4));
  EXPECT_TRUE(Errors.Reports.empty());
  CurrentPluginContext = &Plugin;
  GlobalErrorEntry = nullptr;
  EXPECT_FALSE(Out.Seek(0, 4));
}

TEST_F(StreamData, EndOfStream) {
  EXPECT_FALSE(Out.IsEndOfStream());
  ASSERT_TRUE(Out.Seek(0, smFromEnd));
  EXPECT_TRUE(Out.IsEndOfStream());
  TOutputStream empty(std::make_unique<TMemStream>(), Props(L"C:", L"", L"e", L""));
  EXPECT_TRUE(empty.IsEndOfStream());
}

TEST_F(StreamData, ReadAndWritePassThrough) {
  char buffer[8] = {};
  ASSERT_TRUE(Out.Seek(98, smFromBeginning));
  EXPECT_EQ(Out.Read(buffer, 8), 2);
  EXPECT_EQ(buffer[0], 98);
  EXPECT_EQ(Out.Write("xyz", 3), 3);
  int64_t size = 0;
  Out.GetSize(&size);
  EXPECT_EQ(size, 103);
  EXPECT_TRUE(Out.SetSize(50));
  Out.GetSize(&size);
  EXPECT_EQ(size, 50);
  EXPECT_THROW(Out.SetSize(-1), EZvError);  // the data stream's exception passes
}

TEST_F(StreamData, BadBuffersNeverReachTheData) {
  char buffer[4];
  EXPECT_EQ(Out.Read(nullptr, 4), -1);
  EXPECT_EQ(Out.Read(buffer, -5), -1);
  EXPECT_EQ(Out.Write(nullptr, 4), -1);
  EXPECT_EQ(Out.Write(buffer, -5), -1);
  EXPECT_EQ(Mem->ReadCalls, 0);
  EXPECT_EQ(Mem->Data.size(), 100u);
  EXPECT_EQ(Out.Read(nullptr, 0), 0);
}

TEST_F(StreamData, SharedReaderStartsAtTheBeginning) {
  ASSERT_TRUE(Out.Seek(0, smFromEnd));
  TInputStream in(CreateShared, Out);
  char first[3] = {};
  ASSERT_EQ(in.Read(first, 3), 3);
  EXPECT_EQ(first[2], 2);
}

TEST_F(StreamData, SharedDataLivesUntilTheLastSharer) {
  bool destroyed = false;
  auto* mem = new TMemStream(Pattern(10));
  mem->Destroyed = &destroyed;
  auto first = std::make_unique<TOutputStream>(std::unique_ptr<TStream>(mem), Props(L"C:", L"", L"x", L""));
  auto second = std::make_unique<TInputStream>(CreateShared, *first);
  first.reset();
  EXPECT_FALSE(destroyed);
  char buffer[10];
  EXPECT_EQ(second->Read(buffer, 10), 10);
  EXPECT_EQ(buffer[9], 9);
  EXPECT_TRUE(second->IsEndOfStream());
  second.reset();
  EXPECT_TRUE(destroyed);
}

TEST_F(StreamData, NullDataIsRefused) {
  EXPECT_THROW(TOutputStream(std::unique_ptr<TStream>(), Props(L"C:", L"", L"x", L"")), EZvError);
}

// Each refusal raises with its message and leaves name, size and content alone.
TEST_F(StreamData, InputStreamRefusals) {
  TInputStream in(CreateShared, Out);
  const TFileProperties before = in.GetFileProperties();
  auto expectRefused = [](auto call, const wchar_t* message) {
    try {
      call();
      ADD_FAILURE() << "not refused";
    } catch (const EZvError& e) {
      EXPECT_EQ(e.Message(), message);
    }
  };
  expectRefused([&] { in.SetPathA("p"); }, L"Setting the path for the input stream is not allowed");
  expectRefused([&] { in.SetNameA("n"); }, L"Setting the name for the input stream is not allowed");
  expectRefused([&] { in.SetExtensionA("e"); },
                L"Setting the extension for the input stream is not allowed");
  expectRefused([&] { in.SetSize(1); }, L"Setting the size for the input stream is not allowed");
  expectRefused([&] { in.Write("w", 1); }, L"Writing in the input stream is not allowed");
  expectRefused([&] { in.SetPathA(nullptr); }, L"Setting the path for the input stream is not allowed");
  const TFileProperties after = in.GetFileProperties();
  EXPECT_EQ(after.Path, before.Path);
  EXPECT_EQ(after.Name, before.Name);
  EXPECT_EQ(after.Extension, before.Extension);
  EXPECT_EQ(Mem->Data, Pattern(100));
  EXPECT_TRUE(OutputLine.Texts.empty());
  // Reading stays allowed.
  char buffer[4];
  EXPECT_EQ(in.Read(buffer, 4), 4);
}

TEST_F(StreamData, LockIsHeldAroundTheData) {
  std::unique_ptr<TLockProbe> probe;
  bool finishedWhileHeld = true;
  Mem->OnRead = [&] {
    probe = std::make_unique<TLockProbe>(Out);
    finishedWhileHeld = probe->FinishedWithin(std::chrono::milliseconds(100));
  };
  char buffer[4];
  Out.Read(buffer, 4);
  EXPECT_FALSE(finishedWhileHeld);
  probe.reset();  // joins once the lock is free
}

TEST_F(StreamData, LockIsReleasedWhenTheDataRaises) {
  Mem->FailReadAfter = 0;
  Mem->ThrowOnFail = true;
  char buffer[4];
  EXPECT_THROW(Out.Read(buffer, 4), EZvError);
  EXPECT_TRUE(TLockProbe(Out).FinishedSoon());
}

TEST(StreamFromFile, ReadsTheFileAndLocksOthersOut) {
  TTempDir dir;
  WriteFileBytes(dir / L"in.dat", {1, 2, 3});
  TInputStream in(CreateFromFile, TFileProperties{dir.Path(), L"", L"in", L"dat"});
  unsigned char buffer[4] = {};
  EXPECT_EQ(in.Read(buffer, 4), 3);
  EXPECT_EQ(buffer[2], 3);
  HANDLE other = ::CreateFileW((dir / L"in.dat").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
}

TEST(StreamFromFile, MissingFileRaises) {
  TTempDir dir;
  EXPECT_THROW(TInputStream(CreateFromFile, TFileProperties{dir.Path(), L"", L"none", L"x"}),
               EZvOSError);
}

}  // namespace
