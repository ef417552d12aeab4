// The part of gzip decompression that differs between libraries: decoding
// one raw deflate stream and the CRC-32 of what it yields. The gzip framing
// around it (headers, trailers, members) is written once, in input_stream.cc.
#ifndef QUELVARN_INFLATER_H_
#define QUELVARN_INFLATER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quelvarn {

/// Bytes still to be consumed (input) or still free (output).
struct byte_span {
  unsigned char* data = nullptr;
  std::size_t size = 0;

  void advance(std::size_t n) {
    data += n;
    size -= n;
  }
};

/// Decodes one raw deflate stream after another. Which library does it is
/// chosen when quelvarn is configured (QUELVARN_INFLATE).
class inflater {
 public:
  /// The library's name, as `quelvarn --version` shows it.
  static const char* const kName;

  inflater();
  ~inflater();
  inflater(const inflater&) = delete;
  inflater& operator=(const inflater&) = delete;

  /// Starts a new deflate stream.
  void reset();

  /// A decoder may read this many bytes past the end of a stream and give
  /// them back when it ends, so the caller keeps as many bytes before in.data
  /// readable (they may come from an earlier input block).
  static constexpr std::size_t kMaxReadAhead = 8;

  /// Decodes from in into out, advancing both, until one of them runs out or
  /// the stream's last block has been decoded; true then, and in is left at
  /// the first byte after the stream. Throws read_error on corrupt data.
  bool inflate(byte_span& in, byte_span& out);

  /// The CRC-32 of everything the current stream has yielded.
  std::uint32_t crc() const;

  static std::uint32_t crc32(std::uint32_t crc, const unsigned char* data, std::size_t size);

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace quelvarn

#endif  // QUELVARN_INFLATER_H_
