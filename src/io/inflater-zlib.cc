// Raw deflate decoding with zlib, where ISA-L is not used.
#include <zlib.h>

#include <algorithm>
#include <limits>

#include "common/io.h"
#include "io/inflater.h"

namespace quelvarn {

const char* const inflater::kName = "zlib";

struct inflater::state {
  z_stream zs{};
  std::uint32_t crc = 0;
};

inflater::inflater() : state_(std::make_unique<state>()) {
  // Negative window bits: raw deflate, the gzip framing is ours.
  if (inflateInit2(&state_->zs, -MAX_WBITS) != Z_OK) throw read_error("zlib could not start");
}

inflater::~inflater() { inflateEnd(&state_->zs); }

void inflater::reset() {
  if (inflateReset(&state_->zs) != Z_OK) throw read_error("zlib could not restart");
  state_->crc = 0;
}

bool inflater::inflate(byte_span& in, byte_span& out) {
  z_stream& zs = state_->zs;
  constexpr std::size_t kMax = std::numeric_limits<uInt>::max();
  zs.next_in = in.data;
  zs.avail_in = static_cast<uInt>(std::min(in.size, kMax));
  zs.next_out = out.data;
  zs.avail_out = static_cast<uInt>(std::min(out.size, kMax));
  uInt in_before = zs.avail_in;
  uInt out_before = zs.avail_out;
  int rc = ::inflate(&zs, Z_NO_FLUSH);
  std::size_t produced = out_before - zs.avail_out;
  state_->crc = static_cast<std::uint32_t>(::crc32(state_->crc, out.data, static_cast<uInt>(produced)));
  in.advance(in_before - zs.avail_in);
  out.advance(produced);
  // Z_BUF_ERROR only says that no progress was possible with what was given.
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throw read_error("compressed input is corrupt");
  return rc == Z_STREAM_END;
}

std::uint32_t inflater::crc() const { return state_->crc; }

std::uint32_t inflater::crc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
  return static_cast<std::uint32_t>(::crc32_z(crc, data, size));
}

}  // namespace quelvarn
