// The scratch file of --update: given back whole, nothing left behind.
#include "platform/spool_file.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace quelvarn {
namespace {

using testing::temp_dir;

// What goes in comes back whole, from the start, and the scratch file is
// gone with the spool, beside an output that does not exist yet and where
// its folder is missing (the temporary directory serves then).
TEST(SpoolFile, GivesBackWhatWasWrittenAndLeavesNothingBehind) {
  temp_dir dir;
  std::string written;
  for (int i = 0; written.size() < (3 << 20); ++i) written += "[section" + std::to_string(i) + "]\n\x01\xff\r\n";
  for (const std::string& output : {dir.path("ssystem_minor.ini"), dir.path("missing/ssystem_minor.ini")}) {
    {
      spool_file spool(output);
      for (std::size_t at = 0; at < written.size(); at += 100000) spool.sink().write(written.substr(at, 100000));
      byte_source& back = spool.rewind();
      std::string read;
      char buffer[65536];
      while (std::size_t n = back.read(buffer, sizeof buffer)) read.append(buffer, n);
      EXPECT_EQ(read, written) << output;
    }
    EXPECT_TRUE(dir.names().empty()) << output;
  }
}

}  // namespace
}  // namespace quelvarn
