// The catalogue's bytes as the MPC ships them: plain, or gzip-compressed.
#ifndef QUELVARN_INPUT_STREAM_H_
#define QUELVARN_INPUT_STREAM_H_

#include <functional>
#include <memory>
#include <string>

#include "common/io.h"
#include "io/line_reader.h"

namespace quelvarn {

/// Decompresses a gzip stream of one or more members, as `gzip -dc` does.
/// A corrupt or truncated stream, a member whose CRC-32 or length does not
/// match its trailer, or bytes after a member that are not another member,
/// raise read_error.
class gzip_source final : public byte_source {
 public:
  /// block_size: how much compressed input is read at a time.
  explicit gzip_source(std::unique_ptr<byte_source> compressed, std::size_t block_size = 256 << 10);
  ~gzip_source() override;
  gzip_source(const gzip_source&) = delete;
  gzip_source& operator=(const gzip_source&) = delete;
  std::size_t read(char* buf, std::size_t n) override;

 private:
  struct stream;
  std::unique_ptr<stream> stream_;
};

/// Work that either thread may do when it is ahead of the other; true when
/// some was done.
using spare_work = std::function<bool()>;

/// A thread that reads the input ahead, and lends the time it would spend
/// waiting for the consumer.
class spare_time_lender {
 public:
  /// Has the reading thread, once it is well ahead, and the consumer, when
  /// it has caught up, do work (writing the output) until it is reset to
  /// nullptr, which waits for the reading thread to leave it.
  virtual void share_spare_time(spare_work work) = 0;

 protected:
  ~spare_time_lender() = default;
};

/// Serves a prefix read ahead of time, then the rest of the source.
class prefixed_source final : public byte_source {
 public:
  prefixed_source(std::string prefix, std::unique_ptr<byte_source> rest)
      : prefix_(std::move(prefix)), rest_(std::move(rest)) {}
  std::size_t read(char* buf, std::size_t n) override;
  void verified_to_end() override { rest_->verified_to_end(); }

 private:
  std::string prefix_;
  std::size_t offset_ = 0;
  std::unique_ptr<byte_source> rest_;
};

/// The library that decompresses gzip input in this build ("isa-l", "zlib").
const char* gzip_decoder_name();

/// The plain catalogue text, and the thread that reads it ahead, if any.
struct catalogue_stream {
  std::unique_ptr<byte_source> text;
  spare_time_lender* read_ahead = nullptr;
};

/// Recognises gzip input by its magic bytes (never by the file's name) and
/// returns the stream of plain catalogue text; gzip input is decoded ahead
/// on a thread of its own unless threaded is false.
catalogue_stream open_catalogue_stream(std::unique_ptr<byte_source> raw, bool threaded = true);

}  // namespace quelvarn

#endif  // QUELVARN_INPUT_STREAM_H_
