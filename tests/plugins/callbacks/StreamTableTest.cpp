#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "CallbackTest.h"

using namespace zv;
using namespace zvtest;

using TStreamTableTest = TCallbackTest;

TEST_F(TStreamTableTest, EntriesAnswerAsTheirStreamAndReportEachRefusalOnce) {
  char data[8] = {};
  const int64_t big = (int64_t{5} << 30) + 3;  // both halves of 64-bit values cross
  int64_t size = -1, position = -1;
  Inside(fiTransformA, [&] {
    RunRows({
        {ftOutput, 1, {Arg("\\sub\\dir\\")}, True},
        {ftOutput, 3, {Arg("C:\\x\\report.final.pdf")}, True},
        {ftOutput, 5, {Arg("tar.gz")}, True},
        {ftOutput, 10, {Arg(data), 8}, 0},
        {ftOutput, 12, {}, True},
        {ftOutput, 7, {Low(-1), High(-1)}, 0},
        {ftOutput, 7, {Low(big), High(big)}, True},
        {ftOutput, 9, {Low(big - 1), High(big - 1), 0}, True},
        {ftOutput, 9, {Low(-2), High(-2), 1}, True},
        {ftOutput, 8, {Arg(&position)}, True},
        {ftInput, 1, {Arg("x")}, 0, 12001, L"Setting the path for the input stream is not allowed"},
        {ftInput, 7, {5, 0}, 0, 12007, L"Setting the size for the input stream is not allowed"},
        {ftInput, 11, {Arg(data), 1}, Failed, 12011, L"Writing in the input stream is not allowed"},
        {ftInput, 12, {}, 0},
        {ftInput, 6, {Arg(&size)}, True},
        {ftInput, 10, {Arg(data), 8}, 8},
        {ftInput, 10, {Arg(data), 8}, 2},
        {ftInput, 10, {Arg(data), 8}, 0},
        {ftInput, 12, {}, True},
        {ftInput, 9, {Low(-3), High(-3), 2}, True},
        {ftInput, 10, {Arg(data), 8}, 3},
    });
    // The stream reports a bad move type itself, not as an exception.
    EXPECT_EQ(Call(ftOutput, 9, {0, 0, 3}), 0u);
    ASSERT_EQ(Errors.Reports.size(), 1u);
    EXPECT_EQ(Errors.Reports[0].Message, L"TTransformStream.Seek (Fixture): Invalid MoveType value (3).");
  });
  EXPECT_EQ(size, 10);
  EXPECT_EQ(position, big - 3);
  EXPECT_EQ(std::string(data, 8), "78934567");
  const TFileProperties output = Output.GetFileProperties();
  EXPECT_EQ(output.Path + L"|" + output.Name + L"|" + output.Extension, L"sub\\dir|report.final|gz");
}

// ctest runs this once more under a double-byte code page (ZV_EXPECT_ACP),
// where a text's ANSI copy is longer than its UTF-16 form.
TEST_F(TStreamTableTest, GetterTextsAreFreshBlocksSizedInBytesOfTheirCopyAndFreedOnce) {
  if (const char* codePage = std::getenv("ZV_EXPECT_ACP")) {
    ASSERT_EQ(::GetACP(), std::strtoul(codePage, nullptr, 10));
  }
  Output.SetFileProperties({Temp.Path(), L"sub", L"n\u65E5\u672C", L"ext"});
  std::atomic<int> freed{0};
  Inside(fiTransformA, [&] {
    for (const TFixtureTable table : {ftInput, ftOutput}) {
      for (int entry : {0, 2, 4}) {
        const auto text = reinterpret_cast<const char*>(Call(table, entry));
        ASSERT_TRUE(text && text != reinterpret_cast<const char*>(Call(table, entry)));
        RunRows({{ftResources, 2, {Arg(text)}, static_cast<uint32_t>(std::strlen(text))},
                 {ftResources, 0, {Arg(text)}, True},
                 {ftResources, 0, {Arg(text)}, 0},
                 {ftResources, 2, {Arg(text)}, Failed}});
      }
    }
    const auto path = reinterpret_cast<const char*>(Call(ftOutput, 0));
    EXPECT_STREQ(path, "sub");
    Call(ftResources, 1);  // frees every block at once
    EXPECT_EQ(Call(ftResources, 2, {Arg(path)}), Failed);
    EXPECT_EQ(Call(ftResources, 2, {Call(ftInput, 2)}), 6u);
    // Two plug-in threads take and free blocks of both streams at once.
    auto worker = [&](TFixtureTable table) {
      for (int i = 0; i < 10000; ++i) freed += Call(ftResources, 0, {Call(table, 2)}) == True;
    };
    std::thread input(worker, ftInput), output(worker, ftOutput);
    input.join();
    output.join();
  });
  EXPECT_EQ(freed, 20000);
}

TEST_F(TStreamTableTest, BadPointersAndAMissingEntryGiveTheFailureResultAndLeaveNoLockHeld) {
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  auto* pages = static_cast<char*>(::VirtualAlloc(nullptr, 4 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD old;
  ::VirtualProtect(pages + page, page, PAGE_NOACCESS, &old);
  ::VirtualProtect(pages + 2 * page, page, PAGE_READONLY, &old);
  ::VirtualProtect(pages + 3 * page, page, PAGE_READWRITE | PAGE_GUARD, &old);
  char* const runsIntoNoAccess = static_cast<char*>(std::memset(pages + page - 5, 'A', 5));
  const std::wstring fault = L"Access violation", read = L"The buffer of 16 bytes cannot be read",
                     written = L"The buffer of 16 bytes cannot be written";
  Entry.PluginSettings->WriteNumber(L"x", 1);
  Inside(fiTransformA, [&] {
    RunRows({
        {ftOutput, 3, {Arg(runsIntoNoAccess)}, 0, 13003, fault},
        {ftOutput, 11, {Arg(runsIntoNoAccess), 16}, Failed, 13011, read},
        {ftOutput, 11, {16, 16}, Failed, 13011, read},
        {ftInput, 10, {Arg(pages + 2 * page), 16}, Failed, 12010, written},
        {ftInput, 10, {Arg(pages + 3 * page), 16}, Failed, 12010, written},
        {ftOutput, 6, {Arg(pages + 2 * page)}, 0, 13006, fault},
        {ftInput, 8, {Arg(pages + page)}, 0, 12008, fault},
        {ftSettings, 0, {Arg(runsIntoNoAccess), 7}, 7, 14000, fault},
        {ftSettings, 8, {16}, 0, 14008, fault},
    });
  });
  ::VirtualFree(pages, 0, MEM_RELEASE);
  // A plug-in thread calling after its call has ended reaches nothing.
  RunRows({{ftInput, 10, {Arg(pages), 4}, Failed}, {ftInput, 12, {}, True}, {ftOutput, 0, {}, 0},
           {ftSettings, 1, {Arg("x"), 9}, 9}, {ftResources, 2, {Arg(pages)}, Failed},
           {ftAPI, 0, {5, Arg("m"), 0}, 0}, {ftTransform, 2, {50}, 0}});

  auto others = std::async(std::launch::async, [&] {
    int64_t size;
    return Output.GetSize(&size) && !Input.IsEndOfStream() && Entry.PluginSettings->ReadNumber(L"x", 0) == 1;
  });
  ASSERT_EQ(others.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(others.get());
}
