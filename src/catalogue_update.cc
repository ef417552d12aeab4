#include "catalogue_update.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <utility>

#include "section_writer.h"

namespace quelvarn {
namespace {

// What the planetarium's parser makes of one line.
struct ini_line {
  enum kind { other, header, key } kind = other;
  std::string_view name;  // the section name, or the key
  // The value's place in the line (key lines): from its first to its last
  // non-blank character before any comment.
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
  std::size_t key_begin = 0;
  std::size_t equals = 0;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::size_t skip_blanks(std::string_view text, std::size_t from) {
  while (from < text.size() && is_blank(text[from])) ++from;
  return from;
}

std::size_t back_over_blanks(std::string_view text, std::size_t end, std::size_t floor) {
  while (end > floor && is_blank(text[end - 1])) --end;
  return end;
}

// "#" starts a comment anywhere; the rest is trimmed; "[name]" is a header
// and "key = value" a key line when both are non-empty.
ini_line classify(std::string_view content) {
  ini_line line;
  std::size_t end = std::min(content.find('#'), content.size());
  std::size_t begin = skip_blanks(content, 0);
  end = back_over_blanks(content, end, begin);
  std::string_view text = content.substr(begin, end - begin);
  if (text.size() >= 3 && text.front() == '[' && text.back() == ']') {
    line.kind = ini_line::header;
    line.name = text.substr(1, text.size() - 2);
    return line;
  }
  std::size_t equals = content.find('=', begin);
  if (equals == std::string_view::npos || equals >= end || equals == begin) return line;
  line.value_begin = skip_blanks(content, equals + 1);
  line.value_end = end;
  if (line.value_begin >= line.value_end) return line;
  line.kind = ini_line::key;
  line.key_begin = begin;
  line.equals = equals;
  line.name = content.substr(begin, back_over_blanks(content, equals, begin) - begin);
  return line;
}

// One line and its end: LF, CR LF or a lone CR, as the planetarium splits
// lines; the last line may have none.
struct raw_line {
  std::string_view content;
  std::string_view end;
  std::size_t next = 0;  // offset of the following line
};

raw_line line_at(std::string_view text, std::size_t pos) {
  std::size_t stop = pos;
  while (stop < text.size() && text[stop] != '\n' && text[stop] != '\r') ++stop;
  std::size_t next = stop;
  if (next < text.size()) next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
  return {text.substr(pos, stop - pos), text.substr(stop, next - stop), next};
}

// minor_planet_number is an integer to the planetarium: "0433" is 433.
std::string normalized_number(std::string_view text) {
  std::string number = normalized_id(text);
  bool digits = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
  if (digits) number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
  return number;
}

// What makes two bodies the same: "#" and the number of a numbered body,
// "=" and the designation (as normalized_id() gives it) of another.
std::string identity_key(char kind, std::string_view text) {
  std::string key = kind == '#' ? normalized_number(text) : normalized_id(text);
  key.insert(key.begin(), kind);
  return key;
}

// The section name in a section's first line.
std::string_view section_name(std::string_view section) {
  ini_line line = classify(line_at(section, 0).content);
  return line.kind == ini_line::header ? line.name : std::string_view();
}

// A set of 64-bit hashes in flat memory, at most half full: 16 to 32 bytes per body.
class hash_set {
 public:
  // False if the hash was already in.
  // hash must not be 0, which marks a free slot.
  bool insert(std::uint64_t hash) {
    if ((size_ + 1) * 2 > slots_.size()) grow();
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = (hash >> 1) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == hash) return false;
      if (slots_[i] == 0) {
        slots_[i] = hash;
        ++size_;
        return true;
      }
    }
  }

 private:
  void grow() {
    std::vector<std::uint64_t> old =
        std::exchange(slots_, std::vector<std::uint64_t>(std::max<std::size_t>(1024, slots_.size() * 2)));
    size_ = 0;
    for (std::uint64_t h : old) {
      if (h != 0) insert(h);
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t size_ = 0;
};

constexpr std::size_t kFrameSize = sizeof(std::uint64_t) + sizeof(std::uint32_t);
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kPlainKeyWidth = 31;

}  // namespace

const update_keys& minor_planet_update_keys() {
  static const update_keys keys{
      {"orbit_Epoch", "orbit_MeanAnomaly", "orbit_MeanMotion", "orbit_SemiMajorAxis", "orbit_Eccentricity",
       "orbit_Inclination", "orbit_AscendingNode", "orbit_ArgOfPericenter", "absolute_magnitude"},
      {"orbit_TimeAtPericenter", "orbit_PericenterDistance", "orbit_MeanLongitude", "orbit_LongOfPericenter",
       "orbit_Period"}};
  return keys;
}

struct catalogue_update::state {
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
    std::string section;  // the new section of this body, if the input holds it
    const update_keys* keys = nullptr;
    std::uint64_t seen = 0;  // replaced keys written so far (bit per key)
  };

