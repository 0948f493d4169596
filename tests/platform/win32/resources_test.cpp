#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/resources.h"

using namespace win32;

TEST(Resources, FindLoadLockSizeInPlace) {
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(452), "MediaData");
  ASSERT_NE(r, nullptr);
  DWORD size = SizeofResource(nullptr, r);
  ASSERT_EQ(size, 18u);
  const void* p = LockResource(LoadResource(nullptr, r));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, "MediaData bytes\x00\x01\x02", 18), 0);
  // Locking twice gives the same pointer: the bytes are never copied.
  EXPECT_EQ(p, LockResource(LoadResource(nullptr, r)));
}

TEST(Resources, TypeNamesAreCaseInsensitiveAndIdsMayBeStrings) {
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(472), "customdata"), nullptr);
  EXPECT_NE(FindResourceA(nullptr, "#472", "CUSTOMDATA"), nullptr);
  ResourceBytes b = FindResourceBytes("CustomData", 472);
  ASSERT_NE(b.data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data), b.size), "second");
}

TEST(Resources, NumericTypesMatchOnlyNumbers) {
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(432), RT_BITMAP), nullptr);
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(432), "#2"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), RT_ICON), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), "2"), nullptr);
}

TEST(Resources, MissingGivesNullAndZero) {
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(453), "MediaData"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(452), "SOUND"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "name", "MediaData"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(452), nullptr), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
  ResourceBytes b = FindResourceBytes("MediaData", 999);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.size, 0u);
  EXPECT_EQ(ResourceCount(), 3u);
}
