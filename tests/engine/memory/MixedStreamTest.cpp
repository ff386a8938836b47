// The run's memory set-up from the options; long random runs of the mixed
// stream checked against a plain byte vector; and its layout rules: where the
// data goes (memory, overflow file), when the file comes and goes (also when
// the process is killed), and what the random run cannot reach: refused counts
// and origins, a file that cannot be made and the file part beyond 2 GiB.
#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "config/SettingsManager.h"
#include "engine/MixedStream.h"
#include "platform/FileSystem.h"
#include "platform/WinHandle.h"
#include "support/ChildTest.h"
#include "support/GuiDriver.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

constexpr uint32_t MiB = MemoryBlockSize;

// Sets up the globals a pipe run gives its streams, with a chosen allocator.
class TRunMemory {
public:
  // slots < 0: no allocator, every stream lives in its overflow file.
  TRunMemory(int32_t slots, const std::wstring& tempFolder, int32_t heapBlockLimit = -1) {
    if (slots >= 0)
      GlobalMemoryManager = std::make_unique<TMemoryManager>(slots * MiB, heapBlockLimit);
    MemoryLock = std::make_unique<TCriticalSection>();
    StreamTempFolder = tempFolder;
  }
  ~TRunMemory() {
    DoneMemoryManagement();
    StreamTempFolder.clear();
  }
};

std::vector<char> Pattern(size_t size, uint32_t seed) {
  std::vector<char> data(size);
  uint32_t x = 2463534242u + seed;
  for (char& c : data) {
    x ^= x << 13; x ^= x >> 17; x ^= x << 5;
    c = static_cast<char>(x);
  }
  return data;
}

std::vector<char> Slice(const std::vector<char>& data, size_t from, size_t count) {
  return {data.begin() + from, data.begin() + from + count};
}

std::vector<char> ReadAt(TMixedStream& s, int64_t position, size_t count) {
  std::vector<char> data(count);
  EXPECT_EQ(s.Seek(position, soBeginning), position);
  EXPECT_EQ(s.Read(data.data(), static_cast<int32_t>(count)), static_cast<int32_t>(count));
  return data;
}

void WriteAll(TMixedStream& s, const std::vector<char>& data) {
  ASSERT_EQ(s.Write(data.data(), static_cast<int32_t>(data.size())), static_cast<int32_t>(data.size()));
}

class MixedStreamTest : public ::testing::Test {
protected:
  size_t OverflowFiles() const { return ListFiles(Dir.Path(), L"zvq*").size(); }
  TTempDir Dir;
};

// Long random runs of writes, reads, chunk saves, seeks and size changes,
// checked step by step against a plain byte vector. Holes and gaps read as
// zeros, so every byte is compared: none of an earlier stream may show.
// Collects what a chunk save writes.
struct TSink : TStream {
  std::vector<char> Bytes;
  void SetSize(int64_t) override {}
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void* data, int32_t count) override {
    Bytes.insert(Bytes.end(), static_cast<const char*>(data), static_cast<const char*>(data) + count);
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return std::ssize(Bytes); }
};

struct TSubject {
  TMixedStream Stream;
  std::vector<char> Bytes;  // grown with zeros, as holes and gaps read
  int64_t Position = 0;

  int64_t Size() const { return std::ssize(Bytes); }
};

class TRandomRun {
public:
  explicit TRandomRun(uint32_t seed) : FRandom(seed), FBuffer(MaxCount) {}

  void Step(TSubject& s) {
    const int64_t op = Pick(0, 99);
    if (op < 35) Write(s, PickCount());
    else if (op < 55) ReadAndCompare(s, PickCount());
    else if (op < 65) SaveChunkAndCompare(s, PickCount());
    else if (op < 90) Seek(s);
    else SetSize(s);
  }

