// The output catalogue, replaced whole or not at all.
#ifndef QUELVARN_OUTPUT_FILE_H_
#define QUELVARN_OUTPUT_FILE_H_

#include <memory>
#include <string>
#include <string_view>

#include "common/io.h"

namespace quelvarn {

/// A regular output file is written to a temporary file in its directory and
/// moved over the target only by commit(), so a failed or interrupted run
/// leaves the user's previous catalogue exactly as it was. On Linux the
/// temporary file is unnamed (O_TMPFILE) where the file system allows, so
/// that not even SIGKILL leaves a stray file; elsewhere it is named and
/// removed on failure and on SIGINT, SIGTERM, SIGHUP and SIGQUIT (on Windows:
/// Ctrl-C, Ctrl-Break, closing the console). Outputs that are not regular
/// files (pipes, devices, NUL and CON) are written directly. On Windows the
/// lines written end in CR LF. output_file-posix.cc and output_file-win32.cc
/// implement it.
class output_file {
 public:
  enum class temporary { unnamed_if_possible, named };

  /// Throws write_error when the output cannot be created, or when its name
  /// could never be put in place.
  explicit output_file(const std::string& path, temporary kind = temporary::unnamed_if_possible);

  /// Writes straight to standard output, where the shell opened it (for
  /// appending, perhaps).
  struct standard_output_t {};
  static constexpr standard_output_t standard_output{};
  explicit output_file(standard_output_t);

  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  /// How a text file's lines end on this platform: CR LF on Windows, LF
  /// elsewhere.
  static std::string_view text_line_end();
  /// Text: every LF is written as text_line_end().
  byte_sink& sink();
  /// Bytes as they are, on every platform: for a catalogue whose own line
  /// ends are kept.
  byte_sink& binary_sink();

  /// Removes a named temporary file, if one exists; async-signal-safe, for
  /// the last moments of a process that cannot unwind.
  static void abandon_temporary();

  /// Makes everything written durable and puts it in place of the target.
  /// Throws write_error; the target is then left untouched.
  void commit();

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

}  // namespace quelvarn

#endif  // QUELVARN_OUTPUT_FILE_H_
