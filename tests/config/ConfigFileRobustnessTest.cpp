// Hand-edited and damaged .cfg files: the store loads what it can and never
// crashes or hangs on bytes that no writer made.
#include <gtest/gtest.h>

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
      {"stray syntax", Utf16Bytes(L"[S]\r\nA=string:x\r\n=\r\n[\r\n]=[:\r\n;[\r\n[S\r\nB=number:"), L"x"},
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

}  // namespace
