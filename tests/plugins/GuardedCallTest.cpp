#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "plugins/PluginFile.h"
#include "plugins/ZentavoAPI.h"
#include "support/HostFloatingPoint.h"
#include "support/PluginFixtures.h"

using namespace zv;
using namespace zvtest;
using ::testing::EndsWith;
using ::testing::StartsWith;

namespace {

// Each export as the tests call it, its result as text so that one table holds them all.
struct TExportCall {
  TFunctionId Id;
  std::function<std::wstring(TPluginFile&)> Call;
  std::wstring Failure;  // what the guarded call answers after an exception
};

const std::vector<TExportCall> kExportCalls = {
    {fiInstallA, [](TPluginFile& f) { return f.Install(reinterpret_cast<HWND>(0x1234)); }, L""},
    {fiGetPluginID, [](TPluginFile& f) { return std::to_wstring(f.GetPluginID()); }, L"0"},
    {fiGetPluginVersion, [](TPluginFile& f) { return std::to_wstring(f.GetPluginVersion()); }, L"0"},
    {fiLoadA, [](TPluginFile& f) { return std::to_wstring(f.Load()); }, L"0"},
    {fiUnload, [](TPluginFile& f) { return f.Unload(), std::wstring(); }, L""},
    {fiInitTransform, [](TPluginFile& f) { return std::to_wstring(f.InitTransform()); }, L"0"},
    {fiDoneTransform, [](TPluginFile& f) { return f.DoneTransform(), std::wstring(); }, L""},
    {fiTransformA, [](TPluginFile& f) { return std::to_wstring(f.Transform()); }, L"1"},
    {fiSettingsInfoA, [](TPluginFile& f) { return f.GetSettingsInfo(); }, L""},
    {fiSettings, [](TPluginFile& f) { return std::to_wstring(f.Settings(false)); }, L"1"},
    {fiAbout, [](TPluginFile& f) { return f.About(), std::wstring(); }, L""},
};

std::wstring ModuleBaseName(HMODULE module) {
  wchar_t path[MAX_PATH];
  const std::wstring name(path, ::GetModuleFileNameW(module, path, MAX_PATH));
  return name.substr(name.find_last_of(L'\\') + 1);
}

// A probe of the test plug-in, a pipe entry beside it (run from a private
// copy, as the library is loaded already), and a recording error entry; the
// calls are made under the floating-point state of a hostile host.
class TGuardedCallTest : public ::testing::Test {
protected:
  TGuardedCallTest() {
    Entry.Name = L"Fixture Entry";
    Entry.PluginFile = std::make_unique<TPluginFile>(FixturePath(), &Entry);
  }
  ~TGuardedCallTest() override { CurrentPluginContext = nullptr; }
  void SetUp() override {
    ASSERT_TRUE(Entry.PluginFile->ResolveExports());
    ASSERT_TRUE(Probe.ResolveExports());
  }

  TPluginFile& FileFor(TFunctionId id) { return id <= fiGetPluginVersion ? Probe : *Entry.PluginFile; }
  std::wstring Call(TFunctionId id) { return kExportCalls[id - 1].Call(FileFor(id)); }

  const TX87ControlWord HostFloatingPoint;
  TRecordingErrorEntry Errors;
  TLoadedPlugin Entry;
  TPluginFile Probe{FixturePath(), nullptr};
  TLoadedPlugin Outer;  // the entry current before each call
};

// Faults and the start of their message; those raised with RaiseException
// happen in the system's module, the others in the plug-in's.
const struct {
  TFixtureBehaviour Behaviour;
  uintptr_t Value;
  const wchar_t* Message;
} kFaults[] = {
    {fbAccessViolation, 0, L"Access violation (exception code C0000005)"},
    {fbDivideByZero, 0, L"Integer divide by zero (exception code C0000094)"},
    {fbStackOverflow, 0, L"Stack overflow (exception code C00000FD)"},
    {fbRaise, 0xE06D7363, L"C++ exception (Microsoft Visual C++) (exception code E06D7363)"},
    {fbRaise, 0x0EEDFADE, L"Delphi exception (exception code 0EEDFADE)"},
    {fbFaultInOwnFrame, 0, L"Access violation (exception code C0000005)"},
};

}  // namespace

