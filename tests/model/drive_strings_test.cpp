#include "model/drive_strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace devlore {
namespace {

// "A:\ C:\ D:\" as the platform lists them, with the final NUL.
const char kList[] = "A:\\\0C:\\\0D:\\\0";
const uint32_t kLength = sizeof kList - 2;  // without the final NUL, as GetLogicalDriveStringsA returns

TEST(CountDriveStrings, CountsEntries) {
  EXPECT_EQ(3u, CountDriveStrings(kList, kLength));
  EXPECT_EQ(1u, CountDriveStrings("C:\\\0", 3));
  EXPECT_EQ(0u, CountDriveStrings("\0", 0));
  EXPECT_EQ(0u, CountDriveStrings(nullptr, 10));
}

TEST(GetDriveString, CopiesOneEntryWithItsTerminator) {
  char out[16];
  EXPECT_EQ(4u, GetDriveString(kList, kLength, out, sizeof out, 0));
  EXPECT_STREQ("A:\\", out);
  EXPECT_EQ(4u, GetDriveString(kList, kLength, out, sizeof out, 2));
  EXPECT_STREQ("D:\\", out);
}

TEST(GetDriveString, RefusesMissingEntriesAndBadArguments) {
  char out[16] = "unchanged";
  EXPECT_EQ(0u, GetDriveString(kList, kLength, out, sizeof out, 3));
  EXPECT_EQ(0u, GetDriveString(nullptr, kLength, out, sizeof out, 0));
  EXPECT_EQ(0u, GetDriveString(kList, 0, out, sizeof out, 0));
  EXPECT_EQ(0u, GetDriveString(kList, kLength, nullptr, sizeof out, 0));
  EXPECT_STREQ("unchanged", out);
}

TEST(GetDriveString, NeverWritesPastTheOutputBuffer) {
  const char list[] = "C:\\a-very-long-mount-point\\\0";
  char out[20];
  std::memset(out, 'X', sizeof out);
  EXPECT_EQ(0u, GetDriveString(list, sizeof list - 2, out, 16, 0));
  EXPECT_EQ('X', out[16]);
  EXPECT_EQ(0u, GetDriveString(list, sizeof list - 2, out, 0, 0));
}

}  // namespace
}  // namespace devlore
