// Small text helpers both record formats share: character classes, fixed
// columns, and numbers as the MPC writes them.
#ifndef QUELVARN_TEXT_H_
#define QUELVARN_TEXT_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace quelvarn {

/// A field of a fixed-column layout: its 0-based offset and its width.
struct column {
  std::size_t offset, width;
};

/// The field, cut short where the line ends; empty when the line ends
/// before it.
inline std::string_view field(std::string_view line, column c) {
  return c.offset < line.size() ? line.substr(c.offset, c.width) : std::string_view();
}

/// Blank, tab, LF and CR: what trim() takes away.
inline bool is_trim_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

/// The text without its leading and trailing blanks, tabs, CRs and LFs.
std::string_view trim(std::string_view text);

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool all_digits(std::string_view text);
bool all_blanks(std::string_view text);

/// How a number may be written: as the MPC writes its fields (an optional
/// sign, digits, an optional point and decimals), or as the planetarium
/// reads its values and users write option values, in the C locale (an
/// exponent allowed, no "+", finite).
enum class number_form { mpc, c_locale };

/// The value of all of the text as a number of that form; nothing for
/// anything else, blanks included.
std::optional<double> decimal_number(std::string_view text, number_form form = number_form::mpc);

}  // namespace quelvarn

#endif  // QUELVARN_TEXT_H_
