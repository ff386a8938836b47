#include <gtest/gtest.h>

#include <cstring>

#include "plugins/PluginFile.h"
#include "support/PluginFixtures.h"

using namespace zv;

TEST(BlockStore, HandsOutCopiesWithTheirByteSizesAndFreesEachOnce) {
  TPluginFile file(zvtest::FixturePath(L"missing"), nullptr);  // the store needs no library
  // A character outside the ANSI code page: the copy's byte count, which the
  // plug-in may read, is not the text's UTF-16 length.
  const char* text = file.StoreAnsiString(L"a\U0001F600b");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(file.GetResourceSize(text), static_cast<int32_t>(std::strlen(text)));
  EXPECT_EQ(file.GetResourceSize(file.StoreAnsiString(L"")), 0);
  const char bytes[] = {1, 2, 3};
  void* data = file.StoreData(bytes, 3);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
  EXPECT_EQ(file.StoreData(bytes, 0), nullptr);

  EXPECT_TRUE(file.FreeResource(data));
  EXPECT_FALSE(file.FreeResource(data));
  EXPECT_EQ(file.GetResourceSize(data), -1);
  file.FreeAllResources();
  EXPECT_EQ(file.GetResourceSize(text), -1);
}
