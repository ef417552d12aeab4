// The planetarium's reading of one catalogue line.
#include "catalogue/ini_lines.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace quelvarn {
namespace {

// Space, tab, vertical tab and form feed, looked up rather than compared:
// a byte is tested at each end of every key and value.
constexpr std::array<bool, 256> kBlank = [] {
  std::array<bool, 256> blank{};
  for (unsigned char c : {' ', '\t', '\v', '\f'}) blank[c] = true;
  return blank;
}();

bool is_blank(char c) { return kBlank[static_cast<unsigned char>(c)]; }

std::size_t skip_blanks(std::string_view text, std::size_t from) {
  while (from < text.size() && is_blank(text[from])) ++from;
  return from;
}

// Keys are padded to a column with spaces: eight of them make one compare.
bool eight_spaces(const char* at) {
  constexpr std::uint64_t kEightSpaces = 0x2020202020202020;
  std::uint64_t word = 0;
  std::memcpy(&word, at, sizeof word);
  return word == kEightSpaces;
}

std::size_t back_over_blanks(std::string_view text, std::size_t end, std::size_t floor) {
  while (end - floor >= sizeof(std::uint64_t) && eight_spaces(text.data() + end - sizeof(std::uint64_t))) {
    end -= sizeof(std::uint64_t);
  }
  while (end > floor && is_blank(text[end - 1])) --end;
  return end;
}

}  // namespace

ini_line classify(std::string_view content) {
  ini_line line;
  std::size_t end = std::min(content.find('#'), content.size());
  std::size_t begin = skip_blanks(content, 0);
  end = back_over_blanks(content, end, begin);
  std::string_view text = content.substr(begin, end - begin);
  if (text.size() >= 3 && text.front() == '[' && text.back() == ']') {
    line.kind = ini_line::header;
    line.name = text.substr(1, text.size() - 2);
    return line;
  }
  std::size_t equals = content.find('=', begin);
  if (equals == std::string_view::npos || equals >= end || equals == begin) return line;
  line.kind = ini_line::key;
  line.key_begin = begin;
  line.equals = equals;
  line.name = content.substr(begin, back_over_blanks(content, equals, begin) - begin);
  // An empty value's place is before the comment, if there is one.
  line.value_begin = skip_blanks(content, equals + 1);
  line.value_end = std::max(end, line.value_begin);
  return line;
}

// Two searches of the library rather than a loop over the bytes: a line
// is read for every line of the catalogue, and in the fuzzers each byte
// compared in a loop of our own is a call to the coverage hooks.
raw_line line_at(std::string_view text, std::size_t pos) {
  std::size_t stop = std::min(text.find('\n', pos), text.size());
  stop = std::min(text.substr(0, stop).find('\r', pos), stop);
  std::size_t next = stop;
  if (next < text.size()) next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
  const char* at = text.data();
  return {{at + pos, stop - pos}, {at + stop, next - stop}, next};
}

bool reads_as_catalogue(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return false;
  if (text.starts_with("\x1f\x8b") || text.starts_with("PK\x03\x04") || text.starts_with("PK\x05\x06")) return false;
  constexpr std::size_t kLookedAt = std::size_t{64} << 10;
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  std::string_view start = text.substr(0, kLookedAt);
  if (start.starts_with(kUtf8Mark)) start.remove_prefix(kUtf8Mark.size());
  bool blank = true;
  for (std::size_t pos = 0; pos < start.size();) {
    raw_line raw = line_at(start, pos);
    pos = raw.next;
    if (classify(raw.content).kind != ini_line::other) return true;
    blank = blank && skip_blanks(raw.content, 0) == raw.content.size();
  }
  return blank && text.size() <= kLookedAt;
}

}  // namespace quelvarn
