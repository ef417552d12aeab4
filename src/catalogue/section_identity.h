// What makes a section of a catalogue the same body as a record: the keys
// both are known by, and the names a body goes by over the years.
#ifndef QUELVARN_SECTION_IDENTITY_H_
#define QUELVARN_SECTION_IDENTITY_H_

#include <optional>
#include <string>
#include <string_view>

namespace quelvarn {

/// minor_planet_number as the planetarium reads it, an integer: "0433" is
/// "433"; other text as normalized_id() gives it.
std::string normalized_number(std::string_view text);

/// "12p" of a numbered periodic comet's (normalized) name "12p/pons-brooks"
/// ("73p-b", "73p-bt" of a fragment); empty for any other name.
std::string_view periodic_prefix(std::string_view name);

/// The year of the apparition a name is kept for: "12P/Pons-Brooks (2024)".
std::optional<int> apparition_of(std::string_view name);

/// A key two bodies share when they are the same: "#" and the number of a
/// numbered body, "=" and the designation (normalized) of another, "/" and
/// the periodic designation of a comet, "~" and a comet's designation less
/// its name.
std::string identity_key(char kind, std::string_view text);

}  // namespace quelvarn

#endif  // QUELVARN_SECTION_IDENTITY_H_
