// The catalogue's bytes: gzip framing and decoding, and the read-ahead thread.
#include "io/input_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "io/chunk_pipe.h"
#include "io/inflater.h"
#include "platform/platform.h"

namespace quelvarn {
namespace {

constexpr std::size_t kCompressedBlock = 256 * 1024UL;
// The decoder's thread and the record loop's share the writing of the
// output, each when it is ahead of the other. Small blocks keep the loop fed
// while the decoder writes; many keep the decoder going while the loop does.
constexpr std::size_t kPrefetchBlocks = 32;
constexpr std::size_t kPrefetchBlockSize = 128 * 1024UL;
// How many decoded blocks the loop must have waiting before the decoder
// turns to other work.
constexpr std::size_t kAheadForSpareWork = 8;

// gzip header: the method byte and the flag bits.
constexpr unsigned char kDeflate = 8;
constexpr unsigned char kHeaderCrc = 0x02;
constexpr unsigned char kExtra = 0x04;
constexpr unsigned char kName = 0x08;
constexpr unsigned char kComment = 0x10;
constexpr unsigned char kReservedFlags = 0xe0;

// Reads another source ahead on a thread of its own, so that producing the
// bytes (decompressing them, above all) overlaps their conversion. Its
// blocks are lent out as they are, without a copy.
class prefetch_source final : public block_source, public spare_time_lender {
 public:
  explicit prefetch_source(std::unique_ptr<byte_source> inner);
  ~prefetch_source() override;
  prefetch_source(const prefetch_source&) = delete;
  prefetch_source& operator=(const prefetch_source&) = delete;
  std::size_t read(char* buf, std::size_t n) override;
  std::string_view next_block() override;
  void share_spare_time(spare_work work) override;

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

}  // namespace

// The gzip framing (RFC 1952) is read here, the deflate data in between by
// the inflater, so that both decoders accept and refuse the same files.
struct gzip_source::stream {
  explicit stream(std::size_t block) : block_size(block) {}
  std::unique_ptr<byte_source> compressed;
  inflater decoder;
  std::size_t block_size;
  // The decoder's read-ahead, kept from the block before, then the block.
  std::unique_ptr<unsigned char[]> buffer =
      std::make_unique_for_overwrite<unsigned char[]>(inflater::kMaxReadAhead + block_size);
  byte_span in{buffer.get() + inflater::kMaxReadAhead, 0};  // what is left of the block
  bool input_ended = false;
  bool in_member = false;
  bool any_member = false;
  std::uint32_t member_size = 0;  // modulo 2^32, as the trailer keeps it
  std::uint32_t header_crc = 0;

  // More compressed bytes into the empty buffer; false at their end.
  bool refill() {
    if (input_ended) return false;
    unsigned char* block = buffer.get() + inflater::kMaxReadAhead;
    std::memmove(buffer.get(), in.data - inflater::kMaxReadAhead, inflater::kMaxReadAhead);
    std::size_t got = compressed->read(reinterpret_cast<char*>(block), block_size);
    if (got == 0) {
      input_ended = true;
      return false;
    }
    in = {block, got};
    return true;
  }

  bool more() { return in.size > 0 || refill(); }

  // The next header or trailer byte; the header's CRC covers all of them.
  unsigned char next_byte() {
    if (!more()) throw read_error("compressed input is truncated");
    unsigned char b = *in.data;
    header_crc = inflater::crc32(header_crc, in.data, 1);
    in.advance(1);
    return b;
  }

  std::uint32_t little_endian(int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(next_byte()) << (8 * i);
    return value;
  }

  // Skips n header bytes, or up to and including a zero byte when n is
  // absent; a long name or extra field costs no more than its length.
  void skip(std::optional<std::size_t> n) {
    for (;;) {
      if (!more()) throw read_error("compressed input is truncated");
      std::size_t take = in.size;
      bool done = false;
      if (n) {
        take = std::min(take, *n);
        *n -= take;
        done = *n == 0;
      } else if (const void* zero = std::memchr(in.data, 0, in.size)) {
        take = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - in.data) + 1;
        done = true;
      }
      header_crc = inflater::crc32(header_crc, in.data, take);
      in.advance(take);
      if (done) return;
    }
  }

  // Reads a member's header; false at a clean end of the input between members.
  bool start_member() {
    if (!more()) {
      if (!any_member) throw read_error("compressed input is truncated");
      return false;
    }
    header_crc = 0;
    // Bytes after a member that are not another one are refused, as by gzip.
    if (next_byte() != 0x1f || next_byte() != 0x8b) throw read_error("compressed input has trailing garbage");
    if (next_byte() != kDeflate) throw read_error("compressed input uses an unknown method");
    unsigned char flags = next_byte();
    if ((flags & kReservedFlags) != 0) throw read_error("compressed input has unknown header flags");
    skip(6);  // modification time, extra flags, operating system
    if ((flags & kExtra) != 0) skip(little_endian(2));
    if ((flags & kName) != 0) skip(std::nullopt);
    if ((flags & kComment) != 0) skip(std::nullopt);
    if ((flags & kHeaderCrc) != 0) {
      std::uint32_t expected = header_crc & 0xffff;
      if (little_endian(2) != expected) throw read_error("compressed input has a corrupt header");
    }
    decoder.reset();
    member_size = 0;
    in_member = any_member = true;
    return true;
  }

