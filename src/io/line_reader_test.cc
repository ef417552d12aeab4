// Line splitting as text mode does it, and overlong lines.
#include "io/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quelvarn {
namespace {

// Hands out one byte per read, so that every line end falls on a block edge.
class trickle_source final : public byte_source {
 public:
  explicit trickle_source(std::string data) : data_(std::move(data)) {}
  std::size_t read(char* buf, std::size_t n) override {
    if (pos_ == data_.size() || n == 0) return 0;
    *buf = data_[pos_++];
    return 1;
  }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

// Lends blocks of a few bytes, so that lines span several of them.
class lending_source final : public block_source {
 public:
  lending_source(std::string data, std::size_t step) : data_(std::move(data)), step_(step) {}
  std::size_t read(char*, std::size_t) override { return 0; }
  std::string_view next_block() override {
    // The block before must not be read again: spoil it.
    std::fill(block_.begin(), block_.end(), '!');
    block_ = data_.substr(pos_, step_);
    pos_ += block_.size();
    return block_;
  }

 private:
  std::string data_;
  std::size_t step_;
  std::size_t pos_ = 0;
  std::string block_;
};

struct seen_line {
  std::string text;
  bool too_long;
  bool operator==(const seen_line&) const = default;
};

std::vector<seen_line> lines_of(byte_source& source) {
  line_reader reader(source, 16);
  std::vector<seen_line> lines;
  text_line line;
  while (reader.next(line)) {
    EXPECT_EQ(line.number, lines.size() + 1);
    lines.push_back({std::string(line.text), line.too_long});
  }
  return lines;
}

std::vector<seen_line> lines_of(const std::string& data) {
  memory_source whole(data);
  trickle_source trickled(data);
  std::vector<seen_line> lines = lines_of(whole);
  EXPECT_EQ(lines_of(trickled), lines);
  for (std::size_t step : {1, 3, 100000}) {
    lending_source lent(data, step);
    EXPECT_EQ(lines_of(lent), lines);
  }
  return lines;
}

TEST(LineReader, SplitsAsTextModeDoes) {
  using v = std::vector<seen_line>;
  EXPECT_EQ(lines_of(""), v{});
  EXPECT_EQ(lines_of("a\nb"), (v{{"a", false}, {"b", false}}));
  EXPECT_EQ(lines_of("a\r\n\r\n\nb\r"), (v{{"a", false}, {"", false}, {"", false}, {"b\r", false}}));
  EXPECT_EQ(lines_of("a\rb\r\r\n"), (v{{"a\rb\r", false}}));
  EXPECT_EQ(lines_of("\n"), (v{{"", false}}));
}

TEST(LineReader, CutsOverlongLinesWithoutHoldingThem) {
  const std::size_t max = line_reader::kMaxLineLength;
  std::string longest(max, 'x');
  std::string over(max + 1, 'y');
  auto lines = lines_of(longest + "\r\n" + over + "\r\n" + over + "\nz\n" + std::string(5 * max, 'w'));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], (seen_line{longest, false}));
  EXPECT_EQ(lines[1], (seen_line{over.substr(0, max), true}));
  EXPECT_EQ(lines[2], (seen_line{over.substr(0, max), true}));
  EXPECT_EQ(lines[3], (seen_line{"z", false}));
  EXPECT_EQ(lines[4], (seen_line{std::string(max, 'w'), true}));
}

}  // namespace
}  // namespace quelvarn
