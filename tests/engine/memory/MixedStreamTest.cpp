// The mixed stream: memory first, the rest in an overflow file; sizes, holes,
// seeks and the file part beyond 2 GiB.
#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
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

int64_t FileSizeOf(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class MixedStreamTest : public ::testing::Test {
protected:
  size_t OverflowFiles() const { return ListFiles(Dir.Path(), L"zvq*").size(); }
  TTempDir Dir;
};

}  // namespace

TEST_F(MixedStreamTest, WithoutAllocatorTheDataLivesInTheOverflowFile) {
  TRunMemory run(-1, Dir.Path());
  {
    TMixedStream s;
    EXPECT_EQ(OverflowFiles(), 0u);
    const std::vector<char> data = Pattern(5000, 1);
    WriteAll(s, data);
    const std::vector<std::wstring> files = ListFiles(Dir.Path(), L"zvq*.tmp");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(s.OverflowFileName(), Dir / files[0]);
    EXPECT_EQ(ReadAt(s, 0, 5000), data);
    // SetSize(0) keeps the file; the data starts anew at 0.
    s.SetSize(0);
    EXPECT_TRUE(s.HasOverflowFile());
    EXPECT_EQ(s.GetDataEnd(), 0);
    EXPECT_EQ(s.GetPosition(), 0);
    char byte = 0;
    EXPECT_EQ(s.Read(&byte, 1), 0);
    WriteAll(s, Slice(data, 100, 50));
    EXPECT_EQ(s.GetSize(), 50);
    EXPECT_EQ(ReadAt(s, 0, 50), Slice(data, 100, 50));
  }
  EXPECT_EQ(OverflowFiles(), 0u);
}

TEST_F(MixedStreamTest, SpillsWhatTheAllocatorCannotHold) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s, second;
  const std::vector<char> data = Pattern(10 * MiB, 2);
  WriteAll(s, data);
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);  // one allocation holds at most 9 of the 10 slots
  ASSERT_TRUE(s.HasOverflowFile());
  EXPECT_EQ(FileSizeOf(s.OverflowFileName()), MiB);
  EXPECT_EQ(s.GetSize(), 10 * MiB);
  EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  EXPECT_EQ(ReadAt(s, 9 * MiB - 3, 10), Slice(data, 9 * MiB - 3, 10));  // across the split

  // The tenth slot is left for the second stream; then both spill.
  WriteAll(second, Slice(data, 0, 3 * MiB));
  EXPECT_EQ(second.GetMemoryCapacity(), MiB);
  EXPECT_TRUE(second.HasOverflowFile());
  EXPECT_EQ(ReadAt(second, 0, 3 * MiB), Slice(data, 0, 3 * MiB));
  EXPECT_EQ(GetMemoryUsagePercent(), 100);

  // Once the file exists, memory does not grow any more, even when slots free up.
  second.SetSize(0);
  EXPECT_EQ(GlobalMemoryManager->FreeSlotCount(), 1);
  EXPECT_EQ(s.Seek(0, soEnd), 10 * MiB);
  WriteAll(s, Slice(data, 0, 100));
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  EXPECT_EQ(FileSizeOf(s.OverflowFileName()), MiB + 100);
}

TEST_F(MixedStreamTest, ShrinkingWithAnAllocation) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(11 * MiB, 6);
  WriteAll(s, data);
  // Above the memory capacity: the file stays and the data is cut.
  s.SetSize(10 * MiB);
  EXPECT_TRUE(s.HasOverflowFile());
  EXPECT_EQ(s.GetPosition(), 10 * MiB);
  std::vector<char> tail(2 * MiB);
  EXPECT_EQ(s.Seek(9 * MiB, soBeginning), 9 * MiB);
  EXPECT_EQ(s.Read(tail.data(), 2 * MiB), static_cast<int32_t>(MiB));
  EXPECT_EQ(Slice(tail, 0, MiB), Slice(data, 9 * MiB, MiB));
  // Into the memory part: the file goes, the memory bytes stay.
  s.SetSize(5 * MiB + 7);
  EXPECT_FALSE(s.HasOverflowFile());
  EXPECT_EQ(OverflowFiles(), 0u);
  EXPECT_EQ(s.GetMemoryCapacity(), 5 * MiB + 7);
  EXPECT_EQ(ReadAt(s, 0, 5 * MiB + 7), Slice(data, 0, 5 * MiB + 7));
  // To zero: all memory back; writing again grows memory anew before spilling anew.
  s.SetSize(0);
  EXPECT_EQ(s.GetMemoryCapacity(), 0u);
  EXPECT_EQ(GlobalMemoryManager->FreeSlotCount(), 10);
  EXPECT_EQ(s.GetPosition(), 0);
  WriteAll(s, data);
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  EXPECT_EQ(ReadAt(s, 0, 11 * MiB), data);
}

