// The mixed stream's layout rules: where the data goes (memory, overflow file),
// when the file comes and goes, and what the random model run cannot reach:
// refused counts and origins, a file that cannot be made and the file part
// beyond 2 GiB.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>
#include <vector>

#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::ListFiles;
using zvtest::MiB;
using zvtest::TRunMemory;
using zvtest::TTempDir;

namespace {

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

}  // namespace

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
