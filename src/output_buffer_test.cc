#include "output_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

class failing_sink final : public byte_sink {
 public:
  void write(std::string_view) override { throw write_error("disk full"); }
};

TEST(OutputBuffer, KeepsOrderAcrossBlocksAndThreads) {
  std::string expected;
  for (int i = 0; i < 300000; ++i) expected += std::to_string(i) + ",";
  for (bool threaded : {false, true}) {
    string_sink sink;
    output_buffer out(sink, threaded);
    for (std::size_t at = 0; at < expected.size(); at += 7) {
      std::string_view piece = std::string_view(expected).substr(at, 7);
      if (at % 2 == 0) {
        out.append(piece);
      } else {
        char* p = out.reserve(piece.size());
        out.commit(std::copy(piece.begin(), piece.end(), p));
      }
    }
    out.finish();
    EXPECT_EQ(sink.text, expected);
  }
}

TEST(OutputBuffer, ReportsWriteErrors) {
  for (bool threaded : {false, true}) {
    failing_sink sink;
    output_buffer out(sink, threaded);
    out.append("small");
    EXPECT_THROW(out.finish(), write_error);
  }
  // A writer that fails early stops the producer, however much is left.
  failing_sink sink;
  output_buffer out(sink, true);
  EXPECT_THROW(for (int i = 0; i < 100; ++i) out.append(std::string(output_buffer::kBlockSize, 'x')), write_error);
}

}  // namespace
}  // namespace quelvarn
