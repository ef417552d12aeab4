// The CR LF conversion of text written for Windows.
#include "common/io.h"

#include <gtest/gtest.h>

namespace quelvarn {
namespace {

TEST(CrlfSink, TurnsEveryLineFeedIntoCrLfAcrossWrites) {
  string_sink out;
  crlf_sink text(out);
  for (std::string_view piece : {"[1ceres]\nname = Ceres\n", "", "\n\nend", "\n"}) text.write(piece);
  EXPECT_EQ(out.text, "[1ceres]\r\nname = Ceres\r\n\r\n\r\nend\r\n");
}

}  // namespace
}  // namespace quelvarn
