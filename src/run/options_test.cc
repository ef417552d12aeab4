// Options in any order, and the errors that name them.
#include "run/options.h"

#include <gtest/gtest.h>

namespace quelvarn {
namespace {

options parse(const std::vector<std::string_view>& args) { return parse_options(args); }

TEST(Options, PathsAndOptionsInAnyOrder) {
  options o = parse({"--update", "in", "--max-magnitude", "12.5", "out", "--numbered", "--class=neo,pha", "--body",
                     "433", "--body=2024 YR4", "--limit=10"});
  EXPECT_TRUE(o.update);
  EXPECT_EQ(o.paths, (std::vector<std::string>{"in", "out"}));
  EXPECT_EQ(o.select.max_magnitude, 12.5);
  EXPECT_TRUE(o.select.numbered);
  EXPECT_EQ(o.select.classes.flag_bits, 2048U | 32768U);
  EXPECT_EQ(o.select.bodies, (std::vector<std::string>{"433", "2024 YR4"}));
  EXPECT_EQ(o.select.limit, 10U);
  EXPECT_TRUE(o.select.any());

  o = parse({"in", "--", "--update", "-"});
  EXPECT_FALSE(o.update);
  EXPECT_EQ(o.paths, (std::vector<std::string>{"in", "--update", "-"}));
  EXPECT_FALSE(o.select.any());
  EXPECT_TRUE(parse({"a", "-h"}).help);
  EXPECT_TRUE(parse({"--version"}).version);
  EXPECT_EQ(parse({"--max-magnitude", "-1"}).select.max_magnitude, -1.0);
  EXPECT_EQ(parse({"--limit", "0"}).select.limit, 0U);
  EXPECT_EQ(parse({"--cache-dir", "/tmp/c", "a"}).cache_dir, "/tmp/c");
  // No layout given: the run chooses (classic, or the catalogue's own).
  EXPECT_EQ(parse({"a"}).layout, std::nullopt);
  EXPECT_EQ(parse({"--layout=current"}).layout, section_layout::current);
  EXPECT_EQ(parse({"--layout", "classic"}).layout, section_layout::classic);
}

TEST(Options, ErrorsNameTheOption) {
  struct {
    std::vector<std::string_view> args;
    std::string message;
  } cases[] = {
      {{"--frobnicate", "a", "b"}, " unknown option --frobnicate"},
      {{"a", "b", "-x"}, " unknown option -x"},
      {{"a", "b", "--limit"}, " option --limit needs a value"},
      {{"--limit", "-3", "a", "b"}, " option --limit needs a whole number of 0 or more, not \"-3\""},
      {{"--limit=1.5"}, " option --limit needs a whole number of 0 or more, not \"1.5\""},
      {{"--limit="}, " option --limit needs a whole number of 0 or more, not \"\""},
      {{"--max-magnitude", "abc"}, " option --max-magnitude needs a number, not \"abc\""},
      {{"--numbered=yes"}, " option --numbered takes no value"},
      {{"--body", "  "}, " option --body needs a number, designation or name"},
      {{"--cache-dir="}, " option --cache-dir needs a folder"},
  };
  for (const auto& c : cases) {
    try {
      parse_options(c.args);
      ADD_FAILURE() << c.message;
    } catch (const usage_error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
  try {
    parse({"--class", "neo,asteroid"});
    ADD_FAILURE();
  } catch (const usage_error& e) {
    EXPECT_EQ(std::string(e.what()),
              " option --class: unknown class \"asteroid\"; the classes are " + orbit_class_names());
  }
}

}  // namespace
}  // namespace quelvarn