  // Reads the whole stream back and restores the position.
  void CheckAll(TSubject& s) {
    const int64_t saved = s.Position;
    EXPECT_EQ(s.Stream.Seek(0, soCurrent), saved);
    ASSERT_EQ(s.Stream.Seek(0, soBeginning), 0);
    for (s.Position = 0; s.Position < s.Size() && !::testing::Test::HasFailure();) ReadAndCompare(s, MaxCount);
    EXPECT_EQ(s.Stream.Seek(saved, soBeginning), saved);
    s.Position = saved;
  }

private:
  static constexpr int64_t MaxSize = 12 * MiB;
  static constexpr int32_t MaxCount = 768 * 1024;

  int64_t Pick(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(FRandom); }
  int32_t PickCount() {
    const int64_t limits[] = {16, 4096, MaxCount, MaxCount};
    return static_cast<int32_t>(Pick(0, limits[Pick(0, 3)]));
  }
  // Often right at block and split boundaries, where the faults hide.
  int64_t PickPosition(const TSubject& s) {
    switch (Pick(0, 4)) {
      case 0: return Pick(0, s.Size());
      case 1: return Pick(0, MaxSize);
      case 2: return std::max<int64_t>(0, Pick(0, MaxSize / MiB) * MiB + Pick(-3, 3));
      case 3: return s.Stream.GetMemoryCapacity() + Pick(-2, 2);
      default: return s.Size();
    }
  }

  void Write(TSubject& s, int32_t count) {
    count = static_cast<int32_t>(std::clamp<int64_t>(MaxSize - s.Position, 0, count));
    for (int32_t i = 0; i < count; ++i) FBuffer[i] = static_cast<char>(FRandom());
    EXPECT_EQ(s.Stream.Write(FBuffer.data(), count), count) << "write at " << s.Position;
    if (count == 0) return;  // the stream stores nothing, not even a gap
    if (s.Position + count > s.Size()) s.Bytes.resize(s.Position + count);
    std::copy_n(FBuffer.begin(), count, s.Bytes.begin() + s.Position);
    s.Position += count;
    EXPECT_EQ(s.Stream.GetSize(), s.Size());
  }

  void ReadAndCompare(TSubject& s, int32_t count) {
    const int32_t expected = static_cast<int32_t>(std::clamp<int64_t>(s.Size() - s.Position, 0, count));
    ASSERT_EQ(s.Stream.Read(FBuffer.data(), count), expected) << "read at " << s.Position;
    for (int32_t i = 0; i < expected; ++i) ASSERT_EQ(FBuffer[i], s.Bytes[s.Position + i]) << "byte " << s.Position + i;
    s.Position += expected;
  }

  // A save hands over what Read would deliver, straight from a memory block
  // where the chunk lies whole in one.
  void SaveChunkAndCompare(TSubject& s, int32_t count) {
    const int32_t expected = static_cast<int32_t>(std::clamp<int64_t>(s.Size() - s.Position, 0, count));
    TSink sink;
    ASSERT_EQ(s.Stream.WriteChunkTo(sink, FBuffer.data(), count), expected) << "save at " << s.Position;
    ASSERT_EQ(std::ssize(sink.Bytes), expected);
    ASSERT_TRUE(std::equal(sink.Bytes.begin(), sink.Bytes.end(), s.Bytes.begin() + s.Position))
        << "save at " << s.Position;
    s.Position += expected;
  }

  void Seek(TSubject& s) {
    const int64_t target = Pick(0, 9) == 0 ? -Pick(1, 100) : PickPosition(s);
    const auto origin = static_cast<TSeekOrigin>(Pick(0, 2));
    const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? s.Position : s.Size();
    EXPECT_EQ(s.Stream.Seek(target - base, origin), target < 0 ? -1 : target);
    if (target >= 0) s.Position = target;
  }

  void SetSize(TSubject& s) {
    int64_t size = Pick(0, 3) == 0 ? Pick(0, s.Size() / 4) : PickPosition(s);
    if (Pick(0, 20) == 0) size = -1;
    s.Stream.SetSize(size);
    if (size >= 0 && size != s.Size()) {
      s.Bytes.resize(size);
      s.Position = size;
    }
    EXPECT_EQ(s.Stream.GetSize(), s.Size()) << "set size " << size;
  }

  std::mt19937 FRandom;
  std::vector<char> FBuffer;
};

}  // namespace

