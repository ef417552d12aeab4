#include <gtest/gtest.h>
#include <sys/stat.h>

#include "output_file.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

TEST(OutputFile, ReplacesOnlyOnCommit) {
  for (auto kind : {output_file::temporary::unnamed_if_possible, output_file::temporary::named}) {
    temp_dir dir;
    std::string target = dir.path("out.ini");
    write_file(target, "old");
    ::chmod(target.c_str(), 0604);
    {
      output_file out(target, kind);
      out.sink().write("abandoned");
    }
    EXPECT_EQ(read_file(target), "old");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.ini"});
    {
      output_file out(target, kind);
      out.sink().write("new");
      EXPECT_EQ(read_file(target), "old");
      out.commit();
    }
    EXPECT_EQ(read_file(target), "new");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.ini"});
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
  }
}

TEST(OutputFile, NewFilesFollowTheUmaskAndDanglingLinksAreFollowed) {
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
