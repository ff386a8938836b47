#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
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

std::vector<char> Pattern(size_t size, int seed) {
  std::vector<char> data(size);
  uint32_t x = 2463534242u + seed;
  for (char& c : data) {
    x ^= x << 13; x ^= x >> 17; x ^= x << 5;
    c = static_cast<char>(x);
  }
  return data;
}

std::vector<char> ReadAt(TMixedStream& s, int64_t position, size_t count) {
  std::vector<char> data(count);
  EXPECT_EQ(s.Seek(position, soBeginning), position);
  EXPECT_EQ(s.Read(data.data(), static_cast<int32_t>(count)), static_cast<int32_t>(count));
  return data;
}

size_t OverflowFiles(const TTempDir& dir) { return ListFiles(dir.Path(), L"zvq*").size(); }

int64_t FileSizeOf(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class MixedStreamTest : public ::testing::Test {
protected:
  TTempDir FDir;
};

}  // namespace

TEST_F(MixedStreamTest, WithoutAllocatorTheFirstWriteMakesTheOverflowFile) {
  TRunMemory run(-1, FDir.Path());
  {
    TMixedStream s;
    EXPECT_FALSE(s.HasOverflowFile());
    EXPECT_EQ(OverflowFiles(FDir), 0u);
    const std::vector<char> data = Pattern(1000, 1);
    EXPECT_EQ(s.Write(data.data(), 1000), 1000);
    ASSERT_TRUE(s.HasOverflowFile());
    const std::vector<std::wstring> files = ListFiles(FDir.Path(), L"zvq*.tmp");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(s.OverflowFileName(), FDir / files[0]);
    EXPECT_EQ(s.GetSize(), 1000);
    EXPECT_EQ(s.GetDataEnd(), 1000);
    EXPECT_EQ(s.GetPosition(), 1000);
    EXPECT_EQ(ReadAt(s, 0, 1000), data);
  }
  EXPECT_EQ(OverflowFiles(FDir), 0u);
}

