// Byte streams in and out of the converter, and the errors they raise.
#ifndef QUELVARN_IO_H_
#define QUELVARN_IO_H_

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quelvarn {

/// The input could not be read (an I/O error, a corrupt or truncated
/// compressed stream, a file that shrank under us).
struct read_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The output could not be created or written.
struct write_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class byte_source {
 public:
  virtual ~byte_source() = default;
  /// Up to n bytes into buf; 0 only at the end of the stream. Throws read_error.
  virtual std::size_t read(char* buf, std::size_t n) = 0;
};

class byte_sink {
 public:
  virtual ~byte_sink() = default;
  /// All of data, or throws write_error.
  virtual void write(std::string_view data) = 0;
};

/// Reads a file descriptor it does not own. Knowing the size the file had
/// when it was opened, it treats an early end (the file was truncated while
/// being read) as a read error rather than as a shorter catalogue.
class fd_source final : public byte_source {
 public:
  explicit fd_source(int fd, long long expected_size = -1) : fd_(fd), expected_size_(expected_size) {}
  std::size_t read(char* buf, std::size_t n) override;

 private:
  int fd_;
  long long expected_size_;
  long long consumed_ = 0;
};

/// Writes to a file descriptor it does not own.
class fd_sink final : public byte_sink {
 public:
  explicit fd_sink(int fd) : fd_(fd) {}
  void write(std::string_view data) override;

 private:
  int fd_;
};

/// Serves bytes from memory; used for peeked prefixes, tests and fuzzing.
class memory_source final : public byte_source {
 public:
  explicit memory_source(std::string_view data) : data_(data) {}
  std::size_t read(char* buf, std::size_t n) override;

 private:
  std::string_view data_;
};

/// Collects everything written; for tests and fuzzing.
class string_sink final : public byte_sink {
 public:
  void write(std::string_view data) override { text.append(data); }
  std::string text;
};

}  // namespace quelvarn

#endif  // QUELVARN_IO_H_
