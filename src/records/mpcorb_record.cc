// The MPCORB record: its checks, identity, section and update keys.
#include "records/mpcorb_record.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "io/line_reader.h"
#include "records/packed_designation.h"
#include "records/packed_epoch.h"

namespace quelvarn {
namespace {

// Keys padded to 31 characters and followed by "= ", so that every value
// starts in column 34 as the catalogue's readers expect.
constexpr std::string_view kMagnitude = "absolute_magnitude             = ";
constexpr std::string_view kCoordFunc = "coord_func                     = comet_orbit\n";
constexpr std::string_view kIauDesignation = "iau_designation                = ";
constexpr std::string_view kNumber = "minor_planet_number            = ";
constexpr std::string_view kName = "name                           = ";
constexpr std::string_view kArgOfPericenter = "orbit_ArgOfPericenter          = ";
constexpr std::string_view kAscendingNode = "orbit_AscendingNode            = ";
constexpr std::string_view kEccentricity = "orbit_Eccentricity             = ";
constexpr std::string_view kEpoch = "orbit_Epoch                    = ";
constexpr std::string_view kInclination = "orbit_Inclination              = ";
constexpr std::string_view kMeanAnomaly = "orbit_MeanAnomaly              = ";
constexpr std::string_view kMeanMotion = "orbit_MeanMotion               = ";
constexpr std::string_view kSemiMajorAxis = "orbit_SemiMajorAxis            = ";
constexpr std::string_view kSlope = "slope_parameter                = ";
constexpr std::string_view kTypeAndEnd = "type                           = asteroid\n\n";

static_assert(kMagnitude.size() == 33 && kIauDesignation.size() == 33 && kSlope.size() == 33);

namespace col = mpcorb_columns;

// memcpy must not see the null pointer of an empty view, even for 0 bytes.
// Inline, so that the keys are copied as the constants they are.
[[gnu::always_inline]] inline char* put(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Bytes in vector registers (SSE2 on x86-64; the compiler's vector types
// elsewhere), where a test looks at sixteen of them at once and answers with
// one bit per byte, bit i for byte i: a field is trimmed and checked without
// a loop over its bytes.
template <std::size_t Size>
class byte_block {
  static_assert(Size == 16 || Size == 32);

 public:
  explicit byte_block(const char* from) { std::memcpy(&vectors_, from, Size); }

  template <typename... Bytes>
  std::uint32_t any_of(Bytes... wanted) const {
    return bits([&](vector v) { return ((v == static_cast<unsigned char>(wanted)) | ...); });
  }
  std::uint32_t trim_spaces() const { return any_of(' ', '\t', '\n', '\r'); }
  std::uint32_t controls() const {
    return bits([](vector v) { return (v < 0x20) | (v == 0x7f); });
  }

  void put(char* out) const { std::memcpy(out, &vectors_, Size); }
  // With capitals in small letters.
  void put_lower(char* out) const {
    for (vector v : vectors_) {
      vector lower = v + (std::bit_cast<vector>((v >= 'A') & (v <= 'Z')) & 0x20);
      std::memcpy(out, &lower, sizeof lower);
      out += sizeof lower;
    }
  }

 private:
  using vector = unsigned char __attribute__((vector_size(16)));

  // The bytes of a comparison's result are all ones where it holds.
  template <typename Test>
  std::uint32_t bits(Test test) const {
    std::uint32_t set = 0;
    for (std::size_t i = 0; i < Size / 16; ++i) {
      auto result = test(vectors_[i]);
#if defined(__SSE2__)
      auto half = static_cast<std::uint32_t>(_mm_movemask_epi8(std::bit_cast<__m128i>(result)));
#else
      std::uint32_t half = 0;
      for (int b = 0; b < 16; ++b) half |= static_cast<std::uint32_t>(result[b] != 0) << b;
#endif
      set |= half << (16 * i);
    }
    return set;
  }

  vector vectors_[Size / 16];
};

std::uint32_t lowest_bit(std::uint32_t bits) { return bits & (0U - bits); }

// The bits from the lowest to the highest set: of the bytes that are not
// trim spaces, the part of a text that trim() keeps.
std::uint32_t span(std::uint32_t bits) { return (std::bit_floor(bits) << 1) - lowest_bit(bits); }

// Writes the bytes of `from` whose bits are set, in order, each run of
// neighbours with one copy of 32 bytes: from must be readable 32 bytes past
// any of them, and out have room for 32 bytes more than it gets.
char* put_bits(char* out, const char* from, std::uint32_t bits) {
  while (bits != 0) {
    int first = std::countr_zero(bits);
    std::memcpy(out, from + first, 32);
    out += std::countr_one(bits >> first);
    bits &= bits + lowest_bit(bits);
  }
  return out;
}

// The designation is in columns 166-193, the number in 166-174 and the name
// in 176-194: read as one window of 32 columns from 166, one bit per column.
constexpr std::size_t kWindowOffset = col::kDesignation.offset;
constexpr std::size_t kWindowSize = 32;
constexpr std::uint32_t kSectionNameColumns = (1U << 28) - 1;
constexpr std::uint32_t kNumberColumns = (1U << kNumberFieldSize) - 1;
constexpr std::uint32_t kNameColumns = ((1U << 19) - 1) << 10;

// A record's columns, readable as far as the section's fields are read at a
// time: the line itself when it reaches that far, as every line of the MPC's
// files does, otherwise a copy padded with blanks, which come out trimmed
// as the line's missing columns would.
constexpr std::size_t kReadable = kWindowOffset + kWindowSize;
class record_columns {
 public:
  explicit record_columns(std::string_view line) : data_(line.data()) {
    if (line.size() >= kReadable) return;
    std::memset(padded_, ' ', sizeof padded_);
    put(padded_, line);
    data_ = padded_;
  }
  record_columns(const record_columns&) = delete;
  record_columns& operator=(const record_columns&) = delete;
  const char* data() const { return data_; }

 private:
  const char* data_;
  char padded_[kReadable];
};

// What the designation columns give a section, found for all of them at
// once. The section name is the designation trimmed, then without its first
// "(", first ")" and first two blanks, in small letters; the number is
// columns 166-174 without their first "(" and first ")", trimmed.
class designation {
 public:
  explicit designation(const char* columns);

  // Whether the section name and the name can reach the planetarium intact:
  // a section name that is empty, holds "[", "]", "#", "/" or a control byte,
  // or is one the planetarium keeps for itself would merge, split or
  // truncate bodies; a "#" or a control byte would cut the name short.
  // Inlined into the record loop: left to itself, the compiler makes it a
  // call whenever the other functions of this file change (9 instructions
  // more per record).
  [[gnu::always_inline]] inline bool writable() const;

  char* put_section_name(char* out) const { return put_bits(out, lower_, section_name_); }
  bool has_number() const { return number_ != 0; }
  char* put_number(char* out) const { return put_bits(out, text_, number_); }
  char* put_name(char* out) const { return put_bits(out, text_, name_); }

 private:
  // The window, then room for put_bits() to read past it.
  char text_[2 * kWindowSize];
  char lower_[2 * kWindowSize];
  std::uint32_t section_name_;
  std::uint32_t number_;
  std::uint32_t name_;
  bool safe_;
};

designation::designation(const char* columns) {
  const byte_block<kWindowSize> window(columns + kWindowOffset);
  std::uint32_t solid = ~window.trim_spaces();
  std::uint32_t blank = window.any_of(' ');
  std::uint32_t open = window.any_of('(');
  std::uint32_t close = window.any_of(')');
  // The planetarium reads a "#" as the start of a comment, splits section
  // names on "/", and needs "[" and "]" to frame exactly one name.
  std::uint32_t unsafe_in_name = window.controls() | window.any_of('#');
  std::uint32_t unsafe_in_section_name = unsafe_in_name | window.any_of('/', '[', ']');

  std::uint32_t designation = span(solid & kSectionNameColumns);
  std::uint32_t blanks = blank & designation;
  section_name_ = designation & ~(lowest_bit(open & designation) | lowest_bit(close & designation) |
                                  lowest_bit(blanks) | lowest_bit(blanks & (blanks - 1)));
  std::uint32_t number = kNumberColumns & ~(lowest_bit(open & kNumberColumns) | lowest_bit(close & kNumberColumns));
  number_ = span(number & solid) & number;
  name_ = span(solid & kNameColumns);
  safe_ = (unsafe_in_section_name & designation) == 0 && (unsafe_in_name & name_) == 0 && (section_name_ & ~blank) != 0;

  window.put(text_);
  window.put_lower(lower_);
  std::memset(text_ + kWindowSize, 0, kWindowSize);
  std::memset(lower_ + kWindowSize, 0, kWindowSize);
}

inline bool designation::writable() const {
  if (!safe_) return false;
  // A name of three to five bytes spans at most nine columns: the bytes
  // dropped between its first and its last are four at most.
  if (std::bit_width(section_name_) - std::countr_zero(section_name_) > 5 + 4) return true;
  char text[2 * kWindowSize];
  std::string_view section(text, static_cast<std::size_t>(put_section_name(text) - text));
  // The planetarium keeps these names for its own bodies.
  return section != "sun" && section != "earth" && section != "moon";
}

// A field of at most 16 columns, trimmed; the columns must be readable 16
// bytes past its first.
[[gnu::always_inline]] inline char* put_field(char* out, const char* columns, column c) {
  std::uint32_t solid = ~byte_block<16>(columns + c.offset).trim_spaces() & ((1U << c.width) - 1);
  if (solid == 0) return out;
  int first = std::countr_zero(solid);
  std::memcpy(out, columns + c.offset + first, 16);
  return out + (std::bit_width(solid) - first);
}
static_assert(col::kSemiMajorAxis.offset + 16 <= kReadable, "the last element field is read 16 bytes at a time");

[[gnu::always_inline]] inline char* put_field_line(char* out, std::string_view key, const char* columns, column c) {
  out = put_field(put(out, key), columns, c);
  *out++ = '\n';
  return out;
}

void put_two_digits(char* out, std::size_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::memcpy(out, kPairs + 2 * value, 2);
}

// The digits of a whole number of days as printf prints them; seven, for
// every epoch from 1800 to 2099, are written without a loop.
char* put_days(char* out, std::uint32_t days) {
  if (days < 1000000 || days > 9999999) return std::to_chars(out, out + 16, days).ptr;
  std::size_t high = days / 10000;
  std::size_t low = days % 10000;
  out[0] = static_cast<char>('0' + high / 100);
  put_two_digits(out + 1, high % 100);
  put_two_digits(out + 3, low / 100);
  put_two_digits(out + 5, low % 100);
  return out + 7;
}

// Both layouts, from one writer, compiled for each: the classic sections
// cost no more than before there was a choice.
template <section_layout Layout>
char* put_section(char* p, const char* columns, const designation& id, double epoch_day) {
  constexpr bool current = Layout == section_layout::current;
  *p++ = '[';
  p = put(id.put_section_name(p), "]\n");
  p = put_field_line(p, kMagnitude, columns, col::kMagnitude);
  if (!current) p = put(p, kCoordFunc);
  if (id.has_number()) {
    p = id.put_number(put(p, kNumber));
    *p++ = '\n';
  } else if (current) {
    // A body without a number: its name is its provisional designation.
    p = id.put_name(put(p, kIauDesignation));
    *p++ = '\n';
  }
  p = id.put_name(put(p, kName));
  *p++ = '\n';
  p = put_field_line(p, kArgOfPericenter, columns, col::kArgOfPericenter);
  p = put_field_line(p, kAscendingNode, columns, col::kAscendingNode);
  p = put_field_line(p, kEccentricity, columns, col::kEccentricity);
  p = format_julian_day(epoch_day, put(p, kEpoch));
  *p++ = '\n';
  p = put_field_line(p, kInclination, columns, col::kInclination);
  p = put_field_line(p, kMeanAnomaly, columns, col::kMeanAnomaly);
  p = put_field_line(p, kMeanMotion, columns, col::kMeanMotion);
  p = put_field_line(p, kSemiMajorAxis, columns, col::kSemiMajorAxis);
  if (current) {
    // The key goes in first and stays only if G is there.
    char* value = put(p, kSlope);
    char* end = put_field(value, columns, col::kSlope);
    if (end != value) {
      *end++ = '\n';
      p = end;
    }
  }
  return put(p, kTypeAndEnd);
}

}  // namespace

std::string_view epoch_field(std::string_view line) { return field(line, col::kEpoch); }

std::string_view number_field(std::string_view line, char (&text)[kNumberFieldSize]) {
  record_columns columns(line);
  char number[kNumberFieldSize + 32];
  auto size = static_cast<std::size_t>(designation(columns.data()).put_number(number) - number);
  std::memcpy(text, number, size);
  return {text, size};
}

bool designation_writable(std::string_view line) {
  record_columns columns(line);
  return designation(columns.data()).writable();
}

char* format_julian_day(double day, char* out) {
  // Every packed epoch gives a whole number of days plus one half, with
  // fewer than ten digits: "%.10g" then prints it in full, so the whole days
  // and ".5" say the same without the general formatter's cost.
  if (day >= 0 && day < 1e9) {
    auto whole = static_cast<std::uint32_t>(day);
    if (day - whole == 0.5) return put(put_days(out, whole), ".5");
  }
  return std::to_chars(out, out + 32, day, std::chars_format::general, 10).ptr;
}

char* record2section(std::string_view line, char* out, section_layout layout) {
  record_columns columns(line);
  std::string_view epoch = epoch_field(line);
  double day = readable_epoch_jd(epoch);
  if (day == 0) day = jd(epoch);
  designation id(columns.data());
  return layout == section_layout::current ? put_section<section_layout::current>(out, columns.data(), id, day)
                                           : put_section<section_layout::classic>(out, columns.data(), id, day);
}

template <section_layout Layout>
char* writable_record2section(std::string_view line, char* out) {
  record_columns columns(line);
  designation id(columns.data());
  double day = readable_epoch_jd(epoch_field(line));
  if (day == 0 || !id.writable()) return nullptr;
  return put_section<Layout>(out, columns.data(), id, day);
}
template char* writable_record2section<section_layout::classic>(std::string_view line, char* out);
template char* writable_record2section<section_layout::current>(std::string_view line, char* out);

namespace {

// The records' own blanks between fields, H and G (which may be blank), and
// the elements, which must be numbers.
constexpr column kGaps[] = {{7, 1}, {13, 1}, {19, 1}, {25, 1}, {35, 2}, {46, 2}, {57, 2}, {68, 2}, {79, 1}, {91, 1}};
constexpr column kMagnitudes[] = {col::kMagnitude, col::kSlope};
constexpr column kElements[] = {col::kMeanAnomaly,  col::kArgOfPericenter, col::kAscendingNode, col::kInclination,
                                col::kEccentricity, col::kMeanMotion,      col::kSemiMajorAxis};

}  // namespace

bool is_minor_planet_record(std::string_view line) {
  // Longer lines than the line reader holds are records of no layout.
  if (line.size() < kShortestRecord || line.size() > line_reader::kMaxLineLength) return false;
  if (!is_packed_minor_planet(line.substr(0, 7))) return false;
  for (column gap : kGaps)
    if (!all_blanks(field(line, gap))) return false;
  for (column magnitude : kMagnitudes) {
    std::string_view value = trim(field(line, magnitude));
    if (!value.empty() && !decimal_number(value)) return false;
  }
  for (column element : kElements)
    if (!decimal_number(trim(field(line, element)))) return false;
  return epoch_readable(epoch_field(line)) && designation_writable(line);
}

template <section_layout Layout>
skip_reason mpcorb_record::write(std::string_view line, char* room, char*& end) {
  if (line.size() < kShortestRecord) return {"too short"};
  end = writable_record2section<Layout>(line, room);
  if (end != nullptr) return {};
  std::string_view epoch = epoch_field(line);
  return epoch_readable(epoch) ? skip_reason{"bad designation"} : skip_reason{"bad epoch ", epoch};
}
template skip_reason mpcorb_record::write<section_layout::classic>(std::string_view line, char* room, char*& end);
template skip_reason mpcorb_record::write<section_layout::current>(std::string_view line, char* room, char*& end);

body_identity minor_planet_identity(std::string_view line) {
  body_identity id;
  // As the catalogue's minor_planet_number.
  char number[kNumberFieldSize];
  id.number = number_field(line, number);
  id.designation = trim(field(line, col::kDesignation));
  id.name = trim(field(line, col::kName));
  id.magnitude = field(line, col::kMagnitude);
  id.slope = trim(field(line, col::kSlope));
  id.flags = field(line, col::kFlags);
  return id;
}

const update_keys& minor_planet_update_keys() {
  static const update_keys keys{
      {"orbit_Epoch", "orbit_MeanAnomaly", "orbit_MeanMotion", "orbit_SemiMajorAxis", "orbit_Eccentricity",
       "orbit_Inclination", "orbit_AscendingNode", "orbit_ArgOfPericenter", "absolute_magnitude"},
      {"orbit_TimeAtPericenter", "orbit_PericenterDistance", "orbit_MeanLongitude", "orbit_LongOfPericenter",
       "orbit_Period"},
      {"minor_planet_number", "iau_designation"},
      true};
  return keys;
}

}  // namespace quelvarn