// Three streams side by side, so they compete for the budget and the partial
// grants differ from spill to spill. Fixed seeds: a failure repeats.
TEST(MixedStreamModel, MatchesAByteVector) {
  struct { const char* name; int32_t slots, heapBlockLimit; uint32_t seed; } configs[] = {
      {"tiny budget", 5, -1, 20261206},
      {"tiny budget, heap exhausted", 8, 3, 7},
      {"no budget", -1, -1, 424242},
  };
  for (const auto& c : configs) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    TRunMemory memory(c.slots, dir.Path(), c.heapBlockLimit);
    TRandomRun run(c.seed);
    TSubject subjects[3];
    for (int step = 0; step < 2000 && !::testing::Test::HasFailure(); ++step) {
      SCOPED_TRACE(step);
      run.Step(subjects[step % 7 == 0 ? 1 : step % 11 == 0 ? 2 : 0]);
      if (step % 200 == 199 || step == 1999)
        for (TSubject& each : subjects) run.CheckAll(each);
    }
  }
}

TEST_F(MixedStreamTest, SpillsWhatTheAllocatorCannotHoldAndShrinksBack) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s, second;
  const std::vector<char> data = Pattern(11 * MiB, 2);
  WriteAll(s, data);
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);  // one allocation holds at most 9 of the 10 slots
  ASSERT_TRUE(s.HasOverflowFile());
  // The tenth slot is left for the second stream; then both spill.
  WriteAll(second, Slice(data, 0, 3 * MiB));
  EXPECT_EQ(second.GetMemoryCapacity(), MiB);
  EXPECT_TRUE(second.HasOverflowFile());
  EXPECT_EQ(GetMemoryUsagePercent(), 100);
  // Once the file exists, memory does not grow any more, even when slots free up.
  second.SetSize(0);
  EXPECT_EQ(GlobalMemoryManager->FreeSlotCount(), 1);
  EXPECT_EQ(s.Seek(0, soEnd), 11 * MiB);
  WriteAll(s, Slice(data, 0, 100));
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);

  s.SetSize(10 * MiB);  // above the memory capacity: the file stays
  EXPECT_TRUE(s.HasOverflowFile());
  s.SetSize(5 * MiB + 7);  // into the memory part: the file goes
  EXPECT_FALSE(s.HasOverflowFile());
  EXPECT_EQ(OverflowFiles(), 0u);  // the second stream dropped its file at SetSize(0)
  EXPECT_EQ(s.GetMemoryCapacity(), 5 * MiB + 7);
  EXPECT_EQ(ReadAt(s, 0, 5 * MiB + 7), Slice(data, 0, 5 * MiB + 7));
  s.SetSize(0);  // all memory back
  EXPECT_EQ(GlobalMemoryManager->FreeSlotCount(), 10);
}

TEST_F(MixedStreamTest, RefusedCountsAndOrigins) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s;
  WriteAll(s, Pattern(64, 8));
  EXPECT_EQ(s.Seek(10, soBeginning), 10);
  // Overflowing sums and negative counts are refused; nothing moves.
  EXPECT_EQ(s.Seek(INT64_MAX, soCurrent), -1);
  char buffer[16] = {};
  EXPECT_EQ(s.Write(buffer, -1), -1);
  EXPECT_EQ(s.Read(buffer, INT32_MIN), -1);
  EXPECT_EQ(s.GetPosition(), 10);
  EXPECT_EQ(s.GetSize(), 64);
  // An unknown origin (3 or above) stays where it is.
  EXPECT_EQ(s.Seek(1234, static_cast<TSeekOrigin>(3)), 10);
  EXPECT_EQ(s.Seek32(1234, 7), 10);
}

TEST_F(MixedStreamTest, AnOverflowFileThatCannotBeMadeFailsTheWrite) {
  TRunMemory run(10, Dir / L"missing");
  TMixedStream s;
  const std::vector<char> data = Pattern(10 * MiB, 9);
  EXPECT_EQ(s.Write(data.data(), 10 * MiB), -1);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  WriteAll(s, Slice(data, 0, 9 * MiB));  // fits in memory: no file needed
  // A later write tries again.
  StreamTempFolder = Dir.Path();
  WriteAll(s, Slice(data, 9 * MiB, MiB));
  EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  EXPECT_EQ(OverflowFiles(), 1u);
}

