// Byte streams in and out of the converter, and the errors they raise.
#ifndef QUELVARN_IO_H_
#define QUELVARN_IO_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace quelvarn {

/// An input or output failure and its cause. code() is the system's error
/// (errno, or GetLastError on Windows) when the system gave one; what() is
/// the cause as a person reads it ("No space left on device", "compressed
/// input is corrupt").
class io_error : public std::system_error {
 public:
  explicit io_error(std::error_code code) : std::system_error(code), cause_(code.message()) {}
  explicit io_error(const std::string& cause) : std::system_error(std::error_code(), cause), cause_(cause) {}
  const char* what() const noexcept override { return cause_.c_str(); }

 private:
  std::string cause_;
};

/// The input could not be read (an I/O error, a corrupt or truncated
/// compressed stream, a file that shrank under us).
struct read_error : io_error {
  using io_error::io_error;
};

/// The output could not be created or written.
struct write_error : io_error {
  using io_error::io_error;
};

class byte_source {
 public:
  virtual ~byte_source() = default;
  /// Up to n bytes into buf; 0 only at the end of the stream. Throws read_error.
  virtual std::size_t read(char* buf, std::size_t n) = 0;
  /// Said by a decoder that has read this source to its end and found the
  /// stream whole (a gzip trailer's check passed): a download may then be
  /// kept, which the end of the bytes alone does not prove.
  virtual void verified_to_end() {}
};

class byte_sink {
 public:
  virtual ~byte_sink() = default;
  /// All of data, or throws write_error.
  virtual void write(std::string_view data) = 0;
};

/// Bytes written once, then read back once from the start.
class scratch_space {
 public:
  virtual ~scratch_space() = default;
  /// Bytes as they are, on every platform.
  virtual byte_sink& sink() = 0;
  /// What was written, from its start. Throws read_error.
  virtual byte_source& rewind() = 0;
};

/// Turns every LF into CR LF on the way to another sink, as a text-mode
/// file on Windows does.
class crlf_sink final : public byte_sink {
 public:
  explicit crlf_sink(byte_sink& inner) : inner_(inner) {}
  void write(std::string_view data) override;

 private:
  byte_sink& inner_;
  std::string converted_;
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

/// Scratch space in memory; for tests and fuzzing.
class memory_scratch final : public scratch_space {
 public:
  byte_sink& sink() override { return written_; }
  byte_source& rewind() override {
    reader_ = memory_source(written_.text);
    return reader_;
  }

 private:
  string_sink written_;
  memory_source reader_{std::string_view()};
};

}  // namespace quelvarn

#endif  // QUELVARN_IO_H_
