#include <gtest/gtest.h>

#include <cstring>

#include "plugins/PluginFile.h"
#include "support/PluginFixtures.h"

using namespace zv;

TEST(BlockStore, HandsOutCopiesWithTheirByteSizesAndFreesEachOnce) {
  TPluginFile file(zvtest::FixturePath(L"missing"), nullptr);  // the store needs no library
  // A character outside the ANSI code page: its UTF-16 length and the copy's
  // byte count differ, and the plug-in may read exactly the bytes it is told.
  const char* text = file.StoreAnsiString(L"a\U0001F600b");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(file.GetResourceSize(text), static_cast<int32_t>(std::strlen(text)));
  const char* empty = file.StoreAnsiString(L"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(file.GetResourceSize(empty), 0);

  const char bytes[] = {1, 2, 3};
  void* data = file.StoreData(bytes, 3);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
  EXPECT_EQ(file.GetResourceSize(data), 3);
  EXPECT_EQ(file.StoreData(bytes, 0), nullptr);

  EXPECT_TRUE(file.FreeResource(data));
  EXPECT_FALSE(file.FreeResource(data));
  EXPECT_EQ(file.GetResourceSize(data), -1);
  EXPECT_FALSE(file.FreeResource(const_cast<char*>(bytes)));
  file.FreeAllResources();
  EXPECT_EQ(file.GetResourceSize(text), -1);
  EXPECT_FALSE(file.FreeResource(const_cast<char*>(empty)));
}
