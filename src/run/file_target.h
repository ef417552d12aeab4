// The catalogue file at OUTPUT as the target of a run: replaced whole or not
// at all, never the input itself.
#ifndef QUELVARN_FILE_TARGET_H_
#define QUELVARN_FILE_TARGET_H_

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "run/pipeline.h"

namespace quelvarn {

class output_file;

class file_target final : public catalogue_target {
 public:
  /// input: the identity of the input file, when it has one. to_standard_output:
  /// OUTPUT names the stream standard output already is, which is written
  /// where the shell opened it.
  file_target(std::string path, std::optional<file_identity> input, bool to_standard_output,
              std::optional<standard_stream> console);
  ~file_target() override;
  file_target(const file_target&) = delete;
  file_target& operator=(const file_target&) = delete;

  bool is_the_input() override;
  bool is_device() override;
  std::optional<std::string> existing() override;
  void open() override;
  byte_sink& sink(line_ends ends) override;
  std::string_view new_line_end() override;
  std::unique_ptr<scratch_space> scratch() override;
  void commit() override;

 private:
  std::string path_;
  std::optional<file_identity> input_;
  bool to_standard_output_;
  std::optional<standard_stream> console_;
  std::unique_ptr<output_file> file_;
  // The catalogue as it was read, to tell whether another program has
  // replaced or written it since.
  std::optional<file_stamp> read_stamp_;
};

}  // namespace quelvarn

#endif  // QUELVARN_FILE_TARGET_H_
