#include "input_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform.h"

namespace quelvarn {
namespace {

constexpr std::size_t kCompressedBlock = 256 * 1024UL;
constexpr std::size_t kPrefetchBlocks = 4;
constexpr std::size_t kPrefetchBlockSize = 1 << 20;

}  // namespace

struct gzip_source::state {
  std::unique_ptr<byte_source> compressed;
  z_stream zs{};
  std::unique_ptr<unsigned char[]> in = std::make_unique_for_overwrite<unsigned char[]>(kCompressedBlock);
  bool member_ended = false;
  bool input_ended = false;

  // More compressed bytes into an empty input buffer; false at their end.
  bool refill() {
    if (input_ended) return false;
    std::size_t got = compressed->read(reinterpret_cast<char*>(in.get()), kCompressedBlock);
    if (got == 0) {
      input_ended = true;
      return false;
    }
    zs.next_in = in.get();
    zs.avail_in = static_cast<uInt>(got);
    return true;
  }
};

gzip_source::gzip_source(std::unique_ptr<byte_source> compressed) : state_(std::make_unique<state>()) {
  state_->compressed = std::move(compressed);
  // 16 + 15: gzip wrapper only, largest window.
  if (inflateInit2(&state_->zs, 16 + MAX_WBITS) != Z_OK) throw read_error("zlib could not start");
}

gzip_source::~gzip_source() { inflateEnd(&state_->zs); }

std::size_t gzip_source::read(char* buf, std::size_t n) {
  state& s = *state_;
  n = std::min<std::size_t>(n, std::numeric_limits<uInt>::max());
  s.zs.next_out = reinterpret_cast<unsigned char*>(buf);
  s.zs.avail_out = static_cast<uInt>(n);
  while (s.zs.avail_out == n) {
    if (s.member_ended) {
      // Another member may follow, as in files joined with cat.
      if (s.zs.avail_in == 0 && !s.refill()) return 0;
      if (inflateReset(&s.zs) != Z_OK) throw read_error("zlib could not restart");
      s.member_ended = false;
    }
    if (s.zs.avail_in == 0 && !s.refill()) throw read_error("compressed input is truncated");
    int rc = inflate(&s.zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      s.member_ended = true;
    } else if (rc != Z_OK) {
      throw read_error("compressed input is corrupt");
    }
  }
  return n - s.zs.avail_out;
}

prefetch_source::prefetch_source(std::unique_ptr<byte_source> inner)
    : inner_(std::move(inner)), pipe_(kPrefetchBlocks, kPrefetchBlockSize) {
  reader_ = start_quiet_thread([this] {
    try {
      while (chunk* c = pipe_.acquire_free()) {
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

prefetch_source::~prefetch_source() {
  pipe_.cancel();
  reader_.join();
}

std::size_t prefetch_source::read(char* buf, std::size_t n) {
  if (current_ == nullptr) {
    current_ = pipe_.acquire_full();
    offset_ = 0;
    if (current_ == nullptr) {
      if (std::exception_ptr error = pipe_.error()) std::rethrow_exception(error);
      return 0;
    }
  }
  std::size_t take = std::min(n, current_->size - offset_);
  std::memcpy(buf, current_->data.get() + offset_, take);
  offset_ += take;
  if (offset_ == current_->size) {
    pipe_.release(current_);
    current_ = nullptr;
  }
  return take;
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

std::unique_ptr<byte_source> open_catalogue_stream(std::unique_ptr<byte_source> raw, bool threaded) {
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
  if (!gzip) return stream;
  stream = std::make_unique<gzip_source>(std::move(stream));
  if (threaded) stream = std::make_unique<prefetch_source>(std::move(stream));
  return stream;
}

}  // namespace quelvarn