  std::string text;
  std::vector<block> blocks;
  std::vector<group> groups;
  std::unordered_map<std::string_view, std::uint32_t> by_section;
  std::unordered_map<std::string, std::vector<std::uint32_t>> by_identity;

  output_buffer& spool;
  hash_set spooled;
  // Numbered bodies, by far the most, are remembered in a bit per number.
  std::vector<bool> spooled_numbers;
  std::unordered_map<std::uint64_t, std::uint64_t> superseded;  // hash -> earlier copies to drop
  std::uint64_t spooled_count = 0;

  state(std::string existing, output_buffer& spool_out) : text(std::move(existing)), spool(spool_out) { index(); }

  void index();
  // False if the body was spooled before.
  bool remember(std::string_view identity, std::uint64_t hash);
  void write_block(const block& b, output_buffer& out);
  void copy_spool(output_buffer& out, byte_source& spooled, update_counts& counts);
};

void catalogue_update::state::index() {
  std::string_view all = text;
  std::size_t pos = all.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
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
    } else if (line.kind == ini_line::key && !blocks.empty()) {
      // Later keys win, across the sections of one name too.
      std::string_view value = raw.content.substr(line.value_begin, line.value_end - line.value_begin);
      group& g = groups[blocks.back().group];
      if (line.name == "minor_planet_number") g.number = normalized_number(value);
      if (line.name == "name") g.name = normalized_id(value);
    }
  }
  for (std::uint32_t i = 0; i < groups.size(); ++i) {
    if (!groups[i].number.empty()) by_identity[identity_key('#', groups[i].number)].push_back(i);
    if (!groups[i].name.empty()) by_identity[identity_key('=', groups[i].name)].push_back(i);
  }
}

bool catalogue_update::state::remember(std::string_view identity, std::uint64_t hash) {
  constexpr std::size_t kMaxBitNumber = std::size_t{1} << 26;  // 8 MB of bits at most
  std::size_t number = 0;
  auto [end, error] = std::from_chars(identity.data() + 1, identity.data() + identity.size(), number);
  if (identity[0] != '#' || error != std::errc() || end != identity.data() + identity.size() ||
      number >= kMaxBitNumber) {
    return spooled.insert(hash);
  }
  if (number >= spooled_numbers.size()) spooled_numbers.resize(std::max(number + 1, spooled_numbers.size() * 2));
  if (spooled_numbers[number]) return false;
  spooled_numbers[number] = true;
  return true;
}

catalogue_update::catalogue_update(std::string existing, output_buffer& spool)
    : state_(std::make_unique<state>(std::move(existing), spool)) {}

catalogue_update::~catalogue_update() = default;

void catalogue_update::add(const body_identity& body, std::string_view section, const update_keys& keys) {
  state& s = *state_;
  const std::vector<std::uint32_t>* matches = nullptr;
  std::vector<std::uint32_t> same_section;
  std::string identity = body.number.empty() ? identity_key('=', body.designation) : identity_key('#', body.number);
  auto found = s.by_identity.find(identity);
  if (found != s.by_identity.end()) {
    matches = &found->second;
  } else if (auto named = s.by_section.find(section_name(section)); named != s.by_section.end()) {
    // A section of the very name the new one would have: appending it would
    // merge the two in the planetarium, new keys over curated ones.
    same_section.push_back(named->second);
    matches = &same_section;
  }
  if (matches != nullptr) {
    for (std::uint32_t g : *matches) {
      s.groups[g].section.assign(section);
      s.groups[g].keys = &keys;
    }
    return;
  }
  // Each section goes to the spool behind its body's hash and its length, so
  // that the sections of a body given again can be passed over at the end.
  std::uint64_t hash = std::hash<std::string>{}(identity) | 1U;
  if (!s.remember(identity, hash)) ++s.superseded[hash];
  auto size = static_cast<std::uint32_t>(section.size());
  char frame[kFrameSize];
  std::memcpy(frame, &hash, sizeof hash);
  std::memcpy(frame + sizeof hash, &size, sizeof size);
  s.spool.append(std::string_view(frame, sizeof frame));
  s.spool.append(section);
  ++s.spooled_count;
}

