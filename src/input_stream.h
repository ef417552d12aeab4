// The catalogue's bytes as the MPC ships them: plain, or gzip-compressed.
#ifndef QUELVARN_INPUT_STREAM_H_
#define QUELVARN_INPUT_STREAM_H_

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "chunk_pipe.h"
#include "io.h"
#include "line_reader.h"

namespace quelvarn {

/// Decompresses a gzip stream of one or more members, as `gzip -dc` does.
/// A corrupt or truncated stream, a member whose CRC-32 or length does not
/// match its trailer, or bytes after a member that are not another member,
/// raise read_error.
class gzip_source final : public byte_source {
 public:
  explicit gzip_source(std::unique_ptr<byte_source> compressed);
  ~gzip_source() override;
  gzip_source(const gzip_source&) = delete;
  gzip_source& operator=(const gzip_source&) = delete;
  std::size_t read(char* buf, std::size_t n) override;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

/// Work that either thread may do when it is ahead of the other; true when
/// some was done.
using spare_work = std::function<bool()>;

/// Reads another source ahead on a thread of its own, so that producing the
/// bytes (decompressing them, above all) overlaps their conversion. Its
/// blocks are lent out as they are, without a copy.
class prefetch_source final : public block_source {
 public:
  explicit prefetch_source(std::unique_ptr<byte_source> inner);
  ~prefetch_source() override;
  prefetch_source(const prefetch_source&) = delete;
  prefetch_source& operator=(const prefetch_source&) = delete;
  std::size_t read(char* buf, std::size_t n) override;
  std::string_view next_block() override;

  /// Has the reading thread, once it is well ahead, and the consumer, when
  /// it has caught up, do work (writing the output) until it is reset to
  /// nullptr, which waits for the reading thread to leave it.
  void share_spare_time(spare_work work);

 private:
  // Whether a block with unread bytes is at hand, once the last one is back.
  bool advance();
  bool reader_does_spare_work();

  std::unique_ptr<byte_source> inner_;
  chunk_pipe pipe_;
  std::thread reader_;
  chunk* current_ = nullptr;
  std::size_t offset_ = 0;
  std::mutex spare_mutex_;  // the reading thread holds it while it works
  spare_work spare_;
};

/// Whether input is read ahead by a thread of its own.
bool reads_ahead(const byte_source& input);

/// Lends the spare time of the thread behind input, if it has one, to work
/// (nullptr ends the loan).
void share_spare_time(byte_source& input, spare_work work);

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

/// Recognises gzip input by its magic bytes (never by the file's name) and
/// returns the stream of plain catalogue text. threaded = false keeps all
/// work on the caller's thread.
std::unique_ptr<byte_source> open_catalogue_stream(std::unique_ptr<byte_source> raw, bool threaded = true);

}  // namespace quelvarn

#endif  // QUELVARN_INPUT_STREAM_H_
