#include <gtest/gtest.h>

#include "platform/TextConv.h"

using namespace zv;

TEST(TextConv, AnsiRoundTripAndNull) {
  EXPECT_EQ(AnsiToWide("Zentavo 1.0"), L"Zentavo 1.0");
  EXPECT_EQ(WideToAnsi(L"a\\b.c"), "a\\b.c");
  // Look-alikes of the separators must not become separators in a plug-in's name.
  EXPECT_EQ(WideToAnsi(L"a\x2215" L"b\xFF3C" L"c\xFF0F" L"d"), "a?b?c?d");
  EXPECT_EQ(AnsiZToWide(nullptr), L"");
  EXPECT_EQ(AnsiToWide(""), L"");
}
