// Scratch space on disk for the sections --update appends, which can only
// follow the catalogue once the whole input has been read.
#ifndef QUELVARN_SPOOL_FILE_H_
#define QUELVARN_SPOOL_FILE_H_

#include <memory>
#include <string>

#include "common/io.h"

namespace quelvarn {

/// Scratch space for data written once and read back once, in a file that
/// has no name (or loses it at once), so that no run, however it ends,
/// leaves it behind. It is made beside the output (the same file system
/// keeps the same space), or in the temporary directory when that fails.
class spool_file final : public scratch_space {
 public:
  /// Throws write_error when no scratch file can be made.
  explicit spool_file(const std::string& output_path);
  ~spool_file() override;
  spool_file(const spool_file&) = delete;
  spool_file& operator=(const spool_file&) = delete;

  /// Bytes as they are, on every platform.
  byte_sink& sink() override;
  /// What was written, from its start. Throws read_error.
  byte_source& rewind() override;

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

}  // namespace quelvarn

#endif  // QUELVARN_SPOOL_FILE_H_
