// Hand-edited and damaged .cfg files: the store loads what it can and never
// crashes or hangs, whatever bytes it is given.
#include <gtest/gtest.h>

#include <random>

#include "config/ConfigFileSettings.h"
#include "config/IniDocument.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

const wchar_t* const kKeys[] = {L"Settings", L"S", L"Profiles", L"Profiles\\A", L"", L"x\\y"};
const wchar_t* const kNames[] = {L"A", L"B", L"MemUsage", L"", L"d", L"n"};

// Every read operation over a fixed set of keys and names; data reads use a
// buffer sized by the size query, as callers do.
void ExerciseReads(TConfigFileSettings& store) {
  for (const wchar_t* key : kKeys) {
    store.GetValueNames(key);
    store.GetKeyNames(key);
    for (const wchar_t* name : kNames) {
      store.ReadNumber(key, name, 0);
      store.ReadString(key, name, L"");
      store.GetValueType(key, name);
      const int32_t size = store.ReadData(key, name, nullptr);
      if (size >= 0) {
        std::vector<unsigned char> buffer(static_cast<size_t>(size) + 1);
        store.ReadData(key, name, buffer.data());
      }
    }
  }
}

class DamagedConfigFile : public ::testing::Test {
protected:
  std::wstring Path() const { return FDir / L"Damaged.cfg"; }
  TTempDir FDir;
};

TEST_F(DamagedConfigFile, OddByteCountDropsTheLastByte) {
  std::vector<unsigned char> bytes = Utf16Bytes(L"[S]\r\nA=number:42\r\n");
  bytes.push_back('Z');
  WriteFileBytes(Path(), bytes);
  TConfigFileSettings store(Path());
  EXPECT_EQ(store.ReadNumber(L"S", L"A", 0), 42);
}

TEST_F(DamagedConfigFile, NulCharactersStayInsideTheirLine) {
  WriteCfg(Path(), std::wstring(L"[S]\r\nA=string:a\0b\r\n\0\0\r\nB=number:1\r\n", 34));
  TConfigFileSettings store(Path());
  EXPECT_EQ(store.ReadString(L"S", L"A", L""), std::wstring(L"a\0b", 3));
  EXPECT_EQ(store.ReadNumber(L"S", L"B", 0), 1);
  store.WriteNumber(L"S", L"C", 2);
  store.Flush();
  EXPECT_EQ(ReadCfg(Path()), std::wstring(L"[S]\r\nA=string:a\0b\r\nB=number:1\r\nC=number:2\r\n\r\n", 45));
}

TEST_F(DamagedConfigFile, OneMegabyteLineLoadsWhole) {
  const std::wstring big(1 << 20, L'x');
  WriteCfg(Path(), L"[S]\r\nA=string:" + big + L"\r\nB=data:" + std::wstring(1 << 20, L'7'));
  TConfigFileSettings store(Path());
  EXPECT_EQ(store.ReadString(L"S", L"A", L""), big);
  std::vector<unsigned char> buffer(1 << 19);
  EXPECT_EQ(store.ReadData(L"S", L"B", buffer.data()), 1 << 19);
  EXPECT_EQ(buffer.back(), 0x77);
}

TEST_F(DamagedConfigFile, Utf8FileGivesDefaultsAndIsNotLost) {
  const std::string utf8 = "\xEF\xBB\xBF[Settings]\r\nMemUsage=number:50\r\n";
  WriteFileBytes(Path(), std::vector<unsigned char>(utf8.begin(), utf8.end()));
  TConfigFileSettings store(Path());
  EXPECT_EQ(store.ReadNumber(L"Settings", L"MemUsage", 75), 75);
  ExerciseReads(store);
}

TEST_F(DamagedConfigFile, EmptyAndOneByteFilesLoadEmpty) {
  for (const auto& bytes : {std::vector<unsigned char>{}, std::vector<unsigned char>{0xFF}}) {
    WriteFileBytes(Path(), bytes);
    TConfigFileSettings store(Path());
    EXPECT_TRUE(store.GetKeyNames(L"").empty());
    EXPECT_EQ(store.ReadNumber(L"S", L"A", 3), 3);
  }
}

// Mutated files of every kind go through load, every read and a write-back;
// whatever was loaded must then load and write back unchanged.
TEST_F(DamagedConfigFile, RandomlyMutatedFilesLoadAndWriteBackStably) {
  const std::vector<unsigned char> seed = Utf16Bytes(
      L"[Settings]\r\nMemUsage=number:75\r\nTempFolder=string:C:\\Temp\r\nd=data:00ff10\r\n\r\n"
      L"[Profiles\\A\\[1][3]Zip]\r\nn=number:$1f\r\nB=string:x=y:z\r\nno equals\r\n; comment\r\n"
      L"[S]\r\nA = number: -12\r\nd=data:0g\r\n");
  const unsigned char specials[] = {'\r', '\n', '[', ']', '=', ':', ';', ' ', 0, 0xFF, 0xFE, 0xD8, 0xDC};
  std::mt19937 random(20260611);
  auto below = [&](size_t n) { return n ? static_cast<size_t>(random() % n) : 0; };

  for (int iteration = 0; iteration < 250; ++iteration) {
    std::vector<unsigned char> bytes = seed;
    const int mutations = 1 + static_cast<int>(below(8));
    for (int m = 0; m < mutations; ++m) {
      const size_t at = below(bytes.size() + 1);
      switch (below(6)) {
        case 0: if (at < bytes.size()) bytes[at] = static_cast<unsigned char>(random()); break;
        case 1: bytes.insert(bytes.begin() + at, specials[below(sizeof specials)]); break;
        case 2: bytes.erase(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + below(9))); break;
        case 3: bytes.resize(at); break;
        case 4: {
          const size_t from = below(bytes.size()), count = below(64);
          std::vector<unsigned char> chunk(bytes.begin() + from,
                                           bytes.begin() + std::min(bytes.size(), from + count));
          bytes.insert(bytes.begin() + at, chunk.begin(), chunk.end());
          break;
        }
        default:
          for (size_t i = 0, n = below(32); i < n; ++i)
            bytes.insert(bytes.begin() + below(bytes.size() + 1), static_cast<unsigned char>(random()));
      }
    }
    WriteFileBytes(Path(), bytes);

    TConfigFileSettings store(Path());
    ExerciseReads(store);
    // Writes make the destructor write the file too; a third of the files is enough.
    const bool writes = iteration % 3 == 0;
    if (writes) {
      store.WriteNumber(L"Settings", L"MemUsage", iteration);
      store.DeleteKey(L"Profiles\\A");
      ASSERT_EQ(store.ReadNumber(L"settings", L"memusage", -1), iteration);
    }

    // What loads once is written in the form that loads back unchanged.
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    TIniDocument first, second;
    first.Load(text);
    const std::wstring saved = first.Save();
    second.Load(saved);
    ASSERT_EQ(second.Save(), saved) << "iteration " << iteration;

    // Some also go through the disk and back.
    if (iteration % 12 == 0) {
      store.Flush();
      const std::vector<unsigned char> written = ReadFileBytes(Path());
      TConfigFileSettings again(Path());
      ExerciseReads(again);
      ASSERT_EQ(again.ReadNumber(L"Settings", L"MemUsage", -1), iteration) << "iteration " << iteration;
      again.Flush();
      ASSERT_EQ(ReadFileBytes(Path()), written) << "iteration " << iteration;
    }
  }
}

}  // namespace
