// Long random runs of writes, reads, seeks and size changes on mixed streams,
// checked step by step against a plain byte vector. Bytes of holes and gaps
// have no defined content, so the model only compares bytes really written.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::MiB;
using zvtest::TRunMemory;
using zvtest::TTempDir;

namespace {

class TModel {
public:
  int64_t Size() const { return static_cast<int64_t>(FBytes.size()); }
  int64_t Position = 0;

  void Write(const char* data, int32_t count) {
    if (count == 0) return;  // the stream stores nothing, not even a gap
    const size_t end = static_cast<size_t>(Position) + count;
    if (end > FBytes.size()) Resize(end);
    std::copy(data, data + count, FBytes.begin() + Position);
    std::fill(FKnown.begin() + Position, FKnown.begin() + end, true);
    Position = static_cast<int64_t>(end);
  }
  int32_t ExpectedRead(int32_t count) const {
    return Position >= Size() ? 0 : static_cast<int32_t>(std::min<int64_t>(count, Size() - Position));
  }
  void SetSize(int64_t size) {
    if (size < 0 || size == Size()) return;
    Resize(static_cast<size_t>(size));
    Position = size;
  }
  // Index of the first written byte in [from, from + count) that differs from data, or -1.
  int64_t FirstMismatch(int64_t from, const char* data, int32_t count) const {
    for (int32_t i = 0; i < count; ++i)
      if (FKnown[from + i] && FBytes[from + i] != data[i]) return from + i;
    return -1;
  }

private:
  void Resize(size_t size) {
    FBytes.resize(size);
    FKnown.resize(size, false);
  }
  std::vector<char> FBytes;
  std::vector<bool> FKnown;
};

struct TSubject {
  std::unique_ptr<TMixedStream> Stream = std::make_unique<TMixedStream>();
  TModel Model;
};

class TRandomRun {
public:
  TRandomRun(uint32_t seed, int64_t maxSize, int32_t maxCount)
      : FRandom(seed), FMaxSize(maxSize), FMaxCount(maxCount), FBuffer(maxCount), FSource(maxCount) {}

  // One random operation on s; false (with a gtest failure) when stream and model disagree.
  bool Step(TSubject& s, int step) {
    const int op = Pick(0, 99);
    if (op < 35) return DoWrite(s, step);
    if (op < 65) return DoRead(s, step);
    if (op < 90) return DoSeek(s, step);
    return DoSetSize(s, step);
  }

  // Reads the whole stream back and restores the position.
  bool CheckAll(TSubject& s, int step) {
    TMixedStream& stream = *s.Stream;
    EXPECT_EQ(stream.Seek(0, soCurrent), s.Model.Position) << "step " << step;
    const int64_t saved = s.Model.Position;
    EXPECT_EQ(stream.Seek(0, soBeginning), 0);
    s.Model.Position = 0;
    while (s.Model.Position < s.Model.Size())
      if (!ReadAndCompare(s, FMaxCount, step)) return false;
    EXPECT_EQ(stream.Seek(saved, soBeginning), saved);
    s.Model.Position = saved;
    return !::testing::Test::HasFailure();
  }

private:
  int64_t Pick(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(FRandom); }

  int32_t PickCount() {
    switch (Pick(0, 3)) {
      case 0: return static_cast<int32_t>(Pick(0, 16));
      case 1: return static_cast<int32_t>(Pick(0, 4096));
      default: return static_cast<int32_t>(Pick(0, FMaxCount));
    }
  }

  // Often right at block and split boundaries, where the faults hide.
  int64_t PickPosition(const TSubject& s) {
    switch (Pick(0, 4)) {
      case 0: return Pick(0, s.Model.Size());
      case 1: return Pick(0, FMaxSize);
      case 2: return std::max<int64_t>(0, Pick(0, FMaxSize / MiB) * MiB + Pick(-3, 3));
      case 3: return s.Stream->GetMemoryCapacity() + Pick(-2, 2);
      default: return s.Model.Size();
    }
  }

