// Which records are written: the --max-magnitude, --numbered, --class,
// --body and --limit options applied to one record at a time.
#ifndef QUELVARN_SELECTION_H_
#define QUELVARN_SELECTION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quelvarn {

/// What the selection and the catalogue update need to know of a record,
/// whatever kind of orbit file it comes from. Views point into the record.
struct body_identity {
  /// "433"; empty for a body without a number.
  std::string number;
  /// The designation as printed: "(433) Eros", "2024 YR4", "C/2023 A3".
  std::string_view designation;
  /// The name, or the provisional designation of an unnamed body.
  std::string_view name;
  /// Absolute magnitude H as printed; blank when unknown.
  std::string_view magnitude;
  /// Orbit-class flags (4 hexadecimal digits); empty for kinds without them.
  std::string_view flags;
  /// Comets only: the periodic designation ("12P"), by which a catalogue's
  /// "12P/Pons-Brooks" is the same comet, and the provisional one
  /// ("C/2023 A3"); --body finds a comet by either.
  std::string periodic;
  std::string provisional;
  /// Minor planets: the slope parameter G as printed, trimmed (fitted with H).
  std::string_view slope;
  /// Comets: the year of the perihelion the elements describe, which tells
  /// the apparitions of a periodic comet apart.
  std::optional<int> apparition;
};

/// Lower case, without leading and trailing blanks, every run of blanks
/// one space: how --body IDs and catalogue names are compared. After
/// `prefix`, as it is, when one is given (a key made in one allocation).
std::string normalized_id(std::string_view text, std::string_view prefix = {});

/// A set of orbit classes: orbit types (the low 6 bits of the flags) and
/// flag bits (NEO, PHA, ...). A body is in the set when it is in any of them.
struct orbit_classes {
  std::uint64_t types = 0;
  std::uint32_t flag_bits = 0;
  bool empty() const { return types == 0 && flag_bits == 0; }
  bool contains(std::string_view flags) const;
};

/// Adds the classes of a comma-separated list; on an unknown name returns it
/// (and adds nothing), else an empty optional.
std::optional<std::string> add_orbit_classes(std::string_view list, orbit_classes& classes);

/// "atira, aten, ...": every valid class name, for messages.
std::string orbit_class_names();

struct selection_criteria {
  std::optional<double> max_magnitude;
  bool numbered = false;
  orbit_classes classes;
  std::vector<std::string> bodies;
  std::optional<std::uint64_t> limit;
  /// --update --existing: only the bodies the catalogue already holds.
  bool existing = false;
  /// Whether any option restricts the selection.
  bool any() const { return max_magnitude || numbered || !classes.empty() || !bodies.empty() || limit || existing; }
};

/// Applies the criteria record by record, remembering which --body IDs were
/// seen and how many bodies were taken.
class selection {
 public:
  explicit selection(const selection_criteria& criteria);

  /// Whether the body passes every kind of criterion given (the limit aside).
  bool passes(const body_identity& body);
  /// Counts one body as written; false (and not counted) once the limit is reached.
  bool take();
  std::uint64_t taken() const { return taken_; }
  /// Only bodies the catalogue being updated holds are wanted.
  bool existing_only() const { return criteria_.existing; }
  /// The --body IDs, as given, that no record matched, in their order.
  std::vector<std::string> not_found() const;

 private:
  bool matches_body(const body_identity& body);

  selection_criteria criteria_;
  std::unordered_map<std::string, std::size_t> wanted_;  // normalized ID -> index in criteria_.bodies
  std::vector<bool> found_;
  std::uint64_t taken_ = 0;
};

}  // namespace quelvarn

#endif  // QUELVARN_SELECTION_H_
