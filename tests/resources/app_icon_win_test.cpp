// The application icon IDI_APP in the program's resources: one icon group
// with the 16, 24, 32, 48 and 256 pixel images, each loadable at its size.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>

#include "res/resource_ids.h"

namespace {

// The icon group resource as the resource compiler stores it.
#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;  // 0 stands for 256
  BYTE height;
  BYTE colorCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved;
  WORD type;  // 1: icon
  WORD count;
};
#pragma pack(pop)

TEST(AppIcon, GroupHoldsEverySizeInFullColour) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(data, nullptr);
  GroupIconHeader header;
  std::memcpy(&header, data, sizeof header);
  EXPECT_EQ(header.type, 1);
  ASSERT_EQ(SizeofResource(module, found), sizeof header + header.count * sizeof(GroupIconEntry));

  std::set<int> sizes;
  for (WORD i = 0; i < header.count; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, data + sizeof header + i * sizeof entry, sizeof entry);
    const int width = entry.width == 0 ? 256 : entry.width;
    const int height = entry.height == 0 ? 256 : entry.height;
    EXPECT_EQ(width, height);
    EXPECT_EQ(entry.bitCount, 32) << width;
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(entry.id), RT_ICON), nullptr) << width;
    sizes.insert(width);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256}));
}

TEST(AppIcon, LoadsAtEachSize) {
  for (int size : {16, 24, 32, 48, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                               IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(bitmap.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

}  // namespace
