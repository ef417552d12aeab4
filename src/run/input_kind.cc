// Which kind of orbit file the input is, from its first lines.
#include "run/input_kind.h"

#include "io/line_reader.h"
#include "records/comet_record.h"
#include "records/mpcorb_record.h"

namespace quelvarn {
namespace {

constexpr std::string_view kTitle = "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)";
}  // namespace

bool is_title_line(std::string_view line) { return line.find(kTitle) != std::string_view::npos; }

input_kind kind_from_first_record(std::string_view line) {
  if (is_minor_planet_record(line)) return input_kind::minor_planets;
  // Longer lines than the line reader holds are records of no layout.
  if (line.size() <= line_reader::kMaxLineLength && comet_line_problem(line).empty()) return input_kind::comets;
  return input_kind::bad;
}

}  // namespace quelvarn
