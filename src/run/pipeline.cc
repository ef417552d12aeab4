// The stages of one run, in the order that keeps the user's catalogue safe.
#include "run/pipeline.h"

#include <exception>
#include <thread>
#include <utility>

#include "catalogue/ini_lines.h"
#include "io/input_stream.h"
#include "io/line_reader.h"
#include "io/output_buffer.h"

namespace quelvarn {
namespace {

// Who writes the output. Decoding, converting and writing each keep a core
// busy. Given three cores, each has its own thread. Given two, the thread
// that decodes and the one that converts share the writing, each when it is
// ahead of the other: three threads would take turns on two cores, and each
// turn leaves a core idle while a sleeping thread wakes.
block_writer writer_for(const catalogue_stream& input, bool threaded) {
  if (!threaded) return block_writer::caller;
  return input.read_ahead != nullptr && std::thread::hardware_concurrency() < 3 ? block_writer::shared
                                                                                : block_writer::thread;
}

// The output of a run, with the input's spare time lent to its writing.
class run_output {
 public:
  run_output(byte_sink& sink, const catalogue_stream& input, bool threaded)
      : input_(input), buffer_(sink, writer_for(input, threaded)) {
    if (input_.read_ahead != nullptr)
      input_.read_ahead->share_spare_time([this] { return buffer_.write_ready_block(); });
  }
  ~run_output() {
    if (input_.read_ahead != nullptr) input_.read_ahead->share_spare_time(nullptr);
  }
  run_output(const run_output&) = delete;
  run_output& operator=(const run_output&) = delete;

  output_buffer& buffer() { return buffer_; }

 private:
  const catalogue_stream& input_;
  output_buffer buffer_;
};

// One run's stages, in the order that keeps the user's catalogue safe:
// nothing touches the output before the input has shown itself to be an
// orbit file, so that a swapped pair of arguments or a typo costs nothing.
class run {
 public:
  run(const run_settings& settings, catalogue_target& target, console& con, run_result& result)
      : settings_(settings), target_(target), con_(con), result_(result) {}

  void go(std::unique_ptr<byte_source> raw);
  bool writing() const { return writing_; }

 private:
  bool checked(line_reader& lines, text_line& first);
  void convert(catalogue_stream& input, line_reader& lines, text_line& first, selection* chosen);
  void update(std::string existing, catalogue_stream& input, line_reader& lines, text_line& first, selection* chosen);
  void fail(run_failure failure) { result_.failure = failure; }

  const run_settings& settings_;
  catalogue_target& target_;
  console& con_;
  run_result& result_;
  bool writing_ = false;
  std::optional<std::string> existing_;
};

// Recognition and the checks that need no output yet; false on a failure.
bool run::checked(line_reader& lines, text_line& first) {
  result_.kind = recognise_input(lines, first);
  if (result_.kind == input_kind::bad) return fail(run_failure::input_bad), false;
  // Comets have neither numbers nor orbit classes in the MPC's file.
  if (result_.kind == input_kind::comets && (settings_.select.numbered || !settings_.select.classes.empty())) {
    return fail(run_failure::comet_options), false;
  }
  if (target_.is_the_input()) return fail(run_failure::output_is_input), false;
  if (!settings_.update) return true;
  try {
    existing_ = target_.existing();
  } catch (const read_error& e) {
    result_.cause = e.what();
    return fail(run_failure::output_unreadable), false;
  } catch (const std::exception&) {
    return fail(run_failure::output_unreadable), false;
  }
  // Text appended to a gzip file or a document would spoil it for nothing.
  if (existing_ && !reads_as_catalogue(*existing_)) return fail(run_failure::not_a_catalogue), false;
  return true;
}

void run::go(std::unique_ptr<byte_source> raw) {
  catalogue_stream input = open_catalogue_stream(std::move(raw), settings_.threaded);
  // Without threads the run is a small one (tests, fuzzing): small blocks.
  line_reader lines(*input.text, settings_.threaded ? std::size_t{1} << 20 : std::size_t{16} << 10);
  text_line first;
  if (!checked(lines, first)) return;
  writing_ = true;
  target_.open();
  con_.say("");
  con_.say(" Starting");
  con_.say("");
  selection select(settings_.select);
  selection* chosen = settings_.select.any() ? &select : nullptr;
  if (settings_.update) {
    update(existing_.value_or(""), input, lines, first, chosen);
  } else {
    convert(input, lines, first, chosen);
  }
  result_.not_found = select.not_found();
  const conversion_counts& counts = result_.counts;
  // Nothing convertible: replacing a catalogue with an empty one would lose it.
  if (counts.converted == 0) return fail(run_failure::input_bad);
  // Nothing selected: the same, unless an existing catalogue is kept as it is.
  if (counts.selected == 0 && !existing_) return fail(run_failure::nothing_selected);
  if (counts.selected > 0) target_.commit();
  if (!target_.is_device()) result_.bodies = result_.updated ? result_.updated->bodies : counts.bodies;
}

void run::convert(catalogue_stream& input, line_reader& lines, text_line& first, selection* chosen) {
  run_output output(target_.sink(catalogue_target::line_ends::text), input, settings_.threaded);
  result_.counts = convert_records(lines, result_.kind, first, output.buffer(), con_, chosen,
                                   settings_.layout.value_or(section_layout::classic));
  output.buffer().finish();
}

// The new sections wait in scratch space until the whole input has been
// read, because the updated sections that come before them depend on its
// last records. The catalogue keeps its own line ends, so it is written as
// bytes.
void run::update(std::string existing, catalogue_stream& input, line_reader& lines, text_line& first,
                 selection* chosen) {
  std::unique_ptr<scratch_space> spool = target_.scratch();
  run_output spooled(spool->sink(), input, settings_.threaded);
  catalogue_update merge(std::move(existing), spooled.buffer(), target_.new_line_end());
  // New sections follow the catalogue, which is read whole by now.
  result_.counts =
      update_records(lines, result_.kind, first, merge, con_, chosen, settings_.layout.value_or(merge.layout()));
  spooled.buffer().finish();
  result_.updated = update_counts{};
  result_.updated->bodies = merge.bodies_held();
  if (result_.counts.selected == 0) return;
  output_buffer buffer(target_.sink(catalogue_target::line_ends::as_written),
                       settings_.threaded ? block_writer::thread : block_writer::caller);
  try {
    result_.updated = merge.write(buffer, spool->rewind());
  } catch (const read_error& e) {
    // The scratch space is our own output; it failing is not the input's fault.
    throw write_error(e.what());
  }
  buffer.finish();
}

}  // namespace

run_result run_conversion(const run_settings& settings, std::unique_ptr<byte_source> input, catalogue_target& target,
                          console& con) {
  run_result result;
  run stages(settings, target, con, result);
  try {
    stages.go(std::move(input));
  } catch (const read_error& e) {
    result.failure = run_failure::input_unreadable;
    result.cause = e.what();
  } catch (const write_error& e) {
    result.failure = run_failure::output_unwritable;
    result.cause = e.what();
  } catch (const std::exception&) {
    // Out of memory, or no thread could be started.
    result.failure = stages.writing() ? run_failure::output_unwritable : run_failure::input_unreadable;
  }
  return result;
}

}  // namespace quelvarn
