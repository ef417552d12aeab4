// Raw deflate decoding with Intel's ISA-L, where the build finds it.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <limits>

#include "common/io.h"
#include "io/inflater.h"

namespace quelvarn {

const char* const inflater::kName = "isa-l";

// About 85 KiB of tables and history: allocated once, reset per member.
// isal_inflate_init() sets what decoding reads before it writes, so the
// tables are not zeroed first: for a small input that would cost more
// than decoding it.
struct inflater::state {
  inflate_state is;
};

inflater::inflater() : state_(std::make_unique_for_overwrite<state>()) { reset(); }

inflater::~inflater() = default;

void inflater::reset() {
  isal_inflate_init(&state_->is);
  // Raw deflate with the CRC-32 of the output kept, the trailer left to us.
  state_->is.crc_flag = ISAL_GZIP_NO_HDR;
}

bool inflater::inflate(byte_span& in, byte_span& out) {
  inflate_state& is = state_->is;
  constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
  is.next_in = in.data;
  is.avail_in = static_cast<std::uint32_t>(std::min(in.size, kMax));
  is.next_out = out.data;
  is.avail_out = static_cast<std::uint32_t>(std::min(out.size, kMax));
  std::uint32_t in_before = is.avail_in;
  std::uint32_t out_before = is.avail_out;
  int rc = isal_inflate(&is);
  in.advance(in_before - is.avail_in);
  out.advance(out_before - is.avail_out);
  if (rc != ISAL_DECOMP_OK) throw read_error("compressed input is corrupt");
  if (is.block_state != ISAL_BLOCK_FINISH) return false;
  // ISA-L reads input 8 bytes at a time and keeps what follows the stream in
  // its bit buffer: the next member's bytes, which go back to the caller.
  std::size_t unread = static_cast<std::size_t>(is.read_in_length) / 8;
  in.data -= unread;
  in.size += unread;
  is.read_in = 0;
  is.read_in_length = 0;
  return true;
}

std::uint32_t inflater::crc() const { return state_->is.crc; }

std::uint32_t inflater::crc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
  return crc32_gzip_refl(crc, data, size);
}

}  // namespace quelvarn