// The file part is positioned with 64-bit offsets, so it reaches beyond 2 GiB
// (and 4 GiB); the overflow file is sparse there. A read through a hole moves
// the position but not the file, so a write after it must still land in place.
TEST_F(MixedStreamTest, OverflowFileBeyondTwoGibibytesAndAfterHoles) {
  for (int32_t slots : {-1, 10}) {
    SCOPED_TRACE(slots);
    TRunMemory run(slots, Dir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(10 * MiB, 10);
    WriteAll(s, data);
    s.SetSize(12 * MiB);
    std::vector<char> buffer(1000);
    EXPECT_EQ(s.Seek(10 * MiB - 5, soBeginning), 10 * MiB - 5);
    ASSERT_EQ(s.Read(buffer.data(), 1000), 1000);  // 5 data bytes, then the hole
    WriteAll(s, Slice(data, 0, 3));
    EXPECT_EQ(ReadAt(s, 10 * MiB + 995, 3), Slice(data, 0, 3));

    const int64_t threeGiB = (3ll << 30) + 12345, fiveGiB = (5ll << 30) + 7;
    const std::vector<char> beyond = Slice(data, 0, 6), further = Slice(data, 6, 7);
    EXPECT_EQ(s.Seek(threeGiB, soBeginning), threeGiB);
    WriteAll(s, beyond);
    EXPECT_EQ(s.Seek(fiveGiB, soBeginning), fiveGiB);
    WriteAll(s, further);
    EXPECT_EQ(s.GetSize(), fiveGiB + 7);
    EXPECT_EQ(s.Seek32(0, soCurrent), static_cast<int32_t>(fiveGiB + 7));  // cut to 32 bits
    EXPECT_EQ(ReadAt(s, threeGiB, 6), beyond);
    EXPECT_EQ(ReadAt(s, fiveGiB, 7), further);
    EXPECT_EQ(ReadAt(s, threeGiB - 3, 3), std::vector<char>(3, 0));  // the gap
    s.SetSize(10 * MiB);  // shrunk below 2 GiB: read back across the split
    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  }
}

TEST(MemoryBudget, ComputeMemoryBudget) {
  constexpr uint64_t Plenty = 23ull << 30;
  constexpr uint32_t Range2G = 0x7FFEFFFF, Range4G = 0xFFFEFFFF;  // from 0x10000: 2147352575 bytes / 4 GiB
  struct { bool enabled; int32_t usage; uint64_t availPhys; uint32_t maxAddress; uint32_t budget; } cases[] = {
      // A share of the smaller of address range and free memory, halves to even.
      {true, 75, Plenty, Range2G, 1610514431u},  // .25 rounds down
      {true, 50, 10 * MiB + 1, Range2G, 5 * MiB},      // 5242880.5, just the minimum
      {true, 50, 10 * MiB + 3, Range2G, 5 * MiB + 2},  // 5242881.5
      // Off, not positive, or below the 5 MiB an allocator needs.
      {false, 75, Plenty, Range2G, 0},
      {true, 0, Plenty, Range2G, 0},
      {true, 50, 10 * MiB - 2, Range2G, 0},
      // A stored usage above 100 is taken as given but bounded to 32 bits.
      {true, 150, 1000 * MiB, Range2G, 1500 * MiB},
      {true, 100, Plenty, Range4G, 0xFFFDFFFFu},
      {true, 0x7FFFFFFF, Plenty, Range4G, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    const TMemoryBudgetInput input{c.enabled, c.usage, c.availPhys, 0x10000, c.maxAddress};
    EXPECT_EQ(ComputeMemoryBudget(input), c.budget)
        << c.enabled << " " << c.usage << "% of " << c.availPhys << " / " << c.maxAddress;
  }
}

TEST_F(MixedStreamTest, InitFollowsTheOptionsOrTheirDefaults) {
  ASSERT_EQ(GlobalSettingsManager, nullptr);
  InitMemoryManagement();
  ASSERT_NE(GlobalMemoryManager, nullptr);  // 75 % of what this machine has is far above 5 MiB
  EXPECT_GT(GlobalMemoryManager->SlotCount(), 5);
  EXPECT_EQ(StreamTempFolder, SystemTempFolder());
  DoneMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_EQ(MemoryLock, nullptr);
  EXPECT_EQ(GetMemoryUsagePercent(), 0);

  TSettingsManager settings(Dir / L"Zentavo.cfg");
  ASSERT_TRUE(settings.HasConfigFile());
  GlobalSettingsManager = &settings;
  struct TRestore { ~TRestore() { GlobalSettingsManager = nullptr; } } restore;
  settings.SetTempFolder(Dir.Path());

  settings.SetMemEnabled(false);
  InitMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_NE(MemoryLock, nullptr);
  {
    // Every stream of such a run lives in its overflow file, in the chosen
    // folder, and the file goes with the stream.
    TMixedStream stream;
    ASSERT_EQ(stream.Write("abc", 3), 3);
    EXPECT_EQ(OverflowFiles(), 1u);
  }
  EXPECT_EQ(OverflowFiles(), 0u);
  DoneMemoryManagement();

  settings.SetMemEnabled(true);
  // An empty or missing folder would fail every spill: the system's folder serves.
  for (const std::wstring& unusable : {std::wstring(), Dir / L"missing"}) {
    settings.SetTempFolder(unusable);
    InitMemoryManagement();
    EXPECT_EQ(StreamTempFolder, SystemTempFolder());
    DoneMemoryManagement();
  }
  StreamTempFolder.clear();
}

// A stream left over after its run keeps reading its own memory, also while a
// later run allocates anew.
TEST_F(MixedStreamTest, AStreamOutlivingItsRunKeepsItsMemory) {
  std::unique_ptr<TMixedStream> late;
  {
    TRunMemory run(10, Dir.Path());
    late = std::make_unique<TMixedStream>();
    ASSERT_EQ(late->Write("late", 4), 4);
    EXPECT_EQ(StreamsHoldingMemory(), 1);
  }
  TRunMemory next(10, Dir.Path());
  TMixedStream fresh;
  ASSERT_EQ(fresh.Write("next", 4), 4);
  char text[4] = {};
  EXPECT_EQ(late->Seek(0, soBeginning), 0);
  EXPECT_EQ(late->Read(text, 4), 4);
  EXPECT_EQ(std::string(text, 4), "late");
  late.reset();
  EXPECT_EQ(StreamsHoldingMemory(), 1);
}

constexpr wchar_t FolderVariable[] = L"ZV_TEST_OVERFLOW_FOLDER";

// Run only as the child of the test below: holds an overflow file until killed.
TEST(MixedStreamChild, HoldsAnOverflowFile) {
  wchar_t folder[MAX_PATH];
  if (::GetEnvironmentVariableW(FolderVariable, folder, MAX_PATH) == 0) GTEST_SKIP();
  TRunMemory run(-1, folder);
  TMixedStream s;
  ASSERT_EQ(s.Write("held", 4), 4);
  ::Sleep(60000);  // the parent kills us long before this ends
}

// A host that crashes or is killed must not leave overflow files behind: the
// file goes away with the last handle, whoever closes it.
TEST_F(MixedStreamTest, AKilledProcessLeavesNoOverflowFile) {
  const TChildTest child = StartChildTest(L"MixedStreamChild.HoldsAnOverflowFile", FolderVariable, Dir.Path());
  ASSERT_TRUE(child.Process);
  {
    struct TKiller {  // ends the child on every exit path of the test
      HANDLE Process;
      ~TKiller() { ::TerminateProcess(Process, 9), ::WaitForSingleObject(Process, 10000); }
    } killer{child.Process.Get()};
    ASSERT_NO_THROW(WaitUntil([&] { return OverflowFiles() == 1; }, "the child's overflow file", 30000));
  }
  EXPECT_NO_THROW(WaitUntil([&] { return OverflowFiles() == 0; }, "no file", 5000));
}
