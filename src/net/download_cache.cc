#include "net/download_cache.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/output_file.h"

namespace quelvarn {
namespace {

// The first line of a validators file, so that a file of an older or newer
// layout is never taken for one of this.
constexpr std::string_view kFormat = "quelvarn validators 1";
// Larger than any validators file we write: anything bigger is not ours.
constexpr std::size_t kMaxValidatorsSize = 64 * 1024UL;

constexpr std::uint64_t kMultiplier1 = 0x87c37b91114253d5ULL;
constexpr std::uint64_t kMultiplier2 = 0x4cf5ad432745937fULL;

std::string hex(std::uint64_t value) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

std::string hex_hash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return hex(hash);
}

// The URL's last path segment, in characters every file system takes.
std::string readable_name(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  std::string_view last = url.substr(url.rfind('/') + 1);
  std::string name;
  for (char c : last.substr(0, 64)) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    name.push_back(plain ? c : '_');
  }
  return name.empty() || name.front() == '.' ? "download" + name : name;
}

// Header values are one line of text; anything else is not kept.
bool one_line(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

std::optional<std::uint64_t> number(std::string_view text, int base) {
  std::uint64_t n = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return n;
}

std::string read_small_file(const std::string& path) {
  std::string text;
  input_file in = open_input(path);
  char buffer[4096];
  while (std::size_t n = in.source->read(buffer, sizeof buffer)) {
    text.append(buffer, n);
    if (text.size() > kMaxValidatorsSize) throw read_error("not a validators file");
  }
  return text;
}

// The record in a validators file's text; nothing when it is not ours or
// belongs to another URL.
std::optional<kept_record> parse_record(std::string_view rest, const std::string& url) {
  kept_record record;
  bool ours = false;
  bool same_url = false;
  std::optional<std::uint64_t> length;
  std::optional<std::uint64_t> checksum;
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    std::string_view key = line.substr(0, line.find(' '));
    std::string_view value = line.substr(std::min(line.size(), key.size() + 1));
    if (line == kFormat) ours = true;
    if (key == "url") same_url = value == url;
    if (key == "etag") record.said.etag = value;
    if (key == "last-modified") record.said.last_modified = value;
    if (key == "length") length = number(value, 10);
    if (key == "checksum") checksum = number(value, 16);
  }
  if (!ours || !same_url) return std::nullopt;
  if (length && checksum) record.check = copy_check{*length, *checksum};
  return record;
}

std::string record_text(const std::string& url, const kept_record& record) {
  std::string text = std::string(kFormat) + "\nurl " + url + "\n";
  const validators& said = record.said;
  if (one_line(said.etag) && !said.etag.empty()) text += "etag " + said.etag + "\n";
  if (one_line(said.last_modified) && !said.last_modified.empty()) text += "last-modified " + said.last_modified + "\n";
  if (record.check) {
    text += "length " + std::to_string(record.check->length) + "\nchecksum " + hex(record.check->checksum) + "\n";
  }
  return text;
}

}  // namespace

// Eight bytes at a time, each word mixed in by steps that cannot map two
// different words to the same state: any one changed word changes the result.
void copy_checksum::mix(std::uint64_t word) {
  hash_ ^= word * kMultiplier1;
  hash_ = ((hash_ << 31) | (hash_ >> 33)) * kMultiplier2;
}

void copy_checksum::add(std::string_view bytes) {
  length_ += bytes.size();
  if (tail_size_ > 0) {
    std::size_t take = std::min(bytes.size(), sizeof tail_ - tail_size_);
    std::memcpy(tail_ + tail_size_, bytes.data(), take);
    tail_size_ += take;
    bytes.remove_prefix(take);
    if (tail_size_ < sizeof tail_) return;
    std::uint64_t word = 0;
    std::memcpy(&word, tail_, sizeof word);
    mix(word);
    tail_size_ = 0;
  }
  for (; bytes.size() >= 8; bytes.remove_prefix(8)) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data(), sizeof word);
    mix(word);
  }
  std::memcpy(tail_, bytes.data(), bytes.size());
  tail_size_ = bytes.size();
}

copy_check copy_checksum::result() const {
  copy_checksum last = *this;
  std::uint64_t word = 0;
  std::memcpy(&word, tail_, tail_size_);
  last.mix(word ^ length_);
  std::uint64_t h = last.hash_;
  h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdULL;
  h = (h ^ (h >> 33)) * 0xc4ceb9fe1a85ec53ULL;
  return {length_, h ^ (h >> 33)};
}

copy_check check_of(byte_source& source) {
  copy_checksum sum;
  constexpr std::size_t kBlock = 256 * 1024UL;
  auto buffer = std::make_unique_for_overwrite<char[]>(kBlock);
  while (std::size_t n = source.read(buffer.get(), kBlock)) sum.add(std::string_view(buffer.get(), n));
  return sum.result();
}

kept_copy::kept_copy(const std::string& cache_dir, std::string url_) : url(std::move(url_)) {
  std::string base = cache_dir;
  if (!base.empty() && base.back() != '/' && base.back() != kPathSeparator) base.push_back(kPathSeparator);
  data_path = base + hex_hash(url) + "-" + readable_name(url);
  validators_path = data_path + ".validators";
  lock_path = data_path + ".lock";
}

std::optional<opened_copy> kept_copy::open() const {
  try {
    // No lock file: no run has kept a copy here yet (or none can, in a
    // cache shared read-only), and the check catches the rare run that
    // keeps one while this one reads.
    std::optional<file_lock> lock;
    try {
      lock.emplace(lock_path, file_lock::kind::shared);
    } catch (const write_error&) {
    }
    std::optional<kept_record> record = parse_record(read_small_file(validators_path), url);
    if (!record) return std::nullopt;
    return opened_copy{std::move(*record), open_input(data_path), open_input(data_path)};
  } catch (const read_error&) {
    return std::nullopt;
  }
}

void kept_copy::replace(output_file& new_copy, const kept_record& record) const {
  output_file written(validators_path);
  written.binary_sink().write(record_text(url, record));
  file_lock lock(lock_path, file_lock::kind::exclusive);
  new_copy.commit();
  try {
    written.commit();
  } catch (const io_error&) {
    // No record may be left that names another copy.
    (void)remove_file(validators_path);
    throw;
  }
}

void kept_copy::drop(const kept_record& seen) const {
  try {
    file_lock lock(lock_path, file_lock::kind::exclusive);
    if (parse_record(read_small_file(validators_path), url) != seen) return;
    (void)remove_file(validators_path);
    (void)remove_file(data_path);
  } catch (const io_error&) {
    // Left as it is: the next run checks it again.
  }
}

}  // namespace quelvarn
