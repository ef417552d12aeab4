// Helpers shared by the tests.
#include "test_support.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "common/version.h"

namespace quelvarn::testing {

temp_dir::temp_dir() {
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("quelvarn-test-" + std::to_string(seed()));
    if (std::filesystem::create_directory(dir)) {
      dir_ = dir.generic_string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory could be made");
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> temp_dir::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string gzip_bytes(const std::string& plain, gz_header_s* header) {
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (header != nullptr) deflateSetHeader(&zs, header);
  // Room for the header's optional fields too.
  std::string out(deflateBound(&zs, plain.size()) + 100, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

const std::string& genuine_header() {
  static const std::string text = read_file(QUELVARN_TEST_DATA "/mpcorb-header.txt");
  return text;
}

const std::string& genuine_records() {
  static const std::string text = read_file(QUELVARN_TEST_DATA "/mpcorb-records.txt");
  return text;
}

std::string banner() { return std::string("\n quelvarn ") + kVersion + "\n\n"; }

std::string failure(const std::string& message) { return "\n" + message + "\n" + banner(); }

std::string crlf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace quelvarn::testing
