// The keys and names by which a catalogue's section is a body.
#include "catalogue/section_identity.h"

#include <algorithm>
#include <charconv>

#include "records/selection.h"

namespace quelvarn {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string normalized_number(std::string_view text) {
  std::string number = normalized_id(text);
  bool digits = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
  if (digits) number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
  return number;
}

std::string_view periodic_prefix(std::string_view name) {
  std::size_t digits = name.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || digits + 1 >= name.size()) return {};
  std::size_t slash = name.find('/', digits + 1);
  std::size_t fragment = slash - (digits + 1);
  if (slash == std::string_view::npos ||
      !(fragment == 0 || ((fragment == 2 || fragment == 3) && name[digits + 1] == '-'))) {
    return {};
  }
  return name.substr(0, slash);
}

std::optional<int> apparition_of(std::string_view name) {
  constexpr std::size_t kSuffix = 7;  // " (2024)"
  if (name.size() <= kSuffix || !name.ends_with(')')) return std::nullopt;
  std::string_view suffix = name.substr(name.size() - kSuffix);
  if (suffix.substr(0, 2) != " (" || !std::all_of(suffix.begin() + 2, suffix.end() - 1, is_digit)) return std::nullopt;
  int year = 0;
  std::from_chars(suffix.data() + 2, suffix.data() + 6, year);
  return year;
}

std::string identity_key(char kind, std::string_view text) {
  if (kind != '#') return normalized_id(text, std::string_view(&kind, 1));
  std::string key = normalized_number(text);
  key.insert(key.begin(), kind);
  return key;
}

}  // namespace quelvarn