  void end_member() {
    std::uint32_t crc = decoder.crc();
    if (little_endian(4) != crc || little_endian(4) != member_size) {
      throw read_error("compressed input fails its check");
    }
    in_member = false;
  }
};

gzip_source::gzip_source(std::unique_ptr<byte_source> compressed, std::size_t block_size)
    : stream_(std::make_unique<stream>(block_size)) {
  stream_->compressed = std::move(compressed);
}

gzip_source::~gzip_source() = default;

std::size_t gzip_source::read(char* buf, std::size_t n) {
  stream& s = *stream_;
  byte_span out{reinterpret_cast<unsigned char*>(buf), n};
  while (out.size == n && n > 0) {
    // Members joined with cat are read one after another.
    if (!s.in_member && !s.start_member()) {
      s.compressed->verified_to_end();
      break;
    }
    std::size_t free_before = out.size;
    bool ended = s.decoder.inflate(s.in, out);
    s.member_size += static_cast<std::uint32_t>(free_before - out.size);
    if (ended) {
      s.end_member();
    } else if (out.size > 0) {
      // The decoder stops early only for want of input.
      if (s.in.size > 0) throw read_error("compressed input is corrupt");
      if (!s.refill()) throw read_error("compressed input is truncated");
    }
  }
  return n - out.size;
}

prefetch_source::prefetch_source(std::unique_ptr<byte_source> inner)
    : inner_(std::move(inner)), pipe_(kPrefetchBlocks, kPrefetchBlockSize, true) {
  reader_ = start_quiet_thread([this] {
    try {
      for (;;) {
        if (pipe_.full_count() >= kAheadForSpareWork && reader_does_spare_work()) continue;
        chunk* c = pipe_.acquire_free();
        if (c == nullptr) break;
        c->size = inner_->read(c->data.get(), pipe_.capacity());
        if (c->size == 0) {
          pipe_.release(c);
          break;
        }
        pipe_.push_full(c);
      }
      pipe_.finish();
    } catch (...) {
      pipe_.finish(std::current_exception());
    }
  });
}

void prefetch_source::share_spare_time(spare_work work) {
  std::lock_guard lock(spare_mutex_);
  spare_ = std::move(work);
}

bool prefetch_source::reader_does_spare_work() {
  std::lock_guard lock(spare_mutex_);
  return spare_ && spare_();
}

prefetch_source::~prefetch_source() {
  pipe_.cancel();
  reader_.join();
}

bool prefetch_source::advance() {
  if (current_ != nullptr && offset_ < current_->size) return true;
  if (current_ != nullptr) pipe_.release(current_);
  // Only this thread changes spare_, so it reads it without the lock.
  current_ = pipe_.try_acquire_full();
  while (current_ == nullptr && spare_ && spare_()) current_ = pipe_.try_acquire_full();
  if (current_ == nullptr) current_ = pipe_.acquire_full();
  offset_ = 0;
  if (current_ != nullptr) return true;
  if (std::exception_ptr error = pipe_.error()) std::rethrow_exception(error);
  return false;
}

std::size_t prefetch_source::read(char* buf, std::size_t n) {
  if (n == 0 || !advance()) return 0;
  std::size_t take = std::min(n, current_->size - offset_);
  std::memcpy(buf, current_->data.get() + offset_, take);
  offset_ += take;
  return take;
}

// The block stays lent until the next call; only then does it go back to the
// reading thread.
std::string_view prefetch_source::next_block() {
  if (!advance()) return {};
  std::string_view rest(current_->data.get() + offset_, current_->size - offset_);
  offset_ = current_->size;
  return rest;
}

std::size_t prefixed_source::read(char* buf, std::size_t n) {
  if (offset_ < prefix_.size()) {
    std::size_t take = std::min(n, prefix_.size() - offset_);
    std::memcpy(buf, prefix_.data() + offset_, take);
    offset_ += take;
    return take;
  }
  return rest_->read(buf, n);
}

const char* gzip_decoder_name() { return inflater::kName; }

catalogue_stream open_catalogue_stream(std::unique_ptr<byte_source> raw, bool threaded) {
  std::string magic(2, '\0');
  std::size_t have = 0;
  while (have < magic.size()) {
    std::size_t got = raw->read(magic.data() + have, magic.size() - have);
    if (got == 0) break;
    have += got;
  }
  magic.resize(have);
  bool gzip = magic == "\x1f\x8b";
  std::unique_ptr<byte_source> stream = std::make_unique<prefixed_source>(std::move(magic), std::move(raw));
  if (!gzip) return {std::move(stream)};
  // Without threads the run is a small one (tests, fuzzing): small blocks.
  stream = std::make_unique<gzip_source>(std::move(stream), threaded ? kCompressedBlock : std::size_t{16} << 10);
  if (!threaded) return {std::move(stream)};
  auto ahead = std::make_unique<prefetch_source>(std::move(stream));
  spare_time_lender* lender = ahead.get();
  return {std::move(ahead), lender};
}

}  // namespace quelvarn
