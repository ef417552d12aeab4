// The whole run in process, as the command line makes it: arbitrary bytes
// as plain or gzip input, recognised as MPCORB, a headerless minor-planet
// file or a comet file, converted; then the same records merged by --update
// into a catalogue made of the input's own first bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/io.h"
#include "fuzz_options.h"
#include "platform/console.h"
#include "run/pipeline.h"

namespace {

quelvarn::run_result run(std::string_view bytes, const quelvarn::run_settings& settings,
                         quelvarn::memory_target& target) {
  quelvarn::console quiet = quelvarn::console::silent();
  return quelvarn::run_conversion(settings, std::make_unique<quelvarn::memory_source>(bytes), target, quiet);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  quelvarn_fuzz::use_options(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quelvarn;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  run_settings plain;
  plain.threaded = false;
  memory_target converted;
  run_result r = run(bytes, plain, converted);
  if (r.failure == run_failure::none) {
    // Every converted record writes at least its constant lines.
    if (!converted.committed || converted.committed->size() < r.counts.converted * 100) __builtin_trap();
  } else if (converted.committed) {
    __builtin_trap();
  }
  // A file recognised by its first record converts that one at least,
  // unless reading it failed (a corrupt gzip stream), which ends the run
  // before any count is kept.
  if (r.kind != input_kind::bad && r.kind != input_kind::mpcorb && r.failure != run_failure::input_unreadable &&
      r.counts.converted == 0) {
    __builtin_trap();
  }

  run_settings update = plain;
  update.update = true;
  // Few enough that an input of the target's size limit meets it.
  constexpr std::uint64_t kLimit = 8;
  update.select.limit = kLimit;
  memory_target catalogue(std::string(bytes.substr(0, bytes.size() / 2)));
  run_result merged = run(bytes, update, catalogue);
  if (merged.failure == run_failure::none &&
      (merged.counts.selected > kLimit || !merged.updated || merged.updated->added > merged.counts.selected)) {
    __builtin_trap();
  }
  return 0;
}
