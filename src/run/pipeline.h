// One run, in process: an orbit file in, a catalogue out (converted, or an
// existing one updated), the console told how it goes.
#ifndef QUELVARN_PIPELINE_H_
#define QUELVARN_PIPELINE_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_update.h"
#include "common/io.h"
#include "platform/console.h"
#include "records/selection.h"
#include "run/conversion.h"
#include "run/input_kind.h"

namespace quelvarn {

/// Where the catalogue goes, and the one it may replace.
class catalogue_target {
 public:
  virtual ~catalogue_target() = default;
  /// Whether the target is the input itself, which replacing would lose.
  virtual bool is_the_input() = 0;
  /// Whether it is a pipe or a device (a terminal, /dev/null, NUL): nothing
  /// written there stays as a catalogue for the planetarium.
  virtual bool is_device() = 0;
  /// The catalogue there now, for --update; nothing if there is none to
  /// read. Throws read_error.
  virtual std::optional<std::string> existing() = 0;
  /// Makes ready to write, before the run starts, so that a target that
  /// cannot be written is reported before any work. Throws write_error.
  virtual void open() = 0;
  /// text: every LF ends its line as the platform's text files do (a new
  /// catalogue); as_written: bytes as they are (a catalogue updated in its
  /// own line ends).
  enum class line_ends { text, as_written };
  virtual byte_sink& sink(line_ends ends) = 0;
  /// How a new catalogue's lines end.
  virtual std::string_view new_line_end() = 0;
  /// Scratch space for the sections --update appends. Throws write_error.
  virtual std::unique_ptr<scratch_space> scratch() = 0;
  /// Puts what was written in place of the old catalogue. Throws write_error.
  virtual void commit() = 0;
};

struct run_settings {
  bool update = false;
  selection_criteria select;
  /// How sections are written; none: `classic`, or with --update the
  /// layout of the catalogue being updated.
  std::optional<section_layout> layout;
  /// Decoding, converting and writing on threads of their own where the
  /// machine has the cores; false keeps everything on the caller's thread.
  bool threaded = true;
};

/// Why a run failed, which decides the message and the file it names.
enum class run_failure {
  none,
  input_bad,          // no orbit file, or nothing in it to convert
  input_unreadable,   // the input could not be read, or is corrupt
  comet_options,      // --numbered or --class with a comet file
  output_is_input,    // replacing the output would lose the input
  output_unreadable,  // --update: the catalogue there cannot be read
  not_a_catalogue,    // --update: what is there is no catalogue
  output_unwritable,  // the output cannot be written
  nothing_selected,   // the selection picked no record
};

struct run_result {
  run_failure failure = run_failure::none;
  /// The system's reason, when it gave one.
  std::optional<std::string> cause;
  input_kind kind = input_kind::bad;
  conversion_counts counts;
  /// --update only.
  std::optional<update_counts> updated;
  /// The bodies of the catalogue left in place (see update_counts::bodies);
  /// none when it went to a pipe or a device.
  std::uint64_t bodies = 0;
  /// The --body IDs that matched no record.
  std::vector<std::string> not_found;
};

/// Recognises the input (gzip or plain, by content), converts its records or
/// merges them into the target's catalogue, and commits the target only when
/// all went well. Says " Starting", progress and skipped lines on the
/// console; the summary is the caller's, from the result.
run_result run_conversion(const run_settings& settings, std::unique_ptr<byte_source> input, catalogue_target& target,
                          console& con);

/// A target in memory; for tests and fuzzing.
class memory_target final : public catalogue_target {
 public:
  explicit memory_target(std::optional<std::string> existing = std::nullopt, std::string_view line_end = "\n")
      : existing_(std::move(existing)), line_end_(line_end) {}
  bool is_the_input() override { return false; }
  bool is_device() override { return false; }
  std::optional<std::string> existing() override { return existing_; }
  void open() override {}
  byte_sink& sink(line_ends) override { return written_; }
  std::string_view new_line_end() override { return line_end_; }
  std::unique_ptr<scratch_space> scratch() override { return std::make_unique<memory_scratch>(); }
  void commit() override { committed = written_.text; }

  /// What was committed; nothing before commit().
  std::optional<std::string> committed;

 private:
  std::optional<std::string> existing_;
  std::string_view line_end_;
  string_sink written_;
};

}  // namespace quelvarn

#endif  // QUELVARN_PIPELINE_H_
