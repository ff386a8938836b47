// The test plug-ins (tests/plugins/fixtures) as the tests drive them: where
// they lie, their test-only exports, and a recording error entry.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Module.h"
#include "plugins/PluginFile.h"
#include "services/ErrorEntry.h"

namespace zvtest {

// What an export of the configurable test plug-in does; see Fixture.c.
enum TFixtureBehaviour : int {
  fbReturn, fbAccessViolation, fbDivideByZero, fbStackOverflow, fbRaise, fbFaultInOwnFrame, fbCallHost, fbNoAccessText,
  fbPendingInvalid,
};
// The callback tables the test plug-in calls through ZVT_Call: those of the
// API record it got in ZV_LoadA, and of the transform record of its last
// ZV_TransformA (the stream tables as last handed over, kept).
enum TFixtureTable : int { ftAPI, ftResources, ftSettings, ftServices, ftTransform, ftInput, ftOutput };

inline std::wstring FixturePath(const std::wstring& name = L"ZvFixture") {
  return zv::GetModuleDir() + L"\\fixtures\\" + name + L".zvx";
}

// The test-only exports of one loaded instance of a test plug-in.
class TFixtureControl {
public:
  explicit TFixtureControl(const zv::TPluginFile& file) : FModule(file.Handle()) {}

  void Set(zv::TFunctionId id, TFixtureBehaviour behaviour, uintptr_t value = 0) {
    Export<void(__stdcall*)(int, int, uintptr_t)>("ZVT_Configure")(id, behaviour, value);
  }
  void Returns(zv::TFunctionId id, uintptr_t value) { Set(id, fbReturn, value); }
  LONG CallCount() { return Export<LONG(__stdcall*)()>("ZVT_CallCount")(); }
  LONG UnwindCount() { return Export<LONG(__stdcall*)()>("ZVT_UnwindCount")(); }  // the plug-in's own frame
  uintptr_t LastArgument(zv::TFunctionId id, int index = 0) {
    return Export<uintptr_t(__stdcall*)(int, int)>("ZVT_LastArgument")(id, index);
  }
  // Entry n of a table, called by the plug-in with 32-bit arguments through
  // a thunk that checks the stack pointer and the callee-saved registers.
  uint32_t Call(TFixtureTable table, int entry, const std::vector<uint32_t>& args = {}) {
    return Export<uint32_t(__stdcall*)(int, int, int, const uint32_t*)>("ZVT_Call")(
        table, entry, static_cast<int>(args.size()), args.data());
  }
  // Calls that broke the calling convention.
  LONG StackFaults() { return Export<LONG(__stdcall*)()>("ZVT_StackFaults")(); }

private:
  template <typename TFunction>
  TFunction Export(const char* name) {
    return reinterpret_cast<TFunction>(::GetProcAddress(FModule, name));
  }
  HMODULE FModule;
};

// Records every error that reaches the entry; registered while it lives.
class TRecordingErrorEntry : public zv::IErrorEntry {
public:
  struct TReport {
    zv::TPluginFile* PluginFile;
    std::wstring Message;
    zv::TErrorStruct Error;
  };
  TRecordingErrorEntry() { zv::GlobalErrorEntry = this; }
  ~TRecordingErrorEntry() override { zv::GlobalErrorEntry = nullptr; }
  void ReportError(zv::TPluginFile* file, const std::wstring& message, const zv::TErrorStruct& error) override {
    Reports.push_back({file, message, error});
  }
  std::vector<TReport> Reports;
};

}  // namespace zvtest