  bool DoWrite(TSubject& s, int step) {
    int32_t count = PickCount();
    count = static_cast<int32_t>(std::min<int64_t>(count, std::max<int64_t>(0, FMaxSize - s.Model.Position)));
    for (int32_t i = 0; i < count; ++i) FSource[i] = static_cast<char>(FRandom());
    const int32_t written = s.Stream->Write(FSource.data(), count);
    EXPECT_EQ(written, count) << "write at " << s.Model.Position << " step " << step;
    s.Model.Write(FSource.data(), count);
    EXPECT_EQ(s.Stream->GetSize(), s.Model.Size()) << "step " << step;
    return !::testing::Test::HasFailure();
  }

  bool ReadAndCompare(TSubject& s, int32_t count, int step) {
    const int64_t from = s.Model.Position;
    const int32_t expected = s.Model.ExpectedRead(count);
    const int32_t got = s.Stream->Read(FBuffer.data(), count);
    EXPECT_EQ(got, expected) << "read at " << from << " step " << step;
    if (got != expected) return false;
    const int64_t mismatch = s.Model.FirstMismatch(from, FBuffer.data(), got);
    EXPECT_EQ(mismatch, -1) << "read at " << from << " of " << count << " step " << step;
    s.Model.Position += got;
    return mismatch == -1;
  }

  bool DoRead(TSubject& s, int step) { return ReadAndCompare(s, PickCount(), step); }

  bool DoSeek(TSubject& s, int step) {
    const int64_t target = Pick(0, 9) == 0 ? -Pick(1, 100) : PickPosition(s);
    const TSeekOrigin origin = static_cast<TSeekOrigin>(Pick(0, 2));
    const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? s.Model.Position : s.Model.Size();
    const int64_t result = s.Stream->Seek(target - base, origin);
    const int64_t expected = target < 0 ? -1 : target;
    EXPECT_EQ(result, expected) << "seek to " << target << " step " << step;
    if (expected >= 0) s.Model.Position = target;
    return !::testing::Test::HasFailure();
  }

  bool DoSetSize(TSubject& s, int step) {
    int64_t size = PickPosition(s);
    if (Pick(0, 3) == 0) size = Pick(0, s.Model.Size() / 4);
    if (Pick(0, 20) == 0) size = -1;
    s.Stream->SetSize(size);
    s.Model.SetSize(size);
    EXPECT_EQ(s.Stream->GetSize(), s.Model.Size()) << "set size " << size << " step " << step;
    return !::testing::Test::HasFailure();
  }

  std::mt19937 FRandom;
  int64_t FMaxSize;
  int32_t FMaxCount;
  std::vector<char> FBuffer;
  std::vector<char> FSource;
};

// Three streams side by side, so they compete for the budget and the partial
// grants differ from spill to spill.
void RunModel(uint32_t seed, int steps) {
  TRandomRun run(seed, 12 * MiB, 768 * 1024);
  TSubject subjects[3];
  for (int step = 0; step < steps; ++step) {
    TSubject& s = subjects[step % 7 == 0 ? 1 : step % 11 == 0 ? 2 : 0];
    ASSERT_TRUE(run.Step(s, step));
    if (step % 200 == 199) {
      for (TSubject& each : subjects) ASSERT_TRUE(run.CheckAll(each, step));
    }
  }
  for (TSubject& each : subjects) ASSERT_TRUE(run.CheckAll(each, steps));
}

class MixedStreamModel : public ::testing::Test {
protected:
  TTempDir FDir;
};

}  // namespace

TEST_F(MixedStreamModel, TinyBudget) {
  TRunMemory memory(5, FDir.Path());
  RunModel(20261206, 2000);
}

TEST_F(MixedStreamModel, TinyBudgetWithHeapExhaustion) {
  TRunMemory memory(8, FDir.Path(), 3);
  RunModel(7, 2000);
}

TEST_F(MixedStreamModel, NoBudget) {
  TRunMemory memory(-1, FDir.Path());
  RunModel(424242, 2000);
}
