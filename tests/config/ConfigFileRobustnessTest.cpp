// Hand-edited and damaged .cfg files: the store loads what it can and never
// crashes or hangs, whatever bytes it is given.
#include <gtest/gtest.h>

#include <random>

#include "config/ConfigFileSettings.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

// Every read operation over a fixed set of keys and names; data reads use a
// buffer sized by the size query, as callers do.
void ExerciseReads(TConfigFileSettings& store) {
  for (const wchar_t* key : {L"Settings", L"S", L"Profiles", L"Profiles\\A", L"", L"x\\y"}) {
    store.GetValueNames(key);
    store.GetKeyNames(key);
    for (const wchar_t* name : {L"A", L"B", L"MemUsage", L"", L"d", L"n"}) {
      store.ReadNumber(key, name, 0);
      store.ReadString(key, name, L"");
      store.GetValueType(key, name);
      const int32_t size = store.ReadData(key, name, nullptr, 0);
      Bytes buffer(static_cast<size_t>(std::max(size, 0)) + 1);
      if (size >= 0) store.ReadData(key, name, buffer.data(), size);
    }
  }
}

// Each file holds (or held, before the damage) the value S/A; the store loads what
// it can, answers every read, and writes back what it loaded so that it loads again.
TEST(DamagedConfigFile, LoadsWhatItCan) {
  const std::wstring big(1 << 20, L'x');
  Bytes oddCount = Utf16Bytes(L"[S]\r\nA=string:42\r\n");
  oddCount.push_back('Z');
  const struct {
    const char* Name;
    Bytes File;
    std::wstring A;  // what ReadString(S, A, "D") answers
  } cases[] = {
      {"odd byte count", oddCount, L"42"},
      {"NUL characters", Utf16Bytes(std::wstring(L"[S]\r\nA=string:a\0b\r\n\0\0\r\n", 23)), {L"a\0b", 3}},
      {"1 MB line", Utf16Bytes(L"[S]\r\nA=string:" + big), big},
      {"garbage", {0x00, 0xD8, 0x00, 0xDC, 0xFF, 0xFE, '[', 0, '=', 0, '\r', 0, 0x00, 0xD8}, L"D"},
      {"empty", {}, L"D"},
      {"one byte", {0xFF}, L"D"},
  };
  TTempDir dir;
  const std::wstring path = dir / L"Damaged.cfg";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFileBytes(path, c.File);
    {
      TConfigFileSettings store(path);
      EXPECT_EQ(store.ReadString(L"S", L"A", L"D"), c.A);
      ExerciseReads(store);
      store.WriteNumber(L"New", L"N", 5);
    }
    TConfigFileSettings again(path);
    EXPECT_EQ(again.ReadString(L"S", L"A", L"D"), c.A);
    EXPECT_EQ(again.ReadNumber(L"New", L"N", 0), 5);
  }
}

// Mutated files go through load, every read and a write; what is written must
// then load and write back byte for byte.
TEST(DamagedConfigFile, RandomlyMutatedFilesLoadAndWriteBackStably) {
  const Bytes seed = Utf16Bytes(
      L"[Settings]\r\nMemUsage=number:75\r\nTempFolder=string:C:\\Temp\r\nd=data:00ff10\r\n\r\n"
      L"[Profiles\\A\\[1][3]Zip]\r\nn=number:$1f\r\nB=string:x=y:z\r\nno equals\r\n; comment\r\n"
      L"[S]\r\nA = number: -12\r\nd=data:0g\r\n");
  const unsigned char specials[] = {'\r', '\n', '[', ']', '=', ':', ';', ' ', 0, 0xFF, 0xFE, 0xD8, 0xDC};
  std::mt19937 random(20260611);
  auto below = [&](size_t n) { return n ? static_cast<size_t>(random() % n) : 0; };
  TTempDir dir;
  const std::wstring path = dir / L"Damaged.cfg";

  for (int iteration = 0; iteration < 200; ++iteration) {
    SCOPED_TRACE(iteration);
    Bytes bytes = seed;
    for (int m = 0, mutations = 1 + static_cast<int>(below(8)); m < mutations; ++m) {
      const size_t at = below(bytes.size() + 1);
      switch (below(5)) {
        case 0: if (at < bytes.size()) bytes[at] = static_cast<unsigned char>(random()); break;
        case 1: {
          const unsigned char special = specials[below(sizeof specials)];
          bytes.insert(bytes.begin() + at, below(2) ? special : static_cast<unsigned char>(random()));
          break;
        }
        case 2: bytes.erase(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + below(9))); break;
        case 3: bytes.resize(at); break;
        default: {
          const size_t from = below(bytes.size());
          const Bytes chunk(bytes.begin() + from, bytes.begin() + std::min(bytes.size(), from + below(64)));
          bytes.insert(bytes.begin() + at, chunk.begin(), chunk.end());
        }
      }
    }
    WriteFileBytes(path, bytes);
    Bytes written;
    {
      TConfigFileSettings store(path);
      ExerciseReads(store);
      store.WriteNumber(L"Settings", L"MemUsage", iteration);
      store.DeleteKey(L"Profiles\\A");
      ASSERT_EQ(store.ReadNumber(L"settings", L"memusage", -1), iteration);
      store.Flush();
      written = ReadFileBytes(path);
    }
    TConfigFileSettings again(path);
    ExerciseReads(again);
    ASSERT_EQ(again.ReadNumber(L"Settings", L"MemUsage", -1), iteration);
    again.Flush();
    ASSERT_EQ(ReadFileBytes(path), written);
  }
}

}  // namespace
