// Paths from settings and scripts as they are opened.
#include "ProgramDir.h"

#include <gtest/gtest.h>

TEST(NativePath, BackslashesAndTheWindowsTemporaryFolder) {
  EXPECT_EQ(NativePath("mails\\in\\a.msg"), "mails/in/a.msg");
  EXPECT_EQ(NativePath("c:\\temp"), "/tmp");
  EXPECT_EQ(NativePath("C:\\TEMP\\Original_*.html"), "/tmp/Original_*.html");
  EXPECT_EQ(NativePath("c:/temp/x"), "/tmp/x");
  // Only that folder: a longer name or another drive stays as it is.
  EXPECT_EQ(NativePath("c:\\temporary"), "c:/temporary");
  EXPECT_EQ(NativePath("d:\\temp"), "d:/temp");
  EXPECT_EQ(NativePath("/home/c:\\temp"), "/home/c:/temp");
}
