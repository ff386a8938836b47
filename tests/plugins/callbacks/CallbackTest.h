// A pipe entry on the test plug-in with real streams, empty settings and a
// recording error entry, the callback tables set up, and a way to run test
// code inside a call into the plug-in, where the plug-in calls the entries.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/InputStream.h"
#include "engine/MixedStream.h"
#include "engine/OutputStream.h"
#include "plugins/PluginSettings.h"
#include "plugins/TransformBridge.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

namespace zvtest {

inline constexpr uint32_t True = 0xFFFFFFFF, Failed = 0xFFFFFFFF;
template <typename T>
uint32_t Arg(T* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
inline uint32_t Low(int64_t value) { return static_cast<uint32_t>(value); }
inline uint32_t High(int64_t value) { return static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32); }

// Entry n of a table, its answer, and what it reports (code 0: nothing;
// message: the start of the exception message).
struct TRow {
  TFixtureTable Table;
  int Entry;
  std::vector<uint32_t> Args;
  uint32_t Result, Code = 0;
  std::wstring Message = L"";
};

inline std::function<void()>* InsideAct;
inline uintptr_t __stdcall RunInsideAct() {
  (*InsideAct)();
  return 2;  // a valid answer of ZV_LoadA, ZV_TransformA and ZV_Settings
}

class TCallbackTest : public ::testing::Test {
protected:
  TCallbackTest() {
    zv::InitTransformBridge();
    zv::InitPluginAPI();
    Entry.Name = L"Fixture";
    Entry.PluginFile = std::make_unique<zv::TPluginFile>(FixturePath(), &Entry);
    Entry.PluginSettings = std::make_unique<zv::TPluginSettings>();
    Entry.InputStream = &Input;
    Entry.OutputStream = &Output;
    zv::StreamTempFolder = Temp.Path();
    Source.Write("0123456789", 10);
    Source.Seek(0, zv::smFromBeginning);  // where the input, sharing the data, reads
  }
  void SetUp() override {
    ASSERT_TRUE(Entry.PluginFile->ResolveExports());
    Inside(zv::fiLoadA, [] {});       // the plug-in keeps the API record
    Inside(zv::fiTransformA, [] {});  // and the stream tables
  }
  void TearDown() override { EXPECT_EQ(Plugin().StackFaults(), 0); }

  // Runs act inside ZV_LoadA, ZV_TransformA or ZV_Settings.
  void Inside(zv::TFunctionId id, std::function<void()> act) {
    InsideAct = &act;
    Plugin().Set(id, fbCallHost, reinterpret_cast<uintptr_t>(&RunInsideAct));
    if (id == zv::fiLoadA) Entry.PluginFile->Load();
    if (id == zv::fiTransformA) Entry.PluginFile->Transform();
    if (id == zv::fiSettings) Entry.PluginFile->Settings(false);
    Plugin().Returns(id, 2);
  }
  TFixtureControl Plugin() { return TFixtureControl(*Entry.PluginFile); }
  uint32_t Call(TFixtureTable table, int entry, const std::vector<uint32_t>& args = {}) {
    return Plugin().Call(table, entry, args);
  }
  void RunRows(const std::vector<TRow>& rows) {
    for (const TRow& row : rows) {
      SCOPED_TRACE(testing::Message() << "table " << row.Table << " entry " << row.Entry);
      EXPECT_EQ(Call(row.Table, row.Entry, row.Args), row.Result);
      ASSERT_EQ(Errors.Reports.size(), row.Code ? 1u : 0u);
      if (!row.Code) continue;
      const std::wstring prefix = row.Table == ftSettings ? L"" : row.Table == ftInput ? L"IStream." : L"OStream.";
      const auto* names = row.Table == ftSettings ? zv::SettingsEntryNames : zv::StreamEntryNames;
      const zv::TErrorStruct& error = Errors.Reports[0].Error;
      EXPECT_EQ(Errors.Reports[0].PluginFile, Entry.PluginFile.get());
      EXPECT_EQ(error.Code, row.Code);
      EXPECT_EQ(error.Text, zv::ExceptionText(prefix + names[row.Entry], L"Fixture"));
      EXPECT_EQ(error.AdditionalInfo.substr(0, 19 + row.Message.size()), L"Exception message: " + row.Message);
      Errors.Reports.clear();
    }
  }

  TTempDir Temp;
  TRecordingErrorEntry Errors;
  zv::TLoadedPlugin Entry;
  zv::TOutputStream Source{std::make_unique<zv::TMixedStream>(), {Temp.Path(), L"", L"source", L"txt"}};
  zv::TInputStream Input{zv::CreateShared, Source};
  zv::TOutputStream Output{std::make_unique<zv::TMixedStream>(), {Temp.Path(), L"", L"output", L""}};
};

}  // namespace zvtest
