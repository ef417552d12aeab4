#include "download_cache.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "io.h"
#include "output_file.h"
#include "platform.h"

namespace quelvarn {
namespace {

// The first line of a validators file, so that a file of an older or newer
// layout is never taken for one of this.
constexpr std::string_view kFormat = "quelvarn validators 1";
// Larger than any validators file we write: anything bigger is not ours.
constexpr std::size_t kMaxValidatorsSize = 64 * 1024UL;

std::string hex_hash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = kDigits[hash & 15];
  return hex;
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

}  // namespace

kept_copy::kept_copy(const std::string& cache_dir, std::string url_) : url(std::move(url_)) {
  std::string base = cache_dir;
  if (!base.empty() && base.back() != '/' && base.back() != kPathSeparator) base.push_back(kPathSeparator);
  data_path = base + hex_hash(url) + "-" + readable_name(url);
  validators_path = data_path + ".validators";
}

validators kept_copy::read_validators() const {
  std::string text;
  try {
    input_file in = open_input(validators_path);
    char buffer[4096];
    while (std::size_t n = in.source->read(buffer, sizeof buffer)) {
      text.append(buffer, n);
      if (text.size() > kMaxValidatorsSize) return {};
    }
  } catch (const read_error&) {
    return {};
  }
  std::string_view rest = text;
  validators kept;
  bool ours = false;
  bool same_url = false;
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    std::string_view key = line.substr(0, line.find(' '));
    std::string_view value = line.substr(std::min(line.size(), key.size() + 1));
    if (line == kFormat) ours = true;
    if (key == "url") same_url = value == url;
    if (key == "etag") kept.etag = value;
    if (key == "last-modified") kept.last_modified = value;
  }
  return ours && same_url ? kept : validators{};
}

void kept_copy::write_validators(const validators& kept) const {
  std::string text = std::string(kFormat) + "\nurl " + url + "\n";
  if (one_line(kept.etag) && !kept.etag.empty()) text += "etag " + kept.etag + "\n";
  if (one_line(kept.last_modified) && !kept.last_modified.empty()) text += "last-modified " + kept.last_modified + "\n";
  output_file out(validators_path);
  out.binary_sink().write(text);
  out.commit();
}

}  // namespace quelvarn
