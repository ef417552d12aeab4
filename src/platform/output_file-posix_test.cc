// Permissions and links of a replaced catalogue on POSIX systems.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/output_file.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

TEST(OutputFilePosix, TheReplacedFileKeepsItsMode) {
  for (auto kind : {output_file::temporary::unnamed_if_possible, output_file::temporary::named}) {
    temp_dir dir;
    std::string target = dir.path("out.ini");
    write_file(target, "old");
    ::chmod(target.c_str(), 0604);
    output_file out(target, kind);
    out.commit();
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
  }
}

TEST(OutputFilePosix, NewFilesFollowTheUmaskAndDanglingLinksAreFollowed) {
  temp_dir dir;
  ::symlink("target.ini", dir.path("link").c_str());
  mode_t old_mask = ::umask(027);
  {
    output_file out(dir.path("link"));
    out.sink().write("x");
    out.commit();
  }
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat(dir.path("target.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(dir.path("link")), "x");
}

}  // namespace
}  // namespace quelvarn
