#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CallbackTest.h"
#include "engine/TransformProgress.h"
#include "frontend/TCUtilities.h"
#include "services/ServiceFakes.h"
#include "support/HostFloatingPoint.h"

using namespace zv;
using namespace zvtest;

namespace {

// The batch's runner as the transform callbacks reach it; -7 % asks to abort.
struct TRunner : ITransformProgress {
  bool SetProgress(int32_t percent) override {
    FloatingPoint = X87ControlWord();
    Flags = X87PendingFlags();
    return Calls.push_back(std::to_string(percent)), percent == -7;
  }
  void SetStatus(const char* text) override { Calls.push_back(text ? text : "(null)"); }
  bool SetWriteProgress(int32_t) override { return false; }
  std::vector<std::string> Calls;
  uint16_t FloatingPoint = 0;  // the x87 control word of the last call
  uint16_t Flags = 0;          // and the exception flags pending then
};

using TSmallTablesTest = TCallbackTest;

}  // namespace

TEST_F(TSmallTablesTest, ErrorsServicesAndProgressReachTheirReceiversUnderOurFloatingPointSettings) {
  const std::string message(300, 'm'), details(2000, 'd'), status(300, 's');
  const TErrorStruct before{3, L"before", L""};
  const struct {
    uint32_t Code;
    const char *Message, *Details;
    TErrorStruct After;
  } errors[] = {
      {9999, "x", nullptr, {9999, L"x", L""}},
      {10000, "x", nullptr, before},
      {1, nullptr, "d", before},
      {1, "", "d", before},
      {5, message.c_str(), details.c_str(), {5, std::wstring(255, L'm'), std::wstring(1023, L'd')}},
  };
  TRunner runner;
  ActiveTransformManager = &runner;
  ParentWindow = reinterpret_cast<HWND>(0x1234);
  uint16_t plugInControlWord = 0;
  Inside(fiTransformA, [&] {
    for (const auto& row : errors) {
      Entry.PluginFile->SetLastError(before.Code, before.Text, before.AdditionalInfo);
      EXPECT_EQ(Call(ftAPI, 0, {row.Code, Arg(row.Message), Arg(row.Details)}), row.After.Code == 3 ? 0 : True);
      const TErrorStruct error = Entry.PluginFile->GetLastError();
      EXPECT_EQ(error.Code, row.After.Code);
      EXPECT_EQ(error.Text + L"|" + error.AdditionalInfo, row.After.Text + L"|" + row.After.AdditionalInfo);
    }
    EXPECT_EQ(Call(ftServices, 0), 100u);
    EXPECT_EQ(Call(ftServices, 1), 0x1234u);
    EXPECT_EQ(Call(ftTransform, 2, {150}), 0u);
    EXPECT_EQ(Call(ftTransform, 2, {static_cast<uint32_t>(-7)}), True);
    for (const char* text : {"busy", static_cast<const char*>(nullptr), status.c_str()})
      Call(ftTransform, 3, {Arg(text)});
    // A plug-in's runtime that unmasks every x87 exception keeps its setting; we do not run under it.
    TX87ControlWord::Load(0x0360);
    Call(ftTransform, 2, {1});
    plugInControlWord = X87ControlWord();
    TX87ControlWord::Load(0x037F);
    ActiveTransformManager = nullptr;
    EXPECT_EQ(Call(ftTransform, 2, {50}), 0u);
  });
  ParentWindow = nullptr;
  EXPECT_EQ(runner.Calls, (std::vector<std::string>{"150", "-7", "busy", "(null)", std::string(255, 's'), "1"}));
  EXPECT_EQ(runner.FloatingPoint, 0x037F);
  EXPECT_EQ(plugInControlWord, 0x0360);
  EXPECT_TRUE(Errors.Reports.empty());
}

// A plug-in calls back with an invalid-operation flag pending under the
// host's control word: our code runs without the flag, the plug-in gets its
// own state back, and its normal return afterwards is no fault.
TEST_F(TSmallTablesTest, APluginsPendingFlagStaysItsOwnAcrossACallbackAndItsReturnIsNoFault) {
  const TX87ControlWord host;
  TRunner runner;
  ActiveTransformManager = &runner;
  uint16_t plugInControlWord = 0, plugInFlags = 0;
  Inside(fiTransformA, [&] {
    LeaveInvalidPending();
    Call(ftTransform, 2, {50});
    plugInControlWord = X87ControlWord();
    plugInFlags = X87PendingFlags();
  });
  ActiveTransformManager = nullptr;
  EXPECT_EQ(runner.Calls, std::vector<std::string>{"50"});
  EXPECT_EQ(runner.FloatingPoint, 0x037F);
  EXPECT_EQ(runner.Flags, 0);
  EXPECT_EQ(plugInControlWord, HostControlWordRead);
  EXPECT_EQ(plugInFlags, 1);
  EXPECT_EQ(X87ControlWord(), HostControlWordRead);
  EXPECT_EQ(X87PendingFlags(), 0);
  EXPECT_TRUE(Errors.Reports.empty());
}

TEST_F(TSmallTablesTest, TheOutputNameIsAskedOnlyWhereItCanBeApplied) {
  // Confirmed, the name applies; cancelled, the stream keeps it.
  for (const auto& [confirm, name] : {std::pair{true, "out.txt"}, std::pair{false, "other.bin"}}) {
    TGuiDriver driver([confirm] {
      HWND form = WaitForWindow(L"Set a name for the output stream");
      EXPECT_NE(FindChild(form, L"Name of the copy"), nullptr);
      ClickButton(form, confirm ? L"OK" : L"Cancel");
    });
    Inside(fiTransformA, [&] { EXPECT_EQ(Call(ftTransform, 4, {Arg("Name of the copy"), Arg(name)}), confirm ? True : 0); });
    driver.Join();
    EXPECT_EQ(Output.GetFileProperties().Name + L"." + Output.GetFileProperties().Extension, L"out.txt");
  }
  Entry.OutputStream = nullptr;
  const auto ask = [&] { Inside(fiTransformA, [&] { EXPECT_EQ(Call(ftTransform, 4, {Arg("p"), Arg("x.bin")}), 0u); }); };
  EXPECT_EQ(CountShownWindows(ask), 0);
}
