// The catalogue file as a run's target: what it reads, and when it refuses to
// put the new catalogue in place.
#include "run/file_target.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quelvarn {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

// Two updates of one catalogue at once: the one that ends later would throw
// away the other's work, so it fails, and leaves what the other wrote.
TEST(FileTarget, AnUpdateOfACatalogueChangedMeanwhileFails) {
  temp_dir dir;
  std::string path = dir.path("ssystem_minor.ini");
  for (bool changed : {false, true}) {
    write_file(path, "[x]\n");
    file_target target(path, std::nullopt, false, std::nullopt);
    ASSERT_EQ(target.existing(), "[x]\n");
    target.open();
    target.sink(catalogue_target::line_ends::as_written).write("[x]\n[y]\n");
    if (changed) write_file(path, "[x]\n[z]\n");
    if (changed) {
      EXPECT_THROW(target.commit(), write_error);
    } else {
      target.commit();
    }
    EXPECT_EQ(read_file(path), changed ? "[x]\n[z]\n" : "[x]\n[y]\n");
  }
  EXPECT_EQ(dir.names(), std::vector<std::string>{"ssystem_minor.ini"});
}

}  // namespace
}  // namespace quelvarn
