// The shape both record formats give the record loop, the selection and the
// update: a struct of static functions per format (mpcorb_record,
// comet_record), so that the loop calls them directly, record by record.
//
//   template <section_layout Layout>
//   static skip_reason write(std::string_view line, char* room, char*& end);
//   static body_identity identity(std::string_view line);
//   static const update_keys& keys();
#ifndef QUELVARN_RECORD_FORMAT_H_
#define QUELVARN_RECORD_FORMAT_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace quelvarn {

/// The planetarium reads every section at start-up: past this many bodies it
/// takes many seconds to start (measured: 20,000 bodies add 1.5 to 10 s,
/// 100,000 about 45 s).
constexpr std::uint64_t kBodiesLoadedQuickly = 20000;

/// The keys a section holds besides its name, elements and magnitude, as the
/// planetarium's releases write their own catalogues. `classic`, as 0.22 and
/// older ones read it: "coord_func = comet_orbit" in every section. `current`,
/// as 24.x and 26.x write theirs (and log a line per section that differs):
/// no coord_func (its Keplerian orbit is the default since 0.20), an
/// iau_designation on every body but a numbered minor planet or periodic
/// comet, and the MPC's G as a minor planet's slope_parameter.
enum class section_layout { classic, current };

/// Why a line cannot be converted, as the console shows it: the reason, then
/// the field at fault (the epoch of "bad epoch "), if any; nothing for a
/// line that is fine.
struct skip_reason {
  std::string_view reason;
  std::string_view field = {};
  bool fine() const { return reason.empty(); }
};

/// What a kind of record changes in a section of the same body: the keys
/// that take the new section's values, and the keys that go because the
/// planetarium would let them take precedence over the new ones.
struct update_keys {
  /// Take the new value (a blank one keeps the catalogue's), and are added
  /// where the body's sections lack them.
  std::vector<std::string_view> replaced;
  std::vector<std::string_view> removed;
  /// Added where the body's sections lack them, never changed: a body
  /// numbered since its section was written gains its number; in the
  /// current layout, one without a number its iau_designation.
  std::vector<std::string_view> filled;
  /// The MPC fits H together with the slope G: where a section's H is
  /// replaced, a slope_parameter it holds takes the record's G, or goes when
  /// the record has none.
  bool slope_follows_magnitude = false;
};

}  // namespace quelvarn

#endif  // QUELVARN_RECORD_FORMAT_H_
