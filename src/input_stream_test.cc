#include "input_stream.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::gzip_bytes;

std::string read_all(const std::string& raw, bool threaded) {
  auto stream = open_catalogue_stream(std::make_unique<memory_source>(raw), threaded);
  std::string text;
  char buf[1000];
  while (std::size_t n = stream->read(buf, sizeof buf)) text.append(buf, n);
  return text;
}

TEST(InputStream, PlainAndGzipGiveTheSameText) {
  std::string plain;
  for (int i = 0; i < 20000; ++i) plain += "line " + std::to_string(i) + "\n";
  for (bool threaded : {false, true}) {
    EXPECT_EQ(read_all(plain, threaded), plain);
    EXPECT_EQ(read_all(gzip_bytes(plain), threaded), plain);
    // Members joined with cat are read on.
    EXPECT_EQ(read_all(gzip_bytes(plain) + gzip_bytes("") + gzip_bytes("tail\n"), threaded), plain + "tail\n");
    // Short inputs, and ones that only start like gzip.
    for (std::string small : {"", "\x1f", "\x1f\x8a rest", "x"}) EXPECT_EQ(read_all(small, threaded), small);
  }
}

TEST(InputStream, BrokenGzipIsAReadError) {
  std::string packed = gzip_bytes(std::string(100000, 'a') + "\n");
  std::string corrupt = packed;
  corrupt[packed.size() / 2] ^= 0x55;
  corrupt[packed.size() - 6] ^= 0x55;  // the CRC, should the data still inflate
  for (bool threaded : {false, true}) {
    EXPECT_THROW(read_all(packed.substr(0, packed.size() - 1), threaded), read_error);
    EXPECT_THROW(read_all(packed.substr(0, 30), threaded), read_error);
    EXPECT_THROW(read_all(corrupt, threaded), read_error);
    EXPECT_THROW(read_all(packed + "garbage", threaded), read_error);
  }
}

TEST(InputFile, AFileThatShrinksUnderUsIsAReadError) {
  testing::temp_dir dir;
  std::string path = dir.path("in");
  testing::write_file(path, std::string(10000, 'x'));
  input_file in = open_input(path);
  char buf[4000];
  EXPECT_EQ(in.source->read(buf, sizeof buf), sizeof buf);
  std::filesystem::resize_file(path, 5000);
  EXPECT_EQ(in.source->read(buf, sizeof buf), 1000u);
  EXPECT_THROW(in.source->read(buf, sizeof buf), read_error);
}

TEST(InputFile, MissingFilesAndDirectoriesAreRefusedWithTheirCause) {
  testing::temp_dir dir;
  for (const std::string& path : {dir.path("missing"), dir.path("")}) {
    try {
      open_input(path);
      ADD_FAILURE() << path;
    } catch (const read_error& e) {
      EXPECT_TRUE(e.code() == std::errc::no_such_file_or_directory || e.code() == std::errc::is_a_directory) << path;
      EXPECT_STRNE(e.what(), "") << path;
    }
  }
}

}  // namespace
}  // namespace quelvarn