TEST_F(TGuardedCallTest, EveryFaultInEveryExportGivesTheFailureValueOneReportAndAUsableObject) {
  for (const TExportCall& call : kExportCalls) {
    TPluginFile& file = FileFor(call.Id);
    TFixtureControl plugin(file);
    const std::wstring pluginName = call.Id <= fiGetPluginVersion ? L"ZvFixture.zvx" : L"Fixture Entry";
    for (const auto& fault : kFaults) {
      SCOPED_TRACE(testing::Message() << ExportNames[call.Id - 1] << ", behaviour " << fault.Behaviour);
      Errors.Reports.clear();
      plugin.Set(call.Id, fault.Behaviour, fault.Value);
      const LONG unwinds = plugin.UnwindCount();
      CurrentPluginContext = &Outer;

      EXPECT_EQ(call.Call(file), call.Failure);
      EXPECT_EQ(X87ControlWord(), HostControlWordRead);
      EXPECT_EQ(CurrentPluginContext.load(), &Outer);
      EXPECT_EQ(file.GetCurrentFunction(), 0);
      EXPECT_EQ(plugin.UnwindCount() - unwinds, fault.Behaviour == fbFaultInOwnFrame ? 1 : 0);
      ASSERT_EQ(Errors.Reports.size(), 1u);
      const auto& [reported, message, error] = Errors.Reports[0];
      EXPECT_EQ(reported, &file);
      EXPECT_EQ(message, L"An exception occured while processing the \"" + ExportFunctionName(call.Id) +
                             L"\" function in the \"" + pluginName + L"\" plugin!");
      EXPECT_EQ(error.Code, 10999u + call.Id);
      EXPECT_EQ(error.Text, message);
      EXPECT_THAT(error.AdditionalInfo, StartsWith(L"Exception message: " + std::wstring(fault.Message)));
      EXPECT_THAT(error.AdditionalInfo, EndsWith(L".\r\nStacktrace: "));
      const std::wstring module = L"in module \"" + ModuleBaseName(file.Handle()) + L"\".";
      EXPECT_EQ(error.AdditionalInfo.find(module) != std::wstring::npos, fault.Behaviour != fbRaise);

      plugin.Returns(call.Id, 0);
      call.Call(file);
      EXPECT_EQ(Errors.Reports.size(), 1u) << "the object is not usable after the fault";
    }
  }
}

TEST_F(TGuardedCallTest, ResultsAreCheckedAndTextsReadInsideTheGuardWithinTheirLimits) {
  const std::string sixty(60, 'n');
  const struct {
    TFunctionId Id;
    TFixtureBehaviour Behaviour;
    uintptr_t Value;
    std::wstring Result;
    TErrorStruct LastError;
    bool Reported = false;  // reading the text faulted
  } cases[] = {
      {fiTransformA, fbReturn, 7, L"7", {}},
      {fiTransformA, fbReturn, 8, L"0", {10000, L"ZV_Transform (Fixture Entry): Invalid return value (8).", L""}},
      {fiSettings, fbReturn, 2, L"2", {}},
      {fiSettings, fbReturn, 3, L"0", {10001, L"ZV_Settings (Fixture Entry): Invalid return value (3).", L""}},
      {fiLoadA, fbReturn, 5, L"1", {}},
      {fiGetPluginID, fbReturn, 4000000000u, L"4000000000", {}},
      {fiInstallA, fbReturn, reinterpret_cast<uintptr_t>(sixty.c_str()), std::wstring(40, L'n'), {}},
      {fiInstallA, fbReturn, 0, L"", {}},
      {fiInstallA, fbReturn, 1, L"", {}, true},
      {fiInstallA, fbNoAccessText, 39, L"", {}, true},
      {fiInstallA, fbNoAccessText, 4000, std::wstring(40, L'A'), {}},
      {fiSettingsInfoA, fbNoAccessText, 254, L"", {}, true},
      {fiSettingsInfoA, fbNoAccessText, 4000, std::wstring(255, L'A'), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << ExportNames[c.Id - 1] << " " << c.Behaviour << " " << c.Value);
    Errors.Reports.clear();
    TFixtureControl(FileFor(c.Id)).Set(c.Id, c.Behaviour, c.Value);
    Entry.PluginFile->SetLastError(5, L"from an earlier call", L"");  // cleared by calls 4..11
    EXPECT_EQ(Call(c.Id), c.Result);
    ASSERT_EQ(Errors.Reports.size(), c.Reported ? 1u : 0u);
    if (c.Reported) {
      EXPECT_EQ(Errors.Reports[0].Error.Code, 10999u + c.Id);
    }
    if (c.Id < fiLoadA) continue;
    const TErrorStruct error = Entry.PluginFile->GetLastError();
    EXPECT_EQ(error.Code, c.LastError.Code);
    EXPECT_EQ(error.Text, c.LastError.Text);
    EXPECT_EQ(error.AdditionalInfo, L"");
  }
  // The window, the version and the global flag reach the exports.
  TFixtureControl probe(Probe), entry(*Entry.PluginFile);
  EXPECT_EQ(probe.LastArgument(fiInstallA, 0), 0x1234u);
  EXPECT_EQ(probe.LastArgument(fiInstallA, 1), 100u);
  EXPECT_EQ(entry.LastArgument(fiSettings), 0u);
  Entry.PluginFile->Settings(true);
  EXPECT_EQ(entry.LastArgument(fiSettings), 0xFFFFFFFFu);
}

