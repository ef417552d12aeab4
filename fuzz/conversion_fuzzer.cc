// The whole conversion of arbitrary bytes: plain or gzip input, recognition
// of MPCORB, headerless minor-planet and comet files, records and line ends
// as they come; then the same records merged by --update into a catalogue
// made of the input's own first bytes.
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
    text_line first;
    input_kind kind = recognise_input(lines, first);
    if (kind == input_kind::bad) return 0;
    counting_sink sink;
    output_buffer out(sink, block_writer::caller);
    console quiet = console::silent();
    conversion_counts counts = convert_records(lines, kind, first, out, quiet);
    out.finish();
    // Every converted record writes at least its constant lines, and a file
    // recognised by its first record converts that one at least.
    if (sink.bytes < (counts.records - counts.skipped) * 100) __builtin_trap();
    if (kind != input_kind::mpcorb && counts.converted == 0) __builtin_trap();

    auto again = open_catalogue_stream(std::make_unique<memory_source>(bytes), false);
    line_reader update_lines(*again, 4096);
    text_line update_first;
    input_kind update_kind = recognise_input(update_lines, update_first);
    string_sink spooled;
    output_buffer spool(spooled, block_writer::caller);
    catalogue_update merge(std::string(bytes.substr(0, bytes.size() / 2)), spool);
    selection_criteria criteria;
    criteria.limit = 50;
    selection select(criteria);
    conversion_counts merged = update_records(update_lines, update_kind, update_first, merge, quiet, &select);
    spool.finish();
    counting_sink written;
    output_buffer merged_out(written, block_writer::caller);
    memory_source spool_contents(spooled.text);
    update_counts update = merge.write(merged_out, spool_contents);
    merged_out.finish();
    if (merged.selected > 50 || update.added > merged.selected) __builtin_trap();
  } catch (const read_error&) {
    // A corrupt compressed stream: reported to the user, not a fault.
  }
  return 0;
}
