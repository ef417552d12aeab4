// The input as the user's catalogue, updated with bodies its first bytes
// pick: what is not theirs must come out as it went in, each body is
// written once, and a second update changes nothing.
//
// Leading bytes below 6 choose the update: 0 a numbered body, 1 and 2 two
// numbered since (2 designated in the extended packed form, _QC0000), 3 and
// 4 two comets, given in that order, at most two (the same twice, or two
// that may claim the same section); 5 ends the lines of a catalogue that
// has none yet with CR LF. Without any, the first body alone. The rest is
// the catalogue. Every body's section is parsed several times per input,
// so few bodies per input keep the fuzzer fast.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_update.h"
#include "common/io.h"
#include "fuzz_options.h"
#include "io/output_buffer.h"
#include "records/comet_record.h"
#include "records/mpcorb_record.h"
#include "records/selection.h"

namespace {

using namespace quelvarn;

const std::string kRecords[] = {
    "00001    3.34  0.12 K107N 113.41048   72.58976   80.39321   10.58682  0.0791382  0.21432817   2.7653485  0 "
    "MPO110568  6063  94 1802-2006 0.61 M-v 30h MPCW       0000      (1) Ceres              20061025",
    "0LCQ3   20.8   0.12 K107N 113.41048   72.58976   80.39321   10.58682  0.0791382  0.21432817   2.7653485"
    "  0 MPO110568  6063  94 1802-2006 0.61 M-v 30h MPCW       0000 (706765) 2010 TK7           20061025",
    // Designated in the extended packed form (_QC0000), numbered since.
    "~0KOY   20.8   0.12 K107N 113.41048   72.58976   80.39321   10.58682  0.0791382  0.21432817   2.7653485"
    "  0 MPO110568  6063  94 1802-2006 0.61 M-v 30h MPCW       0000 (698402) 2026 CA620         20061025",
};
const std::string kComets[] = {
    "0002P         2020 06 27.0592  0.334149  0.849348  186.6356  334.5140   11.8043  20211016  11.5  6.0  "
    "2P/Encke                                                 MPEC 2021-TD0",
    "    P_WY0Mpc  2020 06 27.0592  0.334149  0.849348  186.6356  334.5140   11.8043  20211016  11.5  6.0  "
    "P/2032 YT4130 (PANSTARRS)                                MPEC 2021-TD0",
};

// A body as the record loop hands it to the merge. The records' own
// conversion is the record fuzzer's: here it is done once.
struct body {
  body_identity identity;
  std::string section;
  const update_keys* keys = nullptr;
};

const std::vector<body>& bodies() {
  static const std::vector<body> all = [] {
    std::vector<body> made;
    for (const std::string& record : kRecords) {
      char section[kMaxSectionSize];
      made.push_back({minor_planet_identity(record), std::string(section, record2section(record, section)),
                      &minor_planet_update_keys()});
    }
    for (const std::string& line : kComets) {
      made.push_back({comet_body_identity(line), comet_section_text(line), &comet_update_keys()});
    }
    return made;
  }();
  return all;
}

struct choice {
  std::vector<std::size_t> bodies;  // indexes into bodies(), in order
  std::string_view new_line_end = "\n";
  std::string_view catalogue;
};

choice chosen(std::string_view input) {
  constexpr std::size_t kMostBodies = 2;
  constexpr char kCrLf = 5;
  choice c;
  std::size_t used = 0;
  for (; used < input.size() && input[used] >= 0 && input[used] <= kCrLf; ++used) {
    if (input[used] == kCrLf) {
      c.new_line_end = "\r\n";
    } else if (c.bodies.size() < kMostBodies) {
      c.bodies.push_back(static_cast<std::size_t>(input[used]));
    } else {
      break;
    }
  }
  if (c.bodies.empty()) c.bodies.push_back(0);
  c.catalogue = input.substr(used);
  return c;
}

struct merged {
  std::string text;
  update_counts counts;
};

// The buffers the merge writes to, made once: a buffer its caller writes is
// ready for more once finished, and making one costs as much as a small merge.
struct outputs {
  string_sink spooled;
  string_sink written;
  output_buffer spool{spooled, block_writer::caller};
  output_buffer out{written, block_writer::caller};
};

merged update(std::string catalogue, const choice& c) {
  static outputs o;
  o.spooled.text.clear();
  o.written.text.clear();
  catalogue_update merge(std::move(catalogue), o.spool, c.new_line_end);
  for (std::size_t i : c.bodies) {
    const body& b = bodies()[i];
    merge.add(b.identity, b.section, *b.keys);
  }
  o.spool.finish();
  memory_source spool_contents(o.spooled.text);
  update_counts counts = merge.write(o.out, spool_contents);
  o.out.finish();
  return {o.written.text, counts};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  quelvarn_fuzz::use_options(argc, argv);
  bodies();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  choice c = chosen(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string catalogue(c.catalogue);
  merged once = update(catalogue, c);
  if (once.counts.added > bodies().size() || once.counts.updated + once.counts.added == 0) __builtin_trap();
  if (once.counts.updated == 0 && once.text.compare(0, catalogue.size(), catalogue) != 0) __builtin_trap();
  if (update(once.text, c).text != once.text) __builtin_trap();
  return 0;
}
