// A catalogue replaced only on commit, on every platform.
#include "platform/output_file.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

// On every platform: nothing reaches the target before commit(), nothing is
// left beside it, and lines end as the system's text files do.
TEST(OutputFile, ReplacesOnlyOnCommit) {
  for (auto kind : {output_file::temporary::unnamed_if_possible, output_file::temporary::named}) {
    temp_dir dir;
    std::string target = dir.path("out.ini");
    write_file(target, "old");
    {
      output_file out(target, kind);
      out.sink().write("abandoned\n");
    }
    EXPECT_EQ(read_file(target), "old");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.ini"});
    {
      output_file out(target, kind);
      out.sink().write("[1ceres]\n");
      out.sink().write("name = Ceres\n");
      EXPECT_EQ(read_file(target), "old");
      out.commit();
    }
    EXPECT_EQ(read_file(target), "[1ceres]" + std::string(kLineEnd) + "name = Ceres" + std::string(kLineEnd));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.ini"});
  }
}

}  // namespace
}  // namespace quelvarn
