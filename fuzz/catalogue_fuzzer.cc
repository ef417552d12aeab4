// The input as the user's catalogue, updated with a numbered body, two bodies
// numbered since and two comets given twice: what is not theirs must come out
// as it went in, each is written once, and a second update changes nothing.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "catalogue_update.h"
#include "comet_record.h"
#include "io.h"
#include "mpcorb_record.h"
#include "output_buffer.h"
#include "selection.h"

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

struct merged {
  std::string text;
  update_counts counts;
};

merged update(std::string catalogue) {
  string_sink spooled;
  output_buffer spool(spooled, block_writer::caller);
  catalogue_update merge(std::move(catalogue), spool);
  for (const std::string& record : kRecords) {
    char section[kMaxSectionSize];
    std::string_view text(section, static_cast<std::size_t>(record2section(record, section) - section));
    merge.add(minor_planet_identity(record), text, minor_planet_update_keys());
  }
  // Given twice, a comet is still written once.
  for (const std::string& line : kComets) {
    std::string comet = comet_section_text(line);
    merge.add(comet_body_identity(line), comet, comet_update_keys());
    merge.add(comet_body_identity(line), comet, comet_update_keys());
  }
  spool.finish();
  string_sink written;
  output_buffer out(written, block_writer::caller);
  memory_source spool_contents(spooled.text);
  update_counts counts = merge.write(out, spool_contents);
  out.finish();
  return {written.text, counts};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string catalogue(reinterpret_cast<const char*>(data), size);
  merged once = update(catalogue);
  if (once.counts.added > std::size(kRecords) + std::size(kComets) || once.counts.updated + once.counts.added == 0)
    __builtin_trap();
  if (once.counts.updated == 0 && once.text.compare(0, catalogue.size(), catalogue) != 0) __builtin_trap();
  if (update(once.text).text != once.text) __builtin_trap();
  return 0;
}
