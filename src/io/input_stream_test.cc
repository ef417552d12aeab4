// Plain and gzip input, read ahead or not, give the same text or a read error.
#include "io/input_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::gzip_bytes;

std::string read_all(const std::string& raw, bool threaded) {
  auto stream = open_catalogue_stream(std::make_unique<memory_source>(raw), threaded).text;
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
    // Short inputs, and ones that only start like gzip.
    for (std::string small : {"", "\x1f", "\x1f\x8a rest", "x"}) EXPECT_EQ(read_all(small, threaded), small);
  }
}

// Serves its bytes a few at a time, so that gzip headers, trailers and the
// ends of deflate streams fall across the decoder's input blocks.
class trickle_source final : public byte_source {
 public:
  trickle_source(std::string_view data, std::size_t step) : data_(data), step_(step) {}
  std::size_t read(char* buf, std::size_t n) override { return data_.read(buf, std::min(n, step_)); }

 private:
  memory_source data_;
  std::size_t step_;
};

// A member with the optional header fields zlib can write, and the header's
// own CRC when hcrc is set.
std::string gzip_member(const std::string& plain, bool fields, bool hcrc) {
  std::string extra("XY\x04\0abcd", 8);
  gz_header header{};
  if (fields) {
    header.extra = reinterpret_cast<Bytef*>(extra.data());
    header.extra_len = static_cast<uInt>(extra.size());
    header.name = reinterpret_cast<Bytef*>(const_cast<char*>("MPCORB.DAT"));
    header.comment = reinterpret_cast<Bytef*>(const_cast<char*>("daily"));
  }
  header.hcrc = hcrc ? 1 : 0;
  return testing::gzip_bytes(plain, &header);
}

std::string flip(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  return bytes;
}

// Every case runs with whichever decoder this build uses (QUELVARN_INFLATE);
// CI builds the tests with each.
TEST(GzipSource, DecodesAndRefusesTheSameFilesWithEitherDecoder) {
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "record " + std::to_string(i * 7919) + "\n";
  std::string packed = gzip_bytes(text);
  std::string fielded = gzip_member("tail\n", true, true);
  std::size_t size = packed.size();
  struct test_case {
    const char* name;
    std::string compressed;
    std::optional<std::string> expected;  // nullopt: a read error
  };
  const std::vector<test_case> cases = {
      {"one member", packed, text},
      {"members joined with cat", packed + gzip_bytes("") + gzip_bytes("tail\n"), text + "tail\n"},
      {"only an empty member", gzip_bytes(""), ""},
      {"extra field, name, comment and header CRC", fielded + packed, "tail\n" + text},
      {"header CRC alone", gzip_member(text, false, true), text},
      {"wrong header CRC", flip(fielded, 10 + 2 + 8 + 11 + 6), std::nullopt},
      {"corrupt deflate data", flip(packed, size / 2), std::nullopt},
      {"wrong CRC-32", flip(packed, size - 6), std::nullopt},
      {"wrong length", flip(packed, size - 2), std::nullopt},
      {"unknown method", flip(packed, 2), std::nullopt},
      {"reserved flag", packed.substr(0, 3) + static_cast<char>(0x20) + packed.substr(4), std::nullopt},
      {"trailing garbage", packed + "garbage", std::nullopt},
      {"trailing zeros", packed + std::string(8, '\0'), std::nullopt},
      {"a second member cut short", packed + fielded.substr(0, 12), std::nullopt},
      {"no member", "", std::nullopt},
  };
  for (const test_case& c : cases) {
    for (std::size_t step : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(step) + " bytes at a time");
      gzip_source source(std::make_unique<trickle_source>(c.compressed, step));
      std::string got;
      auto read_rest = [&] {
        char buf[777];
        while (std::size_t n = source.read(buf, sizeof buf)) got.append(buf, n);
      };
      if (c.expected) {
        ASSERT_NO_THROW(read_rest());
        EXPECT_EQ(got, *c.expected);
      } else {
        EXPECT_THROW(read_rest(), read_error);
      }
    }
  }
  // Cut anywhere after the magic bytes, a member is refused.
  std::string both = fielded + gzip_bytes("more\n");
  for (std::size_t cut = 2; cut < both.size(); ++cut) {
    if (cut == fielded.size()) continue;
    EXPECT_THROW(read_all(both.substr(0, cut), false), read_error) << "cut at " << cut;
  }
  EXPECT_TRUE(std::string_view(gzip_decoder_name()) == "isa-l" || std::string_view(gzip_decoder_name()) == "zlib");
}

TEST(InputStream, BrokenGzipIsAReadError) {
  std::string packed = gzip_bytes(std::string(100000, 'a') + "\n");
  for (bool threaded : {false, true}) {
    EXPECT_THROW(read_all(packed.substr(0, packed.size() - 1), threaded), read_error);
    // The CRC flipped too, should the data still inflate.
    EXPECT_THROW(read_all(flip(flip(packed, packed.size() / 2), packed.size() - 6), threaded), read_error);
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
