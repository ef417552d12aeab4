// Small text helpers both record formats share.
#include "common/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quelvarn {

std::string_view trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && is_trim_space(text[first])) ++first;
  while (last > first && is_trim_space(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool all_digits(std::string_view text) { return std::all_of(text.begin(), text.end(), is_digit); }

bool all_blanks(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

namespace {

std::optional<double> c_locale_number(std::string_view text) {
  double value = 0;
  if (text.empty() || text[0] == '+') return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> decimal_number(std::string_view text, number_form form) {
  if (form == number_form::c_locale) return c_locale_number(text);
  std::string_view digits = text;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  std::size_t point = digits.find('.');
  std::string_view whole = digits.substr(0, point);
  std::string_view decimals = point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
  if (whole.size() + decimals.size() == 0 || !all_digits(whole) || !all_digits(decimals)) return std::nullopt;
  double value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return text[0] == '-' ? -value : value;
}

}  // namespace quelvarn