TEST_F(MixedStreamTest, GrowingBySetSizeLeavesAHole) {
  for (int32_t slots : {-1, 10}) {
    SCOPED_TRACE(slots);
    TRunMemory run(slots, Dir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(100, 7);
    WriteAll(s, data);
    s.SetSize(1000);
    EXPECT_EQ(s.GetPosition(), 1000);
    EXPECT_EQ(s.GetDataEnd(), 100);
    std::vector<char> buffer(2000);
    EXPECT_EQ(s.Seek(100, soBeginning), 100);
    EXPECT_EQ(s.Read(buffer.data(), 300), 300);
    EXPECT_EQ(s.Read(buffer.data(), 2000), 600);
    EXPECT_EQ(s.GetPosition(), 1000);
    // Data and hole in one read: the data part is copied.
    EXPECT_EQ(s.Seek(90, soBeginning), 90);
    EXPECT_EQ(s.Read(buffer.data(), 20), 20);
    EXPECT_EQ(Slice(buffer, 0, 10), Slice(data, 90, 10));
    // Writing into the hole makes it data.
    EXPECT_EQ(s.Seek(500, soBeginning), 500);
    WriteAll(s, data);
    EXPECT_EQ(s.GetDataEnd(), 600);
    EXPECT_EQ(s.GetSize(), 1000);
    EXPECT_EQ(ReadAt(s, 500, 100), data);
    EXPECT_EQ(ReadAt(s, 0, 100), data);
  }
}

TEST_F(MixedStreamTest, SeekAndCountRules) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(64, 8);
  WriteAll(s, data);
  EXPECT_EQ(s.Seek(10, soBeginning), 10);
  // Negative targets, overflowing sums and negative counts are refused; nothing moves.
  EXPECT_EQ(s.Seek(-11, soCurrent), -1);
  EXPECT_EQ(s.Seek(-65, soEnd), -1);
  EXPECT_EQ(s.Seek(-1, soBeginning), -1);
  EXPECT_EQ(s.Seek(INT64_MAX, soCurrent), -1);
  char buffer[16] = {};
  EXPECT_EQ(s.Write(buffer, -1), -1);
  EXPECT_EQ(s.Read(buffer, INT32_MIN), -1);
  EXPECT_EQ(s.GetPosition(), 10);
  EXPECT_EQ(s.GetSize(), 64);
  // An unknown origin (3 or above) stays where it is.
  EXPECT_EQ(s.Seek(-4, soEnd), 60);
  EXPECT_EQ(s.Seek(1234, static_cast<TSeekOrigin>(3)), 60);
  EXPECT_EQ(s.Seek32(1234, 7), 60);
  // Beyond the size: reads give nothing, a write extends data end and size.
  EXPECT_EQ(s.Seek(200, soBeginning), 200);
  EXPECT_EQ(s.Read(buffer, 1), 0);
  EXPECT_EQ(s.GetSize(), 64);
  WriteAll(s, Slice(data, 0, 10));
  EXPECT_EQ(s.GetDataEnd(), 210);
  EXPECT_EQ(ReadAt(s, 200, 10), Slice(data, 0, 10));
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
// (and 4 GiB). The overflow file is sparse there: nothing that large is written.
TEST_F(MixedStreamTest, OverflowFileBeyondTwoGibibytes) {
  for (int32_t slots : {-1, 10}) {
    SCOPED_TRACE(slots);
    TRunMemory run(slots, Dir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(10 * MiB, 10);
    WriteAll(s, data);
    ASSERT_TRUE(s.HasOverflowFile());
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
    // Grown by SetSize beyond 2 GiB, then written and read there.
    s.SetSize(fiveGiB + 1000);
    EXPECT_EQ(s.Seek(fiveGiB + 500, soBeginning), fiveGiB + 500);
    WriteAll(s, beyond);
    EXPECT_EQ(ReadAt(s, fiveGiB + 500, 6), beyond);
    // Shrunk below 2 GiB: read back across the split.
    s.SetSize(10 * MiB);
    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  }
}

// Reading through a hole moves the position but not the overflow file; a
// following write must still land at the stream position.
TEST_F(MixedStreamTest, WriteAfterReadingThroughAHoleLandsInPlace) {
  for (int32_t slots : {-1, 10}) {
    SCOPED_TRACE(slots);
    TRunMemory run(slots, Dir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(10 * MiB, 11);
    WriteAll(s, data);
    s.SetSize(12 * MiB);
    EXPECT_EQ(s.Seek(10 * MiB - 5, soBeginning), 10 * MiB - 5);
    std::vector<char> buffer(1000);
    ASSERT_EQ(s.Read(buffer.data(), 1000), 1000);  // 5 data bytes, then the hole
    WriteAll(s, Slice(data, 0, 3));
    EXPECT_EQ(ReadAt(s, 10 * MiB + 995, 3), Slice(data, 0, 3));
    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  }
}

// Saving hands chunks from the memory blocks straight to the file; chunks that
// straddle a block, the memory/file split or a hole must come out as Read
// would have delivered them.
TEST_F(MixedStreamTest, ChunksWrittenToAFileMatchWhatReadDelivers) {
  TRunMemory run(10, Dir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(10 * MiB, 7);
  WriteAll(s, data);
  ASSERT_TRUE(s.HasOverflowFile());
  s.SetSize(10 * MiB + 5000);  // a hole at the end
  ASSERT_EQ(s.Seek(12345, soBeginning), 12345);

  {
    TFileStream file(Dir / L"saved.bin", TFileMode::Create);
    std::vector<char> buffer(300000);
    int64_t remaining = s.GetSize() - 12345;
    for (;;) {
      const int32_t n = s.WriteChunkTo(file, buffer.data(), static_cast<int32_t>(buffer.size()));
      ASSERT_EQ(n, std::min<int64_t>(remaining, 300000));
      if (n == 0) break;
      remaining -= n;
    }
  }
  const std::vector<unsigned char> saved = zvtest::ReadFileBytes(Dir / L"saved.bin");
  ASSERT_EQ(saved.size(), 10 * MiB + 5000 - 12345);
  EXPECT_TRUE(std::equal(data.begin() + 12345, data.end(), saved.begin(),
                         [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }));
}
