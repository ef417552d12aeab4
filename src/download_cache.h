// Where a download is kept between runs, and what the server said of it.
#ifndef QUELVARN_DOWNLOAD_CACHE_H_
#define QUELVARN_DOWNLOAD_CACHE_H_

#include <string>

namespace quelvarn {

/// What the server sent with a copy, to ask it next time whether it changed.
struct validators {
  std::string etag;
  std::string last_modified;
  bool any() const { return !etag.empty() || !last_modified.empty(); }
};

/// The two files a URL's copy is kept in: the bytes as they came, and
/// beside them the URL and its validators. The names hold a hash of the URL
/// and its last path segment, so that a person can tell them apart.
struct kept_copy {
  kept_copy(const std::string& cache_dir, std::string url);
  std::string url;
  std::string data_path;
  std::string validators_path;

  /// The validators kept with the copy; none when there are none, or they
  /// belong to another URL, or cannot be read.
  validators read_validators() const;
  /// Puts new validators in place (once the copy they describe is). Throws
  /// write_error.
  void write_validators(const validators& kept) const;
};

}  // namespace quelvarn

#endif  // QUELVARN_DOWNLOAD_CACHE_H_
