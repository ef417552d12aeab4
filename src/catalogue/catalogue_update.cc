// The merge of --update: which sections are the bodies the input holds, and
// how each is rewritten in its own layout.
#include "catalogue/catalogue_update.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <unordered_map>
#include <utility>

#include "catalogue/identity_set.h"
#include "catalogue/ini_lines.h"
#include "catalogue/section_identity.h"
#include "catalogue/spool_frames.h"
#include "common/text.h"
#include "records/comet_record.h"
#include "records/mpcorb_record.h"

namespace quelvarn {
namespace {

// The section name in a section's first line.
std::string_view section_name(std::string_view section) {
  ini_line line = classify(line_at(section, 0).content);
  return line.kind == ini_line::header ? line.name : std::string_view();
}

// The line end a catalogue uses: that of its first line, if it has one.
std::string_view line_end_of(std::string_view text, std::string_view otherwise) {
  std::string_view end = line_at(text, 0).end;
  return end.empty() ? otherwise : end;
}

int index_in(const std::vector<std::string_view>& list, std::string_view key) {
  auto found = std::find(list.begin(), list.end(), key);
  return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

// Bodies of one identity are one body given again: the later one wins.
std::string identity_of(const body_identity& body) {
  return body.number.empty() ? identity_key('=', body.designation) : identity_key('#', body.number);
}

// A new section under another name.
std::string renamed(std::string_view section, std::string_view name) {
  std::string text;
  text.append("[").append(name).append(section.substr(section_name(section).size() + 1));
  return text;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kPlainKeyWidth = 31;
constexpr std::string_view kSlopeKey = "slope_parameter";
constexpr std::string_view kMagnitudeKey = "absolute_magnitude";
constexpr std::string_view kCoordFuncKey = "coord_func";
// Spool frames of bodies without a number in the bit set carry this bit.
constexpr std::uint64_t kIdentityFrame = std::uint64_t{1} << 62;

}  // namespace

namespace {

// The body a group of sections is updated to: the new section's values and
// the rules of its kind of record.
struct new_values {
  std::vector<std::pair<std::string_view, std::string_view>> values;  // non-blank only
  const update_keys* keys = nullptr;
  std::optional<std::string> slope;  // the record's G; nothing when blank

  std::string_view value_of(std::string_view key) const {
    for (const auto& [k, v] : values) {
      if (k == key) return v;
    }
    return {};
  }
  bool replaces_magnitude() const { return !value_of(kMagnitudeKey).empty(); }
};

// A value with a control character (a CR would end the line where the
// planetarium reads it) is no value to write into a curated catalogue.
bool writable(std::string_view value) {
  return std::none_of(value.begin(), value.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

new_values parse_section(std::string_view section, const update_keys& keys, std::string_view slope) {
  new_values parsed;
  parsed.keys = &keys;
  parsed.values.reserve(keys.replaced.size() + keys.filled.size());
  if (keys.slope_follows_magnitude && decimal_number(slope)) parsed.slope.emplace(slope);
  for (std::size_t pos = 0; pos < section.size();) {
    raw_line raw = line_at(section, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    std::string_view value = raw.content.substr(line.value_begin, line.value_end - line.value_begin);
    if (line.kind == ini_line::key && line.has_value() && writable(value)) parsed.values.emplace_back(line.name, value);
  }
  return parsed;
}

}  // namespace

struct catalogue_update::merge_state {
  // The lines from one header to the next; sections of the same name make
  // one body to the planetarium, so they are matched as a group.
  struct block {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint32_t group = 0;
  };
  struct group {
    std::vector<std::uint32_t> blocks;
    std::string number;
    std::string name;
    std::optional<int> apparition;
    std::string section;       // the new section of this body, if the input holds it
    new_values update;         // views into section
    std::uint64_t seen = 0;    // replaced keys met so far (a bit per key)
    std::uint64_t filled = 0;  // filled keys met so far
    // The body of the run that section is of: a group is one body's, so a
    // second body that finds it leaves it alone.
    std::string claimant;
    // Claimed for its section name alone: the group gives way to a body its
    // keys name, and the section of the first goes apart.
    bool claimed_by_section_name = false;
    std::string claimant_number, claimant_designation;
  };

  std::string text;
  std::string_view line_end;
  std::vector<block> blocks;
  std::vector<group> groups;
  std::unordered_map<std::string_view, std::uint32_t> by_section;
  std::unordered_map<std::string, std::vector<std::uint32_t>> by_identity;
  std::size_t with_coord_func = 0;  // sections that have the key

  output_buffer& spool;
  identity_set spooled;
  // Numbered bodies, by far the most, are remembered in a bit per number.
  number_set spooled_numbers;
  std::unordered_map<std::uint64_t, std::uint64_t> superseded;  // frame key -> earlier copies to drop
  std::uint64_t spooled_count = 0;
  std::size_t spooled_bytes = 0;

  merge_state(std::string existing, output_buffer& spool_out, std::string_view new_line_end)
      : text(std::move(existing)), line_end(line_end_of(text, new_line_end)), spool(spool_out) {
    index();
  }

  void index();
  void index_identities(std::uint32_t i);
  // How the sections of a body were found, or why it has none.
  enum class found_by { nothing, keys, section_name, other_apparition, claimed_name };
  std::vector<std::uint32_t> matches(const body_identity& body, std::string_view section, found_by& how);
  std::vector<std::uint32_t> periodic_matches(const body_identity& body, bool named_for_it);
  bool open_to(std::uint32_t g, const body_identity& body, bool by_keys) const;
  void claim(std::uint32_t g, const body_identity& body, std::string_view section, const update_keys& keys,
             bool by_keys);
  std::string free_name(std::string_view name) const;
  void spool_section(const body_identity& body, std::string_view section);
  // The frame key of a new body, and whether it was spooled before.
  std::pair<std::uint64_t, bool> remember(const body_identity& body);
  static std::optional<std::string_view> new_value(group& g, const ini_line& line);
  void write_block(const block& b, output_buffer& out);
  static void append_missing(group& g, std::string_view layout_text, const ini_line& layout, std::string_view end,
                             output_buffer& out);
  void copy_spool(output_buffer& out, byte_source& spooled, update_counts& counts);
  void count_body(name_tally& bodies, std::string_view section) const;
};

void catalogue_update::merge_state::index() {
  std::string_view all = text;
  std::size_t pos = all.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
  bool coord_func_seen = false;
  for (bool first = true; pos < all.size(); first = false) {
    std::size_t begin = first ? 0 : pos;
    raw_line raw = line_at(all, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    if (line.kind == ini_line::header) {
      auto [it, added] = by_section.emplace(line.name, static_cast<std::uint32_t>(groups.size()));
      if (added) groups.emplace_back();
      if (!blocks.empty()) blocks.back().end = begin;
      blocks.push_back({begin, all.size(), it->second});
      groups[it->second].blocks.push_back(static_cast<std::uint32_t>(blocks.size() - 1));
      coord_func_seen = false;
    } else if (line.kind == ini_line::key && line.has_value() && !blocks.empty()) {
      if (line.name == kCoordFuncKey && !coord_func_seen) {
        coord_func_seen = true;
        ++with_coord_func;
      }
      // Later keys win, across the sections of one name too.
      std::string_view value = raw.content.substr(line.value_begin, line.value_end - line.value_begin);
      group& g = groups[blocks.back().group];
      if (line.name == "minor_planet_number") g.number = normalized_number(value);
      if (line.name == "name") {
        g.name = normalized_id(value);
        g.apparition = apparition_of(g.name);
      }
    }
  }
  // About two names a body: its number and its name.
  by_identity.reserve(2 * groups.size());
  for (std::uint32_t i = 0; i < groups.size(); ++i) index_identities(i);
}

void catalogue_update::merge_state::index_identities(std::uint32_t i) {
  const group& g = groups[i];
  if (!g.number.empty()) by_identity[identity_key('#', g.number)].push_back(i);
  if (g.name.empty()) return;
  by_identity[identity_key('=', g.name)].push_back(i);
  if (std::string_view periodic = periodic_prefix(g.name); !periodic.empty()) {
    by_identity[identity_key('/', periodic)].push_back(i);
  }
  // "C/2013 A1 (Siding Spring)", or "C/2013 A1" alone: the designation, for
  // a comet whose name the MPC has spelled another way since.
  std::string_view designation = std::string_view(g.name).substr(0, g.name.find(" ("));
  if (designation.find('/') != std::string_view::npos) by_identity[identity_key('~', designation)].push_back(i);
}

// The sections whose name the periodic designation begins: those named for
// the apparition ("2P/Encke (2020)"), or those without a year, which are
// the comet's whichever apparition.
std::vector<std::uint32_t> catalogue_update::merge_state::periodic_matches(const body_identity& body,
                                                                           bool named_for_it) {
  std::vector<std::uint32_t> found;
  auto it = by_identity.find(identity_key('/', body.periodic));
  if (it == by_identity.end()) return found;
  for (std::uint32_t g : it->second) {
    const std::optional<int>& year = groups[g].apparition;
    if (named_for_it ? year && year == body.apparition : !year) found.push_back(g);
  }
  return found;
}

// The sections of the body a record describes, in order of certainty; the
// first rule that finds any decides. Sections another body of the run holds
// are not found.
std::vector<std::uint32_t> catalogue_update::merge_state::matches(const body_identity& body, std::string_view section,
                                                                  found_by& how) {
  std::vector<std::uint32_t> found;
  auto take = [&](const std::string& key, bool only_unnumbered) {
    auto it = by_identity.find(key);
    if (it == by_identity.end()) return;
    for (std::uint32_t g : it->second) {
      if (!only_unnumbered || groups[g].number.empty()) found.push_back(g);
    }
  };
  auto open_only = [&] { std::erase_if(found, [&](std::uint32_t g) { return !open_to(g, body, true); }); };
  if (!body.number.empty()) {
    take(identity_key('#', body.number), false);
    open_only();
    // Numbered since the catalogue was written, or written without its
    // number: still known by its name.
    if (found.empty()) take(identity_key('=', body.name), true);
  } else {
    // A section named for this apparition of a periodic comet comes first.
    if (!body.periodic.empty()) found = periodic_matches(body, true);
    open_only();
    if (found.empty()) take(identity_key('=', body.designation), false);
    open_only();
    if (found.empty() && !body.periodic.empty()) found = periodic_matches(body, false);
  }
  open_only();
  if (found.empty() && !body.provisional.empty()) take(identity_key('~', body.provisional), false);
  open_only();
  how = found.empty() ? found_by::nothing : found_by::keys;
  if (!found.empty()) return found;
  // A section of the very name the new one would have: appending it would
  // merge the two in the planetarium, new keys over curated ones. Unless it
  // is another apparition of the comet, which must stay as it is, or
  // another body's of this run.
  if (auto named = by_section.find(section_name(section)); named != by_section.end()) {
    const group& g = groups[named->second];
    if (!body.periodic.empty() && body.apparition && g.apparition && g.apparition != body.apparition) {
      how = found_by::other_apparition;
    } else if (!open_to(named->second, body, false)) {
      how = found_by::claimed_name;
    } else {
      how = found_by::section_name;
      found.push_back(named->second);
    }
  }
  return found;
}

// Whether a body may take a group: one no other body of the run holds, or
// one held for its section name alone when the body's keys name it.
bool catalogue_update::merge_state::open_to(std::uint32_t g, const body_identity& body, bool by_keys) const {
  const group& held = groups[g];
  // Most groups are no body's yet: the identity is made only for the others.
  return held.claimant.empty() || (by_keys && held.claimed_by_section_name) || held.claimant == identity_of(body);
}

void catalogue_update::merge_state::claim(std::uint32_t g, const body_identity& body, std::string_view section,
                                          const update_keys& keys, bool by_keys) {
  group& held = groups[g];
  std::string identity = identity_of(body);
  if (!held.claimant.empty() && held.claimant != identity) {
    body_identity displaced;
    displaced.number = held.claimant_number;
    displaced.designation = held.claimant_designation;
    spool_section(displaced, renamed(held.section, free_name(section_name(held.section))));
  }
  held.section.assign(section);
  held.update = parse_section(held.section, keys, body.slope);
  held.claimant = std::move(identity);
  held.claimant_number = body.number;
  held.claimant_designation = body.designation;
  held.claimed_by_section_name = !by_keys;
}

// A section name the catalogue does not hold, for a body whose own is
// another's.
std::string catalogue_update::merge_state::free_name(std::string_view name) const {
  for (int n = 2;; ++n) {
    std::string free = std::string(name).append("-").append(std::to_string(n));
    if (!by_section.contains(free)) return free;
  }
}

std::pair<std::uint64_t, bool> catalogue_update::merge_state::remember(const body_identity& body) {
  // Numbers beyond (none yet) go to the set of identities.
  constexpr std::uint64_t kLargestBitNumber = std::uint64_t{1} << 32;
  std::uint64_t number = 0;
  auto [end, error] = std::from_chars(body.number.data(), body.number.data() + body.number.size(), number);
  if (body.number.empty() || error != std::errc() || end != body.number.data() + body.number.size() ||
      number >= kLargestBitNumber) {
    std::string identity = body.number.empty() ? identity_key('=', body.designation) : identity_key('#', body.number);
    identity_set::found f = spooled.insert(identity);
    return {kIdentityFrame | f.index, !f.added};
  }
  return {number, !spooled_numbers.insert(number)};
}

// Each section goes to the spool behind its body's frame key and its
// length, so that the sections of a body given again can be passed over at
// the end.
void catalogue_update::merge_state::spool_section(const body_identity& body, std::string_view section) {
  auto [key, again] = remember(body);
  if (again) ++superseded[key];
  spooled_bytes += write_frame(spool, key, section);
  ++spooled_count;
}

catalogue_update::catalogue_update(std::string existing, output_buffer& spool, std::string_view new_line_end)
    : state_(std::make_unique<merge_state>(std::move(existing), spool, new_line_end)) {}

catalogue_update::~catalogue_update() = default;

bool catalogue_update::holds(const body_identity& body, std::string_view section) {
  merge_state::found_by how = merge_state::found_by::nothing;
  return !state_->matches(body, section, how).empty();
}

void catalogue_update::add(const body_identity& body, std::string_view section, const update_keys& keys) {
  merge_state& s = *state_;
  merge_state::found_by how = merge_state::found_by::nothing;
  std::vector<std::uint32_t> found = s.matches(body, section, how);
  for (std::uint32_t g : found) s.claim(g, body, section, keys, how == merge_state::found_by::keys);
  if (!found.empty()) return;
  std::string_view name = section_name(section);
  // Beside a section another body of the input holds, or that of another
  // apparition, under a name of its own.
  if (how == merge_state::found_by::claimed_name) return s.spool_section(body, renamed(section, s.free_name(name)));
  if (how != merge_state::found_by::other_apparition) return s.spool_section(body, section);
  s.spool_section(body, renamed(section, std::string(name) + "(" + std::to_string(*body.apparition) + ")"));
}

namespace {

// A key line with its value replaced; an empty one before a comment is
// kept apart from it.
void write_replaced(output_buffer& out, const raw_line& raw, const ini_line& line, std::string_view value,
                    std::string_view end) {
  out.append(raw.content.substr(0, line.value_begin));
  out.append(value);
  if (!line.has_value() && line.value_begin < raw.content.size()) out.append(" ");
  out.append(raw.content.substr(line.value_end));
  out.append(end);
}

}  // namespace

// What becomes of a key line of the body's sections: nothing (kept as it
// is), a new value, or an empty one (the line goes).
std::optional<std::string_view> catalogue_update::merge_state::new_value(group& g, const ini_line& line) {
  const new_values& update = g.update;
  const update_keys& keys = *update.keys;
  int replaced = index_in(keys.replaced, line.name);
  int filled = index_in(keys.filled, line.name);
  if (replaced >= 0) g.seen |= std::uint64_t{1} << replaced;
  if (filled >= 0) g.filled |= std::uint64_t{1} << filled;
  if (index_in(keys.removed, line.name) >= 0) return std::string_view();
  if (keys.slope_follows_magnitude && update.replaces_magnitude() && line.name == kSlopeKey) {
    return update.slope ? std::string_view(*update.slope) : std::string_view();
  }
  bool empty_filled = filled >= 0 && !line.has_value();
  if ((replaced >= 0 || empty_filled) && !update.value_of(line.name).empty()) return update.value_of(line.name);
  return std::nullopt;
}

// Writes the lines of one section of a body the input holds: replaced keys
// take the new values in place, removed keys go, and after the group's last
// key line (after the header if it has none) come the keys it lacks, in the
// layout of its first key line that has a value. The lines after a key line
// wait until the next one shows it was not the last: one reading of each line.
void catalogue_update::merge_state::write_block(const block& b, output_buffer& out) {
  group& g = groups[b.group];
  std::string_view all = std::string_view(text).substr(b.begin, b.end - b.begin);
  raw_line layout_line;
  ini_line layout;
  std::size_t held = 0;  // where the lines not yet written begin
  for (std::size_t pos = 0; pos < all.size();) {
    std::size_t begin = pos;
    raw_line raw = line_at(all, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    if (line.kind != ini_line::key && begin != 0) continue;
    out.append(all.substr(held, begin - held));
    held = pos;
    // The header is no layout, though with the file's byte-order mark
    // before it this reading of the line may take it for a key line.
    if (begin != 0 && layout.kind != ini_line::key && line.kind == ini_line::key && line.has_value()) {
      layout = line;
      layout_line = raw;
    }
    // Only the file's last line can lack its end; new lines may follow it.
    std::string_view end = !raw.end.empty() ? raw.end : !layout_line.end.empty() ? layout_line.end : line_end;
    std::optional<std::string_view> value = line.kind == ini_line::key ? new_value(g, line) : std::nullopt;
    if (!value) {
      out.append(raw.content);
      out.append(end);
    } else if (!value->empty()) {
      write_replaced(out, raw, line, *value, end);
    }
  }
  std::string_view end_of_new = !layout_line.end.empty() ? layout_line.end : line_end;
  if (&blocks[g.blocks.back()] == &b) append_missing(g, layout_line.content, layout, end_of_new, out);
  std::string_view rest = all.substr(held);
  out.append(rest);
  if (!rest.empty() && rest.back() != '\n' && rest.back() != '\r') out.append(end_of_new);
}

// The keys of the new section that none of the body's sections holds, in
// the layout of the given key line ("key=value" stays so; "key    = value"
// is aligned where the key allows), or the plain conversion's.
void catalogue_update::merge_state::append_missing(group& g, std::string_view layout_text, const ini_line& layout,
                                                   std::string_view end, output_buffer& out) {
  const update_keys& keys = *g.update.keys;
  auto write = [&](std::string_view key) {
    std::string_view value = g.update.value_of(key);
    if (value.empty()) return;
    if (layout.kind == ini_line::key) {
      std::size_t width = layout.equals - layout.key_begin;
      out.append(layout_text.substr(0, layout.key_begin));
      out.append(key);
      if (layout.name.size() < width) out.append(std::string(key.size() < width ? width - key.size() : 1, ' '));
      out.append(layout_text.substr(layout.equals, layout.value_begin - layout.equals));
    } else {
      out.append(key);
      out.append(std::string(key.size() < kPlainKeyWidth ? kPlainKeyWidth - key.size() : 1, ' '));
      out.append("= ");
    }
    out.append(value);
    out.append(end);
  };
  for (std::size_t k = 0; k < keys.replaced.size(); ++k) {
    if ((g.seen >> k & 1U) == 0) write(keys.replaced[k]);
  }
  for (std::size_t k = 0; k < keys.filled.size(); ++k) {
    if ((g.filled >> k & 1U) == 0) write(keys.filled[k]);
  }
}

update_counts catalogue_update::write(output_buffer& out, byte_source& spooled) {
  merge_state& s = *state_;
  update_counts counts;
  std::string_view all = s.text;
  std::size_t copied = 0;
  for (const merge_state::block& b : s.blocks) {
    if (s.groups[b.group].section.empty()) continue;
    out.append(all.substr(copied, b.begin - copied));
    s.write_block(b, out);
    copied = b.end;
    ++counts.updated;
  }
  out.append(all.substr(copied));
  if (s.spooled_count > 0 && copied < all.size() && all.back() != '\n' && all.back() != '\r') out.append(s.line_end);
  s.copy_spool(out, spooled, counts);
  counts.sections = s.blocks.size() + counts.added;
  return counts;
}

std::uint64_t catalogue_update::bodies_held() const { return state_->groups.size(); }

// The catalogues of 0.22 and older have coord_func in every section; those
// of 24.x and 26.x in a handful of their 234.
section_layout catalogue_update::layout() const {
  std::size_t sections = state_->blocks.size();
  return sections - state_->with_coord_func > state_->with_coord_func ? section_layout::current
                                                                      : section_layout::classic;
}

namespace {

// A new section, written with the catalogue's line ends.
void append_section(output_buffer& out, std::string_view section, std::string_view line_end) {
  if (line_end == "\n") return out.append(section);
  for (std::size_t nl; (nl = section.find('\n')) != std::string_view::npos; section.remove_prefix(nl + 1)) {
    out.append(section.substr(0, nl));
    out.append(line_end);
  }
  out.append(section);
}

}  // namespace

// A new section of a name the catalogue holds (another apparition's,
// renamed) merges with it in the planetarium.
void catalogue_update::merge_state::count_body(name_tally& bodies, std::string_view section) const {
  if (!bodies.looking()) return bodies.add_without_looking();
  std::string_view name = section_name(section);
  if (!by_section.contains(name)) bodies.add(name);
}

void catalogue_update::merge_state::copy_spool(output_buffer& out, byte_source& spooled_in, update_counts& counts) {
  name_tally bodies(kBodiesLoadedQuickly + 1);
  frame_reader frames(spooled_in, spooled_bytes);
  std::uint64_t key = 0;
  std::string_view section;
  while (frames.next(key, section)) {
    // A body given more than once: only its last section stays.
    auto again = superseded.find(key);
    if (again != superseded.end() && again->second > 0) {
      --again->second;
    } else {
      append_section(out, section, line_end);
      count_body(bodies, section);
      ++counts.added;
    }
  }
  counts.bodies = groups.size() + bodies.count();
}

}  // namespace quelvarn
