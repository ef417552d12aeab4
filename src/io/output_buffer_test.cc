// Blocks written in order by each kind of writer, and write errors.
#include "io/output_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace quelvarn {
namespace {

class failing_sink final : public byte_sink {
 public:
  void write(std::string_view) override { throw write_error("disk full"); }
};

constexpr block_writer kWriters[] = {block_writer::caller, block_writer::thread, block_writer::shared};

// Another thread that writes whatever block is ready, as the decoding thread
// does with its spare time, until the buffer is finished.
class spare_writer {
 public:
  explicit spare_writer(output_buffer& out)
      : thread_([this, &out] {
          while (!stop_) out.write_ready_block();
        }) {}
  ~spare_writer() {
    stop_ = true;
    thread_.join();
  }
  spare_writer(const spare_writer&) = delete;
  spare_writer& operator=(const spare_writer&) = delete;

 private:
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

TEST(OutputBuffer, KeepsOrderAcrossBlocksAndThreads) {
  std::string expected;
  for (int i = 0; i < 1000000; ++i) expected += std::to_string(i) + ",";
  for (block_writer writer : kWriters) {
    string_sink sink;
    output_buffer out(sink, writer);
    spare_writer helper(out);
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
    if (writer != block_writer::caller) continue;
    // One made once serves many small outputs.
    out.append("more");
    out.finish();
    EXPECT_EQ(sink.text, expected + "more");
  }
}

TEST(OutputBuffer, ReportsWriteErrors) {
  for (block_writer writer : kWriters) {
    failing_sink sink;
    output_buffer out(sink, writer);
    out.append("small");
    EXPECT_THROW(out.finish(), write_error);
  }
  // A writer that fails early, on whichever thread, stops the producer
  // however much is left.
  for (block_writer writer : {block_writer::thread, block_writer::shared}) {
    failing_sink sink;
    output_buffer out(sink, writer);
    spare_writer helper(out);
    EXPECT_THROW(for (int i = 0; i < 100; ++i) out.append(std::string(output_buffer::kBlockSize, 'x')), write_error);
  }
}

}  // namespace
}  // namespace quelvarn