void catalogue_update::state::write_block(const block& b, output_buffer& out) {
  group& g = groups[b.group];
  const update_keys& keys = *g.keys;
  std::vector<std::pair<std::string_view, std::string_view>> values;
  for (std::size_t pos = 0; pos < g.section.size();) {
    raw_line raw = line_at(g.section, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    // A plain conversion writes a blank H as an empty value.
    if (line.kind == ini_line::other) {
      std::size_t equals = raw.content.find('=');
      if (equals != std::string_view::npos && equals > 0) {
        values.emplace_back(trim(raw.content.substr(0, equals)), std::string_view());
      }
    }
    if (line.kind == ini_line::key) {
      values.emplace_back(line.name, raw.content.substr(line.value_begin, line.value_end - line.value_begin));
    }
  }
  auto value_of = [&](std::string_view key) {
    for (auto& [k, v] : values) {
      if (k == key) return v;
    }
    return std::string_view();
  };
  auto index_in = [](const std::vector<std::string_view>& list, std::string_view key) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i] == key) return static_cast<int>(i);
    }
    return -1;
  };

  std::string_view all = std::string_view(text).substr(b.begin, b.end - b.begin);
  // Where the keys this body lacks go: after the last key line of its last
  // section (after the header if it has none), in the layout of its first key line.
  bool last_of_group = &blocks[g.blocks.back()] == &b;
  std::size_t insert_after = line_at(all, 0).next;
  raw_line layout_line;
  ini_line layout;
  for (std::size_t pos = insert_after; pos < all.size();) {
    raw_line raw = line_at(all, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    if (line.kind != ini_line::key) continue;
    insert_after = pos;
    if (layout.kind != ini_line::key) {
      layout = line;
      layout_line = raw;
    }
  }
  std::string_view header_end = line_at(all, 0).end;
  std::string_view line_end = !layout_line.end.empty() ? layout_line.end : !header_end.empty() ? header_end : "\n";

  for (std::size_t pos = 0; pos < all.size();) {
    raw_line raw = line_at(all, pos);
    pos = raw.next;
    ini_line line = classify(raw.content);
    if (line.kind == ini_line::key && index_in(keys.removed, line.name) >= 0) {
      // dropped
    } else if (int i = line.kind == ini_line::key ? index_in(keys.replaced, line.name) : -1; i >= 0) {
      g.seen |= std::uint64_t{1} << i;
      out.append(raw.content.substr(0, line.value_begin));
      out.append(value_of(line.name));
      out.append(raw.content.substr(line.value_end));
      out.append(raw.end.empty() ? line_end : raw.end);
    } else {
      out.append(raw.content);
      // Only the file's last line can lack its end; new lines may follow it.
      out.append(raw.end.empty() ? line_end : raw.end);
    }
    std::uint64_t all_keys = (std::uint64_t{1} << keys.replaced.size()) - 1;
    if (pos != insert_after || !last_of_group || g.seen == all_keys) continue;
    for (std::size_t k = 0; k < keys.replaced.size(); ++k) {
      if ((g.seen >> k & 1U) != 0) continue;
      std::string_view key = keys.replaced[k];
      if (layout.kind == ini_line::key) {
        std::string_view content = layout_line.content;
        std::size_t width = layout.equals - layout.key_begin;
        out.append(content.substr(0, layout.key_begin));
        out.append(key);
        // "key=value" stays so; "key    = value" is aligned where the key allows.
        if (layout.name.size() < width) out.append(std::string(key.size() < width ? width - key.size() : 1, ' '));
        out.append(content.substr(layout.equals, layout.value_begin - layout.equals));
      } else {
        out.append(key);
        out.append(std::string(key.size() < kPlainKeyWidth ? kPlainKeyWidth - key.size() : 1, ' '));
        out.append("= ");
      }
      out.append(value_of(key));
      out.append(line_end);
    }
  }
}

update_counts catalogue_update::write(output_buffer& out, byte_source& spooled) {
  state& s = *state_;
  update_counts counts;
  std::string_view all = s.text;
  std::size_t copied = 0;
  for (const state::block& b : s.blocks) {
    if (s.groups[b.group].section.empty()) continue;
    out.append(all.substr(copied, b.begin - copied));
    s.write_block(b, out);
    copied = b.end;
    ++counts.updated;
  }
  out.append(all.substr(copied));
  if (s.spooled_count > 0 && copied < all.size() && all.back() != '\n' && all.back() != '\r') out.append("\n");
  s.copy_spool(out, spooled, counts);
  return counts;
}

void catalogue_update::state::copy_spool(output_buffer& out, byte_source& spooled_in, update_counts& counts) {
  std::vector<char> buffer(1 << 20);
  std::size_t begin = 0;
  std::size_t end = 0;
  // At least n bytes from begin, or false at the end of the spool.
  auto have = [&](std::size_t n) {
    if (end - begin >= n) return true;
    std::memmove(buffer.data(), buffer.data() + begin, end - begin);
    end -= begin;
    begin = 0;
    if (buffer.size() < n) buffer.resize(n);
    while (end < n) {
      std::size_t got = spooled_in.read(buffer.data() + end, buffer.size() - end);
      if (got == 0) return false;
      end += got;
    }
    return true;
  };
  while (have(kFrameSize)) {
    std::uint64_t hash = 0;
    std::uint32_t size = 0;
    std::memcpy(&hash, buffer.data() + begin, sizeof hash);
    std::memcpy(&size, buffer.data() + begin + sizeof hash, sizeof size);
    begin += kFrameSize;
    if (!have(size)) throw read_error("scratch file cut short");
    // A body given more than once: only its last section stays.
    auto again = superseded.find(hash);
    if (again != superseded.end() && again->second > 0) {
      --again->second;
    } else {
      out.append(std::string_view(buffer.data() + begin, size));
      ++counts.added;
    }
    begin += size;
  }
}

}  // namespace quelvarn