TEST_F(MixedStreamTest, SpillsWhatTheAllocatorCannotHold) {
  TRunMemory run(10, FDir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(10 * MiB, 2);
  EXPECT_EQ(s.Write(data.data(), 10 * MiB), static_cast<int32_t>(10 * MiB));
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  ASSERT_TRUE(s.HasOverflowFile());
  EXPECT_EQ(FileSizeOf(s.OverflowFileName()), MiB);
  EXPECT_EQ(s.GetSize(), 10 * MiB);
  EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  // A read that straddles the split point.
  const std::vector<char> middle = ReadAt(s, 9 * MiB - 3, 10);
  EXPECT_TRUE(std::equal(middle.begin(), middle.end(), data.begin() + 9 * MiB - 3));
  // Once the file exists, memory does not grow any more, even when slots free up.
  EXPECT_EQ(s.Seek(0, soEnd), 10 * MiB);
  EXPECT_EQ(s.Write(data.data(), 100), 100);
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  EXPECT_EQ(FileSizeOf(s.OverflowFileName()), MiB + 100);
}

TEST_F(MixedStreamTest, StreamsShareTheBudget) {
  TRunMemory run(10, FDir.Path());
  TMixedStream first, second;
  const std::vector<char> data = Pattern(3 * MiB, 3);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(first.Write(data.data(), 3 * MiB), static_cast<int32_t>(3 * MiB));
  EXPECT_EQ(first.GetMemoryCapacity(), 9 * MiB);
  // The tenth slot is left for the second stream.
  ASSERT_EQ(second.Write(data.data(), 3 * MiB), static_cast<int32_t>(3 * MiB));
  EXPECT_EQ(second.GetMemoryCapacity(), MiB);
  EXPECT_TRUE(second.HasOverflowFile());
  EXPECT_EQ(ReadAt(second, 0, 3 * MiB), data);
  EXPECT_EQ(ReadAt(first, 9 * MiB, 3 * MiB), data);
  EXPECT_EQ(GetMemoryUsagePercent(), 100);
}

TEST_F(MixedStreamTest, SetSizeZeroWithAllocationDropsMemoryAndFile) {
  TRunMemory run(10, FDir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(10 * MiB, 4);
  ASSERT_EQ(s.Write(data.data(), 10 * MiB), static_cast<int32_t>(10 * MiB));
  ASSERT_EQ(OverflowFiles(FDir), 1u);
  s.SetSize(0);
  EXPECT_EQ(s.GetMemoryCapacity(), 0u);
  EXPECT_FALSE(s.HasOverflowFile());
  EXPECT_EQ(OverflowFiles(FDir), 0u);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetDataEnd(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  EXPECT_EQ(GlobalMemoryManager->FreeSlotCount(), 10);
  // Writing again grows memory anew before spilling anew.
  ASSERT_EQ(s.Write(data.data(), 10 * MiB), static_cast<int32_t>(10 * MiB));
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
}

TEST_F(MixedStreamTest, SetSizeZeroWithoutAllocationKeepsTheFile) {
  TRunMemory run(-1, FDir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(5000, 5);
  ASSERT_EQ(s.Write(data.data(), 5000), 5000);
  s.SetSize(0);
  EXPECT_TRUE(s.HasOverflowFile());
  EXPECT_EQ(OverflowFiles(FDir), 1u);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetDataEnd(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  char byte = 0;
  EXPECT_EQ(s.Read(&byte, 1), 0);
  ASSERT_EQ(s.Write(data.data() + 100, 50), 50);
  EXPECT_EQ(s.GetSize(), 50);
  EXPECT_EQ(ReadAt(s, 0, 50), std::vector<char>(data.begin() + 100, data.begin() + 150));
}

TEST_F(MixedStreamTest, ShrinkingAboveTheCapacityKeepsTheFileAndCutsTheData) {
  TRunMemory run(10, FDir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(11 * MiB, 6);
  ASSERT_EQ(s.Write(data.data(), 11 * MiB), static_cast<int32_t>(11 * MiB));
  s.SetSize(10 * MiB);
  EXPECT_TRUE(s.HasOverflowFile());
  EXPECT_EQ(s.GetMemoryCapacity(), 9 * MiB);
  EXPECT_EQ(s.GetPosition(), 10 * MiB);
  std::vector<char> tail(2 * MiB);
  EXPECT_EQ(s.Seek(9 * MiB, soBeginning), 9 * MiB);
  EXPECT_EQ(s.Read(tail.data(), 2 * MiB), static_cast<int32_t>(MiB));
  EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + MiB, data.begin() + 9 * MiB));
  // Shrinking into the memory part drops the file and keeps the memory bytes.
  s.SetSize(5 * MiB + 7);
  EXPECT_FALSE(s.HasOverflowFile());
  EXPECT_EQ(s.GetMemoryCapacity(), 5 * MiB + 7);
  EXPECT_EQ(ReadAt(s, 0, 5 * MiB + 7), std::vector<char>(data.begin(), data.begin() + 5 * MiB + 7));
}

TEST_F(MixedStreamTest, GrowingBySetSizeLeavesAHole) {
  for (int32_t slots : {-1, 10}) {
    TRunMemory run(slots, FDir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(100, 7);
    ASSERT_EQ(s.Write(data.data(), 100), 100);
    EXPECT_EQ(s.Seek(10, soBeginning), 10);
    s.SetSize(1000);
    EXPECT_EQ(s.GetPosition(), 1000);
    EXPECT_EQ(s.GetSize(), 1000);
    EXPECT_EQ(s.GetDataEnd(), 100);
    std::vector<char> buffer(2000);
    EXPECT_EQ(s.Seek(100, soBeginning), 100);
    EXPECT_EQ(s.Read(buffer.data(), 300), 300);
    EXPECT_EQ(s.GetPosition(), 400);
    EXPECT_EQ(s.Read(buffer.data(), 2000), 600);
    EXPECT_EQ(s.GetPosition(), 1000);
    // Data and hole in one read: the data part is copied.
    EXPECT_EQ(s.Seek(90, soBeginning), 90);
    EXPECT_EQ(s.Read(buffer.data(), 20), 20);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 10, data.begin() + 90));
    // Writing into the hole makes it data.
    EXPECT_EQ(s.Seek(500, soBeginning), 500);
    ASSERT_EQ(s.Write(data.data(), 100), 100);
    EXPECT_EQ(s.GetDataEnd(), 600);
    EXPECT_EQ(s.GetSize(), 1000);
    EXPECT_EQ(ReadAt(s, 500, 100), data);
    EXPECT_EQ(ReadAt(s, 0, 100), data);
  }
}

TEST_F(MixedStreamTest, SeekRules) {
  TRunMemory run(10, FDir.Path());
  TMixedStream s;
  const std::vector<char> data = Pattern(64, 8);
  ASSERT_EQ(s.Write(data.data(), 64), 64);
  EXPECT_EQ(s.Seek(10, soBeginning), 10);
  EXPECT_EQ(s.Seek(-11, soCurrent), -1);
  EXPECT_EQ(s.GetPosition(), 10);
  EXPECT_EQ(s.Seek(-65, soEnd), -1);
  EXPECT_EQ(s.Seek(-1, soBeginning), -1);
  EXPECT_EQ(s.Seek(INT64_MAX, soCurrent), -1);  // no overflow into a negative position
  EXPECT_EQ(s.GetPosition(), 10);
  EXPECT_EQ(s.Seek(5, soCurrent), 15);
  EXPECT_EQ(s.Seek(-4, soEnd), 60);
  EXPECT_EQ(s.Seek(1234, static_cast<TSeekOrigin>(3)), 60);
  EXPECT_EQ(s.Seek32(1234, 7), 60);
  // Beyond the size: reads give nothing, a write extends data end and size.
  char byte = 0;
  EXPECT_EQ(s.Seek(64, soBeginning), 64);
  EXPECT_EQ(s.Read(&byte, 1), 0);
  EXPECT_EQ(s.Seek(200, soBeginning), 200);
  EXPECT_EQ(s.Read(&byte, 1), 0);
  EXPECT_EQ(s.GetSize(), 64);
  ASSERT_EQ(s.Write(data.data(), 10), 10);
  EXPECT_EQ(s.GetSize(), 210);
  EXPECT_EQ(s.GetDataEnd(), 210);
  EXPECT_EQ(ReadAt(s, 200, 10), std::vector<char>(data.begin(), data.begin() + 10));
}

TEST_F(MixedStreamTest, NegativeCountsAreRefused) {
  TRunMemory run(10, FDir.Path());
  TMixedStream s;
  char buffer[16] = {};
  ASSERT_EQ(s.Write(buffer, 16), 16);
  EXPECT_EQ(s.Seek(4, soBeginning), 4);
  EXPECT_EQ(s.Write(buffer, -1), -1);
  EXPECT_EQ(s.Read(buffer, -1), -1);
  EXPECT_EQ(s.Read(buffer, INT32_MIN), -1);
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.GetSize(), 16);
  EXPECT_EQ(s.Write(buffer, 0), 0);
  EXPECT_EQ(s.Read(buffer, 0), 0);
}

TEST_F(MixedStreamTest, AnOverflowFileThatCannotBeMadeFailsTheWrite) {
  TRunMemory run(10, FDir / L"missing");
  TMixedStream s;
  const std::vector<char> data = Pattern(10 * MiB, 9);
  EXPECT_EQ(s.Write(data.data(), 10 * MiB), -1);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  EXPECT_FALSE(s.HasOverflowFile());
  // Fits in what memory gives: no file needed.
  EXPECT_EQ(s.Write(data.data(), 9 * MiB), static_cast<int32_t>(9 * MiB));
  // A later write tries again.
  StreamTempFolder = FDir.Path();
  EXPECT_EQ(s.Write(data.data() + 9 * MiB, MiB), static_cast<int32_t>(MiB));
  EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  EXPECT_EQ(ListFiles(FDir.Path(), L"zvq*").size(), 1u);
}

// The file part is positioned with 64-bit offsets, so it can be re-positioned
// beyond 2 GiB (and 4 GiB). The overflow file is sparse there.
TEST_F(MixedStreamTest, OverflowFileBeyondTwoGibibytes) {
  for (int32_t slots : {-1, 10}) {
    TRunMemory run(slots, FDir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(10 * MiB, 10);
    ASSERT_EQ(s.Write(data.data(), 10 * MiB), static_cast<int32_t>(10 * MiB));
    ASSERT_TRUE(s.HasOverflowFile());

    const int64_t threeGiB = (3ll << 30) + 12345;
    const int64_t fiveGiB = (5ll << 30) + 7;
    EXPECT_EQ(s.Seek(threeGiB, soBeginning), threeGiB);
    ASSERT_EQ(s.Write("beyond", 6), 6);
    EXPECT_EQ(s.Seek(fiveGiB, soBeginning), fiveGiB);
    ASSERT_EQ(s.Write("further", 7), 7);
    EXPECT_EQ(s.GetSize(), fiveGiB + 7);

    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
    std::vector<char> back = ReadAt(s, threeGiB, 6);
    EXPECT_EQ(std::string(back.begin(), back.end()), "beyond");
    back = ReadAt(s, fiveGiB, 7);
    EXPECT_EQ(std::string(back.begin(), back.end()), "further");
    // 32-bit offset and origin: the position cut to 32 bits.
    EXPECT_EQ(s.Seek32(0, soCurrent), static_cast<int32_t>(fiveGiB + 7));

    // Grown by SetSize beyond 2 GiB, then written and read there.
    s.SetSize(fiveGiB + 1000);
    EXPECT_EQ(s.Seek(fiveGiB + 500, soBeginning), fiveGiB + 500);
    ASSERT_EQ(s.Write("x", 1), 1);
    back = ReadAt(s, fiveGiB + 500, 1);
    EXPECT_EQ(back[0], 'x');
    // Shrinking below 2 GiB and reading back across the split.
    s.SetSize(10 * MiB);
    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  }
}

// Reading through a hole moves the position but not the overflow file; a
// following write must still land at the stream position.
TEST_F(MixedStreamTest, WriteAfterReadingThroughAHoleLandsInPlace) {
  for (int32_t slots : {-1, 10}) {
    TRunMemory run(slots, FDir.Path());
    TMixedStream s;
    const std::vector<char> data = Pattern(10 * MiB, 11);
    ASSERT_EQ(s.Write(data.data(), 10 * MiB), static_cast<int32_t>(10 * MiB));
    s.SetSize(12 * MiB);
    EXPECT_EQ(s.Seek(10 * MiB - 5, soBeginning), 10 * MiB - 5);
    std::vector<char> buffer(1000);
    ASSERT_EQ(s.Read(buffer.data(), 1000), 1000);  // 5 data bytes, then the hole
    ASSERT_EQ(s.Write("abc", 3), 3);
    const std::vector<char> back = ReadAt(s, 10 * MiB + 995, 3);
    EXPECT_EQ(std::string(back.begin(), back.end()), "abc");
    EXPECT_EQ(ReadAt(s, 0, 10 * MiB), data);
  }
}