// A plug-in that returns normally with an invalid-operation flag pending has
// not crashed: the call answers what a clean return gives, and the host's
// control word comes back without the flag, which it unmasks, so that our
// next x87 instruction does not raise it. MXCSR is as the call found it.
TEST_F(TGuardedCallTest, AFlagLeftPendingIsNoFaultAndTheHostsStateComesBackWithoutIt) {
  const uint32_t before = Mxcsr(), hostMxcsr = before | 0x20;  // a precision flag of the host's own
  for (const TExportCall& call : kExportCalls) {
    SCOPED_TRACE(ExportNames[call.Id - 1]);
    TPluginFile& file = FileFor(call.Id);
    TFixtureControl plugin(file);
    const uintptr_t value = call.Id == fiInstallA || call.Id == fiSettingsInfoA ? 0 : 2;  // texts: none
    plugin.Returns(call.Id, value);
    const std::wstring clean = call.Call(file);
    plugin.Set(call.Id, fbPendingInvalid, value);
    LoadMxcsr(hostMxcsr);
    Errors.Reports.clear();

    EXPECT_EQ(call.Call(file), clean);
    const uint16_t flags = X87PendingFlags();
    const uint32_t mxcsr = Mxcsr();
    EXPECT_EQ(X87ControlWord(), HostControlWordRead);
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(mxcsr, hostMxcsr);
    EXPECT_TRUE(Errors.Reports.empty()) << WideToAnsi(Errors.Reports[0].Error.AdditionalInfo);
  }
  LoadMxcsr(before);
}

namespace {
// The entries of the nesting test, and what its hook saw.
TLoadedPlugin *OuterEntry, *InnerEntry, *CurrentAfterNesting;
int32_t FunctionAfterNesting;

// Called by the plug-in inside ZV_Settings: another entry's dialog and the
// error entry asking the same plug-in for its ID make nested calls.
uintptr_t __stdcall NestCalls() {
  InnerEntry->PluginFile->About();
  OuterEntry->PluginFile->GetPluginID();
  CurrentAfterNesting = CurrentPlugin();
  FunctionAfterNesting = OuterEntry->PluginFile->GetCurrentFunction();
  return 3;
}
}  // namespace

TEST_F(TGuardedCallTest, ANestedCallLeavesTheOuterCallsEntryAndFunctionInPlace) {
  TLoadedPlugin inner;
  inner.PluginFile = std::make_unique<TPluginFile>(FixturePath(), &inner);
  ASSERT_TRUE(inner.PluginFile->ResolveExports());
  OuterEntry = &Entry;
  InnerEntry = &inner;
  TFixtureControl(*Entry.PluginFile).Set(fiSettings, fbCallHost, reinterpret_cast<uintptr_t>(&NestCalls));

  EXPECT_EQ(Entry.PluginFile->Settings(false), static_cast<uint32_t>(ZVS_ERROR));
  // So a settings write after the nested calls finds its entry inside ZV_Settings.
  EXPECT_EQ(CurrentAfterNesting, &Entry);
  EXPECT_EQ(FunctionAfterNesting, fiSettings);
  EXPECT_EQ(Entry.PluginFile->GetLastError().Text, L"ZV_Settings (Fixture Entry): Invalid return value (3).");
  EXPECT_EQ(TFixtureControl(*inner.PluginFile).CallCount(), 1);
  EXPECT_EQ(CurrentPluginContext.load(), nullptr);
}

TEST(GuardedCdeclExports, SurviveBeingCalledAsStdcall) {
  TPluginFile file(FixturePath(L"ZvFixtureCdecl"), nullptr);
  ASSERT_TRUE(file.ResolveExports());
  TFixtureControl plugin(file);
  for (uint32_t round = 0; round < 1000; ++round) {
    plugin.Returns(fiGetPluginID, round);
    ASSERT_EQ(file.GetPluginID(), round);
    ASSERT_EQ(file.Install(nullptr), L"");  // two arguments left on the stack each time
  }
  EXPECT_EQ(plugin.CallCount(), 2000);
}
