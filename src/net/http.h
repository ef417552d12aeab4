// One HTTP GET, as the system's HTTP library performs it: libcurl on Linux,
// macOS and the BSDs (http-curl.cc), WinHTTP on Windows (http-win32.cc), or
// nothing in a build without libcurl (http-none.cc). Redirects, the cache
// and the choice of what to accept are the caller's (url_input.cc), so that
// every build follows the same rules.
#ifndef QUELVARN_HTTP_H_
#define QUELVARN_HTTP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/io.h"

namespace quelvarn {

/// What the caller needs of a response's status line and headers.
struct http_head {
  int status = 0;
  std::string reason;  // the status line's phrase, as the server sent it
  std::string location;
  std::string etag;
  std::string last_modified;
  std::optional<std::uint64_t> length;  // Content-Length
  std::string unreadable_length;        // a Content-Length that is no number
};

struct http_request {
  std::string url;
  /// Whole header lines, "Name: value".
  std::vector<std::string> headers;
  /// A transfer that receives no byte for this long fails (the library's
  /// own limit; the receiver keeps the finer ones).
  int stall_seconds = 60;
  /// A certificate authority trusted besides the system's (tests only).
  std::string extra_ca_file;
};

class http_receiver {
 public:
  virtual ~http_receiver() = default;
  /// The response's head; false when its body is not wanted.
  virtual bool head(const http_head& head) = 0;
  /// The next bytes of the body; false stops the transfer.
  virtual bool body(std::string_view bytes) = 0;
  /// Asked at least once a second while the transfer waits, with the bytes
  /// of the response received so far (its head too, as far as the library
  /// tells them); false stops it.
  virtual bool still_wanted(std::uint64_t received) = 0;
};

/// The library's own time limit was reached: nothing came for
/// http_request::stall_seconds, or the head did not arrive whole in that time.
struct http_timeout : read_error {
  http_timeout() : read_error("timed out") {}
};

/// What a response whose head is larger than the library takes is refused with.
constexpr const char* kHeadTooLarge = "the server's response header is too large";

/// The library that reads URLs in this build ("libcurl", "WinHTTP"), or
/// nullptr when this build cannot read them.
const char* http_library();

/// Sends one GET (https verified against the system's trust store, never
/// otherwise) and hands the response to the receiver; redirects are not
/// followed. Returns when the body has ended whole, or the receiver stopped
/// it. Throws read_error with the cause when the name does not resolve, the
/// connection or TLS fails, the head is too large or the body ends short,
/// and http_timeout when the library's time limit is reached.
void http_get(const http_request& request, http_receiver& receiver);

}  // namespace quelvarn

#endif  // QUELVARN_HTTP_H_
