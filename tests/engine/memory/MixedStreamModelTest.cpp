// Long random runs of writes, reads, chunk saves, seeks and size changes on
// mixed streams, checked step by step against a plain byte vector. Holes and
// gaps read as zeros, so every byte is compared: none of an earlier stream
// may show.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::MiB;

namespace {

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
    zvtest::TTempDir dir;
    zvtest::TRunMemory memory(c.slots, dir.Path(), c.heapBlockLimit);
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
