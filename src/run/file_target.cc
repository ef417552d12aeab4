// The catalogue file at OUTPUT as the target of a run.
#include "run/file_target.h"

#include <system_error>
#include <utility>

#include "platform/last_words.h"
#include "platform/output_file.h"
#include "platform/spool_file.h"

namespace quelvarn {

file_target::file_target(std::string path, std::optional<file_identity> input, bool to_standard_output,
                         std::optional<standard_stream> console)
    : path_(std::move(path)), input_(input), to_standard_output_(to_standard_output), console_(console) {}

file_target::~file_target() = default;

bool file_target::is_the_input() { return input_ && identify(path_) == input_; }

// Standard output counts as what it is redirected to.
bool file_target::is_device() { return kind_of_file(path_) == file_kind::other; }

// Nothing when OUTPUT does not exist yet, or is standard output, a pipe or
// a device: they hold no catalogue, and reading a pipe would wait for a
// writer that never comes.
std::optional<std::string> file_target::existing() {
  prepare_last_words(console_, path_.c_str(), " cannot be read");
  file_kind kind = to_standard_output_ ? file_kind::other : kind_of_file(path_);
  if (kind == file_kind::none || kind == file_kind::other) return std::nullopt;
  read_stamp_ = stamp(path_);
  input_file existing;
  try {
    existing = open_input(path_);
  } catch (const read_error& e) {
    if (e.code() == std::errc::no_such_file_or_directory) return std::nullopt;
    throw;
  }
  std::string text;
  char buffer[64 * 1024];
  while (std::size_t n = existing.source->read(buffer, sizeof buffer)) text.append(buffer, n);
  return text;
}

void file_target::open() {
  prepare_last_words(console_, path_.c_str(), " cannot be written");
  file_ = to_standard_output_ ? std::make_unique<output_file>(output_file::standard_output)
                              : std::make_unique<output_file>(path_);
}

byte_sink& file_target::sink(line_ends ends) { return ends == line_ends::text ? file_->sink() : file_->binary_sink(); }

std::string_view file_target::new_line_end() { return output_file::text_line_end(); }

std::unique_ptr<scratch_space> file_target::scratch() { return std::make_unique<spool_file>(path_); }

// Two updates of one catalogue at once would each replace it with their own
// view of it, the later losing the earlier's work: the later one fails.
void file_target::commit() {
  if (read_stamp_ && stamp(path_) != read_stamp_) {
    throw write_error("it was changed by another program during the update");
  }
  file_->commit();
}

}  // namespace quelvarn
