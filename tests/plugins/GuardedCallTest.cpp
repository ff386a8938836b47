#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/GeneralStream.h"
#include "plugins/PluginFile.h"
#include "plugins/ZentavoAPI.h"
#include "support/PluginFixtures.h"

using namespace zv;
using namespace zvtest;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// One export as the tests call it, its result as text so that one table holds them all.
struct TExportCall {
  TFunctionId Id;
  std::function<std::wstring(TPluginFile&)> Call;
  std::wstring Failure;  // what the guarded call answers after an exception
};

template <typename T>
std::wstring Text(T value) {
  return std::to_wstring(value);
}

const std::vector<TExportCall> kExportCalls = {
    {fiInstallA, [](TPluginFile& f) { return f.Install(reinterpret_cast<HWND>(0x1234)); }, L""},
    {fiGetPluginID, [](TPluginFile& f) { return Text(f.GetPluginID()); }, L"0"},
    {fiGetPluginVersion, [](TPluginFile& f) { return Text(f.GetPluginVersion()); }, L"0"},
    {fiLoadA, [](TPluginFile& f) { return Text(f.Load()); }, L"0"},
    {fiUnload, [](TPluginFile& f) { return f.Unload(), std::wstring(); }, L""},
    {fiInitTransform, [](TPluginFile& f) { return Text(f.InitTransform()); }, L"0"},
    {fiDoneTransform, [](TPluginFile& f) { return f.DoneTransform(), std::wstring(); }, L""},
    {fiTransformA, [](TPluginFile& f) { return Text(f.Transform()); }, L"1"},
    {fiSettingsInfoA, [](TPluginFile& f) { return f.GetSettingsInfo(); }, L""},
    {fiSettings, [](TPluginFile& f) { return Text(f.Settings(false)); }, L"1"},
    {fiAbout, [](TPluginFile& f) { return f.About(), std::wstring(); }, L""},
};

std::wstring ModuleBaseName(HMODULE module) {
  wchar_t path[MAX_PATH];
  const std::wstring name(path, ::GetModuleFileNameW(module, path, MAX_PATH));
  return name.substr(name.find_last_of(L'\\') + 1);
}

// A probe of the test plug-in, a pipe entry beside it (run from a private
// copy, as the library is loaded already), and a recording error entry.
class TGuardedCallTest : public ::testing::Test {
protected:
  TGuardedCallTest() {
    Entry.Name = L"Fixture Entry";
    Entry.PluginFile = std::make_unique<TPluginFile>(FixturePath(), &Entry);
    Outer.Name = L"Outer Entry";
  }
  ~TGuardedCallTest() override { CurrentPluginContext = nullptr; }
  void SetUp() override {
    ASSERT_TRUE(Entry.PluginFile->ResolveExports());
    ASSERT_TRUE(Probe.ResolveExports());
  }

  TPluginFile& FileFor(TFunctionId id) { return id <= fiGetPluginVersion ? Probe : *Entry.PluginFile; }
  std::wstring Call(TFunctionId id) { return kExportCalls[id - 1].Call(FileFor(id)); }

  TRecordingErrorEntry Errors;
  TLoadedPlugin Entry;
  TPluginFile Probe{FixturePath(), nullptr};
  TLoadedPlugin Outer;  // the entry current before each call
};

struct TFault {
  const char* Name;
  TFixtureBehaviour Behaviour;
  uintptr_t Value;
  const wchar_t* Message;
  bool InPlugin;  // the faulting address lies in the plug-in
};

const TFault kFaults[] = {
    {"access violation", fbAccessViolation, 0, L"Access violation (exception code C0000005)", true},
    {"divide by zero", fbDivideByZero, 0, L"Integer divide by zero (exception code C0000094)", true},
    {"stack overflow", fbStackOverflow, 0, L"Stack overflow (exception code C00000FD)", true},
    {"foreign C++ exception", fbRaise, 0xE06D7363, L"C++ exception (Microsoft Visual C++) (exception code E06D7363)",
     false},
    {"Delphi exception", fbRaise, 0x0EEDFADE, L"Delphi exception (exception code 0EEDFADE)", false},
    {"fault under the plug-in's own frame", fbFaultInOwnFrame, 0, L"Access violation (exception code C0000005)", true},
};

}  // namespace

