// A record's identity, and the options that choose records.
#include "records/selection.h"

#include <array>
#include <charconv>
#include <cmath>

#include "common/text.h"

namespace quelvarn {
namespace {

struct orbit_class {
  std::string_view name;
  std::uint64_t types;
  std::uint32_t flag_bits;
};

constexpr std::uint64_t type_bit(int type) { return std::uint64_t{1} << type; }

// The MPC's orbit types (the low 6 bits of the flags) and flag bits.
constexpr std::array<orbit_class, 16> kClasses{{
    {"atira", type_bit(1), 0},
    {"aten", type_bit(2), 0},
    {"apollo", type_bit(3), 0},
    {"amor", type_bit(4), 0},
    {"mars-crosser", type_bit(5) | type_bit(6) | type_bit(7), 0},
    {"hilda", type_bit(8), 0},
    {"trojan", type_bit(9), 0},
    {"centaur", type_bit(10), 0},
    {"plutino", type_bit(14), 0},
    {"resonant-tno", type_bit(15), 0},
    {"cubewano", type_bit(16), 0},
    {"sdo", type_bit(17), 0},
    {"tno", type_bit(14) | type_bit(15) | type_bit(16) | type_bit(17), 0},
    {"neo", 0, 2048},
    {"km-neo", 0, 4096},
    {"pha", 0, 32768},
}};

}  // namespace

std::string normalized_id(std::string_view text, std::string_view prefix) {
  std::string out;
  out.reserve(prefix.size() + text.size());
  out.append(prefix);
  bool blank_pending = false;
  for (char c : trim(text)) {
    if (is_trim_space(c)) {
      blank_pending = true;
      continue;
    }
    if (blank_pending) out.push_back(' ');
    blank_pending = false;
    out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return out;
}

bool orbit_classes::contains(std::string_view flags) const {
  flags = trim(flags);
  if (flags.empty() || flags.size() > 4) return false;
  unsigned value = 0;
  auto [end, error] = std::from_chars(flags.data(), flags.data() + flags.size(), value, 16);
  // from_chars takes a leading minus sign for a number; flags have none.
  if (error != std::errc() || end != flags.data() + flags.size() || flags[0] == '-') return false;
  return ((types >> (value & 63U)) & 1U) != 0 || (flag_bits & value) != 0;
}

std::optional<std::string> add_orbit_classes(std::string_view list, orbit_classes& classes) {
  orbit_classes added;
  for (;;) {
    std::size_t comma = list.find(',');
    std::string name = normalized_id(list.substr(0, comma));
    const orbit_class* known = nullptr;
    for (const orbit_class& c : kClasses) {
      if (c.name == name) known = &c;
    }
    if (known == nullptr) return name;
    added.types |= known->types;
    added.flag_bits |= known->flag_bits;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  classes.types |= added.types;
  classes.flag_bits |= added.flag_bits;
  return std::nullopt;
}

std::string orbit_class_names() {
  std::string names;
  for (const orbit_class& c : kClasses) {
    if (!names.empty()) names += ", ";
    names += c.name;
  }
  return names;
}

selection::selection(const selection_criteria& criteria) : criteria_(criteria), found_(criteria.bodies.size(), false) {
  for (std::size_t i = 0; i < criteria_.bodies.size(); ++i) wanted_.emplace(normalized_id(criteria_.bodies[i]), i);
}

bool selection::matches_body(const body_identity& body) {
  bool matched = false;
  for (std::string_view text : {std::string_view(body.number), body.designation, body.name,
                                std::string_view(body.periodic), std::string_view(body.provisional)}) {
    if (text.empty()) continue;
    auto it = wanted_.find(normalized_id(text));
    if (it == wanted_.end()) continue;
    matched = true;
    found_[it->second] = true;
  }
  return matched;
}

bool selection::passes(const body_identity& body) {
  // --body first: an ID counts as found even when another option leaves the body out.
  if (!criteria_.bodies.empty() && !matches_body(body)) return false;
  if (criteria_.max_magnitude) {
    // As the planetarium reads the value.
    std::optional<double> h = decimal_number(trim(body.magnitude), number_form::c_locale);
    if (!h || *h > *criteria_.max_magnitude) return false;
  }
  if (criteria_.numbered && body.number.empty()) return false;
  return criteria_.classes.empty() || criteria_.classes.contains(body.flags);
}

bool selection::take() {
  if (criteria_.limit && taken_ >= *criteria_.limit) return false;
  ++taken_;
  return true;
}

std::vector<std::string> selection::not_found() const {
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < found_.size(); ++i) {
    // Two spellings of one ID share its entry in wanted_.
    if (!found_[i] && !found_[wanted_.at(normalized_id(criteria_.bodies[i]))]) missing.push_back(criteria_.bodies[i]);
  }
  return missing;
}

}  // namespace quelvarn
