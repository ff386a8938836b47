// Data operations of the plug-in streams: sharing and its lifetime, seeking
// and its error report, bad pointers and counts. A stream read from its file
// is every pipe run's input, and the lock's release after a raising read is
// a row of the save tests.
#include "StreamFakes.h"
#include "engine/InputStream.h"
#include "engine/OutputStream.h"

using namespace zv;
using namespace zvtest;

namespace {

class StreamData : public TStreamTest {
protected:
  TMemStream* Mem = new TMemStream(Pattern(100));
  TOutputStream Out{std::unique_ptr<TStream>(Mem), {L"C:\\out", L"", L"a", L"txt"}};

  int64_t Position() {
    int64_t p = -1;
    EXPECT_TRUE(Out.GetPosition(&p));
    return p;
  }
};

}  // namespace

// Plain seeks are the stream table's rows.
TEST_F(StreamData, SeekAndTheInvalidMoveTypeReport) {
  EXPECT_TRUE(Out.Seek(-1, smFromEnd));
  EXPECT_FALSE(Out.Seek(-100, smFromCurrent));  // before the start
  EXPECT_EQ(Position(), 99);
  EXPECT_TRUE(Errors.Reports.empty());

  // An unknown move type is reported to the running plug-in, outside the lock.
  Errors.OnReport = [&] { ExpectLockFree(Out); };
  EXPECT_FALSE(Out.Seek(0, 3));
  EXPECT_FALSE(Out.Seek(1, -1));
  EXPECT_EQ(Position(), 99);
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

TEST_F(StreamData, BadPointersAndCountsNeverReachTheData) {
  char buffer[4];
  EXPECT_FALSE(Out.GetSize(nullptr));
  EXPECT_FALSE(Out.GetPosition(nullptr));
  EXPECT_EQ(Out.Read(nullptr, 4), -1);
  EXPECT_EQ(Out.Read(buffer, -5), -1);
  EXPECT_EQ(Out.Write(nullptr, 4), -1);
  EXPECT_EQ(Out.Write(buffer, -5), -1);
  EXPECT_EQ(Out.Read(nullptr, 0), 0);
  EXPECT_EQ(Mem->ReadCalls, 1);
  EXPECT_EQ(Mem->Data, Pattern(100));
  EXPECT_THROW(TOutputStream(std::unique_ptr<TStream>(), {L"C:", L"", L"x", L""}), EZvError);
}

// A sharer starts reading at the beginning, keeps names of its own, and the
// data lives until the last sharer goes.
TEST_F(StreamData, SharedDataLivesUntilTheLastSharer) {
  bool destroyed = false;
  auto* mem = new TMemStream(Pattern(10));
  mem->Destroyed = &destroyed;
  auto first = std::make_unique<TOutputStream>(std::unique_ptr<TStream>(mem), TFileProperties{L"C:", L"", L"x", L""});
  ASSERT_TRUE(first->Seek(0, smFromEnd));
  auto second = std::make_unique<TInputStream>(CreateShared, *first);
  EXPECT_EQ(second->GetFullName(), L"C:\\x.");
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