TEST_F(TGuardedCallTest, EveryFaultInEveryExportGivesTheFailureValueOneReportAndAUsableObject) {
  for (const TExportCall& call : kExportCalls) {
    TPluginFile& file = FileFor(call.Id);
    TFixtureControl plugin(file);
    const std::wstring pluginName = call.Id <= fiGetPluginVersion ? L"ZvFixture.zvx" : L"Fixture Entry";
    for (const TFault& fault : kFaults) {
      SCOPED_TRACE(std::string(ExportNames[call.Id - 1]) + ", " + fault.Name);
      Errors.Reports.clear();
      plugin.Set(call.Id, fault.Behaviour, fault.Value);
      const LONG unwinds = plugin.UnwindCount();
      CurrentPluginContext = &Outer;

      EXPECT_EQ(call.Call(file), call.Failure);
      EXPECT_EQ(CurrentPluginContext.load(), &Outer);
      EXPECT_EQ(file.GetCurrentFunction(), 0);
      EXPECT_EQ(plugin.UnwindCount() - unwinds, fault.Behaviour == fbFaultInOwnFrame ? 1 : 0);
      ASSERT_EQ(Errors.Reports.size(), 1u);
      const TRecordingErrorEntry::TReport& report = Errors.Reports[0];
      const std::wstring text = L"An exception occured while processing the \"" + ExportFunctionName(call.Id) +
                                L"\" function in the \"" + pluginName + L"\" plugin!";
      EXPECT_EQ(report.PluginFile, &file);
      EXPECT_EQ(report.Message, text);
      EXPECT_EQ(report.Error.Code, 10999u + call.Id);
      EXPECT_EQ(report.Error.Text, text);
      EXPECT_THAT(report.Error.AdditionalInfo,
                  StartsWith(std::wstring(L"Exception message: ") + fault.Message + L" at address "));
      EXPECT_THAT(report.Error.AdditionalInfo, EndsWith(L".\r\nStacktrace: "));
      if (fault.InPlugin) {
        EXPECT_THAT(report.Error.AdditionalInfo, HasSubstr(L"in module \"" + ModuleBaseName(file.Handle()) + L"\""));
      }

      plugin.Returns(call.Id, 0);
      call.Call(file);
      EXPECT_EQ(Errors.Reports.size(), 1u) << "the object is not usable after the fault";
    }
  }
}

TEST_F(TGuardedCallTest, ResultsAreConvertedAndOutOfRangeOnesBecomeTheEntrysLastError) {
  const std::string sixty(60, 'n'), threeHundred(300, 'i');
  const struct {
    TFunctionId Id;
    uintptr_t Returned;
    std::wstring Result;
    TErrorStruct LastError;
  } cases[] = {
      {fiTransformA, 7, L"7", {}},
      {fiTransformA, 8, L"0", {10000, L"ZV_Transform (Fixture Entry): Invalid return value (8).", L""}},
      {fiTransformA, 0xFFFFFFFF, L"0", {10000, L"ZV_Transform (Fixture Entry): Invalid return value (-1).", L""}},
      {fiSettings, 2, L"2", {}},
      {fiSettings, 3, L"0", {10001, L"ZV_Settings (Fixture Entry): Invalid return value (3).", L""}},
      {fiLoadA, 5, L"1", {}},
      {fiLoadA, 0, L"0", {}},
      {fiInitTransform, 0xFFFFFFFF, L"1", {}},
      {fiGetPluginID, 4000000000u, L"4000000000", {}},
      {fiGetPluginVersion, 120, L"120", {}},
      {fiInstallA, reinterpret_cast<uintptr_t>(sixty.c_str()), std::wstring(40, L'n'), {}},
      {fiInstallA, 0, L"", {}},
      {fiSettingsInfoA, reinterpret_cast<uintptr_t>(threeHundred.c_str()), std::wstring(255, L'i'), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(ExportNames[c.Id - 1]) + " returning " + std::to_string(c.Returned));
    TFixtureControl(FileFor(c.Id)).Returns(c.Id, c.Returned);
    Entry.PluginFile->SetLastError(5, L"from an earlier call", L"");  // cleared by calls 4..11
    EXPECT_EQ(Call(c.Id), c.Result);
    if (c.Id < fiLoadA) continue;
    const TErrorStruct error = Entry.PluginFile->GetLastError();
    EXPECT_EQ(error.Code, c.LastError.Code);
    EXPECT_EQ(error.Text, c.LastError.Text);
    EXPECT_EQ(error.AdditionalInfo, L"");
  }
  EXPECT_TRUE(Errors.Reports.empty());
}

