// Where a download is kept between runs, what the server said of it, and
// what proves the copy on disk is still the one that arrived.
#ifndef QUELVARN_DOWNLOAD_CACHE_H_
#define QUELVARN_DOWNLOAD_CACHE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/io.h"
#include "platform/platform.h"

namespace quelvarn {

class output_file;

/// What the server sent with a copy, to ask it next time whether it changed.
struct validators {
  std::string etag;
  std::string last_modified;
  bool any() const { return !etag.empty() || !last_modified.empty(); }
  bool operator==(const validators&) const = default;
};

/// The length and checksum of a copy's bytes.
struct copy_check {
  std::uint64_t length = 0;
  std::uint64_t checksum = 0;
  bool operator==(const copy_check&) const = default;
};

/// copy_check of bytes given in pieces of any size: the same bytes give the
/// same result however they are split.
class copy_checksum {
 public:
  void add(std::string_view bytes);
  copy_check result() const;

 private:
  void mix(std::uint64_t word);
  std::uint64_t hash_ = 0x9e3779b97f4a7c15ULL;
  std::uint64_t length_ = 0;
  char tail_[8] = {};
  std::size_t tail_size_ = 0;
};

/// The copy_check of everything the source has left. Throws read_error.
copy_check check_of(byte_source& source);

/// What is kept beside a copy.
struct kept_record {
  validators said;
  /// Nothing for a record written before copies were checked.
  std::optional<copy_check> check;
  bool operator==(const kept_record&) const = default;
};

/// The record and the copy as they were together.
struct opened_copy {
  kept_record record;
  input_file to_check;    // read once to prove the copy...
  input_file to_convert;  // ...then converted: the same file
};

/// The files a URL's copy is kept in: the bytes as they came, beside them
/// the URL, its validators and the copy's check, and a lock that makes the
/// two change together. The names hold a hash of the URL and its last path
/// segment, so that a person can tell them apart.
struct kept_copy {
  /// url as it may be shown and written down: without its password.
  kept_copy(const std::string& cache_dir, std::string url);
  std::string url;
  std::string data_path;
  std::string validators_path;
  std::string lock_path;

  /// The record, when there is one for this URL, and the copy it describes,
  /// read under the lock so that another run cannot replace one between
  /// them. Nothing when either is missing or cannot be read.
  std::optional<opened_copy> open() const;
  /// Puts a new copy and its record in place under the lock, the record
  /// last, so that no run ever sees the one without the other. Throws
  /// io_error; the record is then left out rather than wrong.
  void replace(output_file& new_copy, const kept_record& record) const;
  /// Removes the copy and its record, unless another run has replaced them
  /// since `seen` was read.
  void drop(const kept_record& seen) const;
};

}  // namespace quelvarn

#endif  // QUELVARN_DOWNLOAD_CACHE_H_
