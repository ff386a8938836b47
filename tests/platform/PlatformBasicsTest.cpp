#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include "platform/Stream.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "support/TestFiles.h"

using namespace zv;

TEST(TextConv, AnsiRoundTripAndNull) {
  EXPECT_EQ(AnsiToWide("Zentavo 1.0"), L"Zentavo 1.0");
  EXPECT_EQ(WideToAnsi(L"a\\b.c"), "a\\b.c");
  // Look-alikes of the separators must not become separators in a plug-in's name.
  EXPECT_EQ(WideToAnsi(L"a\x2215" L"b\xFF3C" L"c\xFF0F" L"d"), "a?b?c?d");
  EXPECT_EQ(AnsiZToWide(nullptr), L"");
  EXPECT_EQ(AnsiToWide(""), L"");
}

TEST(FileStream, SeeksBeyondTwoGibibytesAndAMissingFileRaisesWithTheSystemCode) {
  zvtest::TTempDir dir;
  {
    TFileStream file(dir / L"big.bin", TFileMode::Create);
    DWORD unused = 0;  // sparse: the 2 GiB before the data take no disk space
    ::DeviceIoControl(file.Handle(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
    const int64_t beyond = (int64_t(1) << 31) + 17;
    ASSERT_EQ(file.Seek(beyond, soBeginning), beyond);
    ASSERT_EQ(file.Write("xyz", 3), 3);
    EXPECT_EQ(file.GetSize(), beyond + 3);
    ASSERT_EQ(file.Seek(beyond, soBeginning), beyond);
    char back[3] = {};
    ASSERT_EQ(file.Read(back, 3), 3);
    EXPECT_EQ(std::string(back, 3), "xyz");
    file.SetSize(5);
    EXPECT_EQ(file.GetSize(), 5);
  }
  try {
    TFileStream file(dir / L"missing.bin", TFileMode::OpenRead);
    FAIL() << "no exception";
  } catch (const EZvOSError& e) {
    EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
}