TEST_F(TGuardedCallTest, ExportsReceiveTheWindowTheVersionTheRecordsAndTheGlobalFlag) {
  TPluginFile& file = *Entry.PluginFile;
  TFixtureControl plugin(file);
  Probe.Install(reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(TFixtureControl(Probe).LastArgument(fiInstallA, 0), 0x1234u);
  EXPECT_EQ(TFixtureControl(Probe).LastArgument(fiInstallA, 1), 100u);
  file.Load();
  EXPECT_EQ(plugin.LastArgument(fiLoadA), reinterpret_cast<uintptr_t>(GetPluginAPI()));
  file.Settings(true);
  EXPECT_EQ(plugin.LastArgument(fiSettings), 0xFFFFFFFFu);
  file.Settings(false);
  EXPECT_EQ(plugin.LastArgument(fiSettings), 0u);

  // The transform record carries a stream table only where the entry has the stream.
  TGeneralStream stream(CreateFromFile, TFileProperties{GetModuleDir() + L"\\fixtures", L"", L"ZvFixture", L"zvx"});
  TTransformInterface* transform = GetTransformInterface();
  for (TGeneralStream* input : {static_cast<TGeneralStream*>(nullptr), &stream}) {
    Entry.InputStream = input;
    Entry.OutputStream = input ? nullptr : &stream;
    file.Transform();
    EXPECT_EQ(plugin.LastArgument(fiTransformA), reinterpret_cast<uintptr_t>(transform));
    EXPECT_EQ(transform->Input, input ? GetInputStreamInterface() : nullptr);
    EXPECT_EQ(transform->Output, input ? nullptr : GetOutputStreamInterface());
  }
}

TEST_F(TGuardedCallTest, ReturnedTextsAreReadInsideTheGuardAndNeverPastTheirLimit) {
  const struct {
    TFunctionId Id;
    TFixtureBehaviour Behaviour;
    uintptr_t Value;
    std::wstring Text;  // empty: the read faults and is reported
  } cases[] = {
      {fiInstallA, fbReturn, 1, L""},
      {fiInstallA, fbNoAccessText, 39, L""},
      {fiInstallA, fbNoAccessText, 4000, std::wstring(40, L'A')},
      {fiSettingsInfoA, fbReturn, 1, L""},
      {fiSettingsInfoA, fbNoAccessText, 254, L""},
      {fiSettingsInfoA, fbNoAccessText, 4000, std::wstring(255, L'A')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(ExportNames[c.Id - 1]) + " " + std::to_string(c.Value));
    Errors.Reports.clear();
    TFixtureControl(FileFor(c.Id)).Set(c.Id, c.Behaviour, c.Value);
    EXPECT_EQ(Call(c.Id), c.Text);
    ASSERT_EQ(Errors.Reports.size(), c.Text.empty() ? 1u : 0u);
    if (!c.Text.empty()) continue;
    EXPECT_EQ(Errors.Reports[0].Error.Code, 10999u + c.Id);
    EXPECT_THAT(Errors.Reports[0].Error.AdditionalInfo, HasSubstr(L"Access violation"));
  }
}

namespace {
// What the nested-call hook saw; set by the test before ZV_Settings runs.
struct TNesting {
  TLoadedPlugin* Outer;
  TPluginFile* Inner;
  TLoadedPlugin* CurrentAfterNesting = nullptr;
  int32_t FunctionAfterNesting = -1;
} *Nesting = nullptr;

// Called by the plug-in from inside ZV_Settings: another entry's dialog, and
// the error entry asking the same plug-in for its ID, run nested calls.
uintptr_t __stdcall NestCalls() {
  Nesting->Inner->About();
  Nesting->Outer->PluginFile->GetPluginID();
  Nesting->CurrentAfterNesting = CurrentPlugin();
  Nesting->FunctionAfterNesting = Nesting->Outer->PluginFile->GetCurrentFunction();
  return 3;
}
}  // namespace

TEST_F(TGuardedCallTest, ANestedCallLeavesTheOuterCallsEntryAndFunctionInPlace) {
  TLoadedPlugin inner;
  inner.Name = L"Inner Entry";
  inner.PluginFile = std::make_unique<TPluginFile>(FixturePath(), &inner);
  ASSERT_TRUE(inner.PluginFile->ResolveExports());
  TNesting nesting{&Entry, inner.PluginFile.get()};
  Nesting = &nesting;
  TFixtureControl(*Entry.PluginFile).Set(fiSettings, fbCallHost, reinterpret_cast<uintptr_t>(&NestCalls));

  EXPECT_EQ(Entry.PluginFile->Settings(false), static_cast<uint32_t>(ZVS_ERROR));
  // A settings write right after the nested calls would find its entry and
  // ZV_Settings still running, so it is allowed.
  EXPECT_EQ(nesting.CurrentAfterNesting, &Entry);
  EXPECT_EQ(nesting.FunctionAfterNesting, fiSettings);
  EXPECT_EQ(Entry.PluginFile->GetLastError().Text, L"ZV_Settings (Fixture Entry): Invalid return value (3).");
  EXPECT_EQ(TFixtureControl(*inner.PluginFile).CallCount(), 1);
  EXPECT_EQ(CurrentPluginContext.load(), nullptr);
  Nesting = nullptr;
}

TEST(GuardedCdeclExports, SurviveBeingCalledAsStdcall) {
  TLoadedPlugin entry;
  entry.Name = L"Cdecl Entry";
  entry.PluginFile = std::make_unique<TPluginFile>(FixturePath(L"ZvFixtureCdecl"), &entry);
  ASSERT_TRUE(entry.PluginFile->ResolveExports());
  TFixtureControl plugin(*entry.PluginFile);
  for (uint32_t round = 0; round < 1000; ++round) {
    plugin.Returns(fiGetPluginID, round);
    plugin.Returns(fiSettings, round % 3);
    ASSERT_EQ(entry.PluginFile->GetPluginID(), round);
    ASSERT_EQ(entry.PluginFile->Settings(true), round % 3);
    ASSERT_EQ(entry.PluginFile->Install(nullptr), L"");
  }
  EXPECT_EQ(plugin.CallCount(), 3000);
}
