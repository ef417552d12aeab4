// One line through the section writers of both layouts, recognition and the
// selection, and its first five bytes through the epoch conversion.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/io.h"
#include "fuzz_options.h"
#include "records/comet_record.h"
#include "records/mpcorb_record.h"
#include "records/packed_epoch.h"
#include "records/selection.h"
#include "run/input_kind.h"

namespace {

// What the planetarium needs of a comet section: a usable name in brackets,
// then only "key = value" lines with a value, and the orbit keys it reads.
bool loadable_comet(std::string_view s) {
  std::size_t close = s.find("]\n");
  if (s.size() < 4 || s[0] != '[' || close == std::string_view::npos || close == 1) return false;
  for (char c : s.substr(1, close - 1))
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '(' || c == ')')) return false;
  std::string_view keys = s.substr(close + 2);
  if (keys.size() < 2 || keys.substr(keys.size() - 2) != "\n\n") return false;
  for (std::size_t start = 0; start + 1 < keys.size();) {
    std::size_t end = keys.find('\n', start);
    std::string_view key_line = keys.substr(start, end - start);
    if (key_line.size() < 34 || key_line.substr(31, 2) != "= " || key_line.find('#') != std::string_view::npos)
      return false;
    start = end + 1;
  }
  return keys.find("\norbit_TimeAtPericenter ") != std::string_view::npos &&
         keys.find("\norbit_PericenterDistance ") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  quelvarn_fuzz::use_options(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quelvarn;
  std::string_view line(reinterpret_cast<const char*>(data), size);

  char section[kMaxSectionSize];
  std::string_view text(section, static_cast<std::size_t>(record2section(line, section) - section));
  if (text.size() > kMaxSectionSize || !text.ends_with("\n\n")) __builtin_trap();

  // Any line through the comet writer; the ones the checks accept must
  // give a section the planetarium can load.
  std::string comet = comet_section_text(line);
  if (comet.size() > kMaxSectionSize) __builtin_trap();
  if (comet_line_problem(line).empty()) {
    if (!loadable_comet(comet)) __builtin_trap();
    if (size <= 64 * 1024 && kind_from_first_record(line) != input_kind::comets) __builtin_trap();
  }
  comet_identity id = identify_comet(line);
  if (id.name.size() > 56) __builtin_trap();
  if (kind_from_first_record(line) == input_kind::minor_planets && !epoch_readable(epoch_field(line))) __builtin_trap();
  selection_criteria criteria;
  criteria.max_magnitude = 12;
  criteria.bodies = {"433", "ceres"};
  if (add_orbit_classes("neo,tno,pha", criteria.classes)) __builtin_trap();
  selection select(criteria);
  body_identity body = minor_planet_identity(line);
  bool named = false;
  for (std::string_view id : {std::string_view(body.number), body.designation, body.name}) {
    named = named || normalized_id(id) == "433" || normalized_id(id) == "ceres";
  }
  if (select.passes(body) && !named) __builtin_trap();

  std::string_view epoch = line.substr(0, 5);
  double day = jd(epoch);
  if (epoch_readable(epoch) && (day < 2300000 || day > 2500000)) __builtin_trap();
  char expected[64];
  char got[64];
  std::snprintf(expected, sizeof expected, "%.10g", day);
  *format_julian_day(day, got) = '\0';
  if (std::strcmp(expected, got) != 0) __builtin_trap();
  return 0;
}
