// The whole conversion of arbitrary bytes: plain or gzip input, header,
// records and line ends as they come; then the same records merged by
// --update into a catalogue made of the input's own first bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue_update.h"
#include "conversion.h"
#include "input_stream.h"
#include "io.h"
#include "line_reader.h"
#include "output_buffer.h"

namespace {

class counting_sink final : public quelvarn::byte_sink {
 public:
  void write(std::string_view data) override { bytes += data.size(); }
  std::size_t bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quelvarn;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    auto input = open_catalogue_stream(std::make_unique<memory_source>(bytes), false);
    line_reader lines(*input, 4096);
    if (!read_title(lines)) return 0;
    counting_sink sink;
    output_buffer out(sink, false);
    console quiet = console::silent();
    conversion_counts counts = convert_records(lines, out, quiet);
    out.finish();
    // Every converted record writes at least its constant lines.
    if (sink.bytes < (counts.records - counts.skipped) * 100) __builtin_trap();

    auto again = open_catalogue_stream(std::make_unique<memory_source>(bytes), false);
    line_reader update_lines(*again, 4096);
    read_title(update_lines);
    string_sink spooled;
    output_buffer spool(spooled, false);
    catalogue_update merge(std::string(bytes.substr(0, bytes.size() / 2)), spool);
    selection_criteria criteria;
    criteria.limit = 50;
    selection select(criteria);
    conversion_counts merged = update_records(update_lines, merge, quiet, &select);
    spool.finish();
    counting_sink written;
    output_buffer merged_out(written, false);
    memory_source spool_contents(spooled.text);
    update_counts update = merge.write(merged_out, spool_contents);
    merged_out.finish();
    if (merged.selected > 50 || update.added > merged.selected) __builtin_trap();
  } catch (const read_error&) {
    // A corrupt compressed stream: reported to the user, not a fault.
  }
  return 0;
}
