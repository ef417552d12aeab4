// --update: merging the selected bodies into a catalogue the user already
// has, in the planetarium's INI syntax, changing nothing else.
#ifndef QUELVARN_CATALOGUE_UPDATE_H_
#define QUELVARN_CATALOGUE_UPDATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/io.h"
#include "io/output_buffer.h"
#include "records/record_format.h"
#include "records/selection.h"

namespace quelvarn {

struct update_counts {
  std::uint64_t updated = 0;   // existing sections changed
  std::uint64_t added = 0;     // sections appended
  std::uint64_t sections = 0;  // in the catalogue written, old and new
  /// The bodies the planetarium loads from it: distinct section names,
  /// exactly up to kBodiesLoadedQuickly + 1 new ones (see name_tally).
  std::uint64_t bodies = 0;
};

/// Holds the existing catalogue (memory grows with it, not with the input),
/// keeps the last section of each body it holds, and streams the sections of
/// new bodies to a spool, so that they can follow the existing ones.
class catalogue_update {
 public:
  /// existing: the catalogue's bytes, empty if there is none. spool: where
  /// the sections of new bodies go as they come. new_line_end: how lines end
  /// in a catalogue that has no line end yet to follow.
  catalogue_update(std::string existing, output_buffer& spool, std::string_view new_line_end = "\n");
  ~catalogue_update();
  catalogue_update(const catalogue_update&) = delete;
  catalogue_update& operator=(const catalogue_update&) = delete;

  /// Whether the catalogue holds the body of this record and section.
  bool holds(const body_identity& body, std::string_view section);

  /// One selected body and its section as a plain conversion writes it
  /// ("[name]", "key = value" lines, an empty line).
  void add(const body_identity& body, std::string_view section, const update_keys& keys);

  /// The bodies of the catalogue as it is: its distinct section names.
  std::uint64_t bodies_held() const;

  /// The layout the catalogue itself uses, for the sections appended to it:
  /// `current` when most of its sections have no coord_func, `classic`
  /// otherwise, and for a catalogue without sections.
  section_layout layout() const;

  /// Writes the existing catalogue with its bodies' sections updated, then
  /// the new sections, read back from the spool: once for each body, the
  /// last given. Every line written ends as the catalogue's lines end.
  /// Throws write_error, and read_error for the spool.
  update_counts write(output_buffer& out, byte_source& spooled);

 private:
  struct merge_state;
  std::unique_ptr<merge_state> state_;
};

}  // namespace quelvarn

#endif  // QUELVARN_CATALOGUE_UPDATE_H_
