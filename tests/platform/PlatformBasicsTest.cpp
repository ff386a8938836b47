#include <gtest/gtest.h>

#include <windows.h>

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

// Seeking and sizing beyond 2 GiB are the overflow file's, in the mixed stream's tests.
TEST(FileStream, AMissingFileRaisesWithTheSystemCode) {
  zvtest::TTempDir dir;
  try {
    TFileStream file(dir / L"missing.bin", TFileMode::OpenRead);
    FAIL() << "no exception";
  } catch (const EZvOSError& e) {
    EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
}
