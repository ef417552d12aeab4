// INPUT given as an http:// or https:// URL: converted as it arrives, and
// kept in a cache folder so that the next run downloads it only if the
// server has a newer one.
#ifndef QUELVARN_URL_INPUT_H_
#define QUELVARN_URL_INPUT_H_

#include <string>
#include <string_view>

#include "console.h"
#include "platform.h"

namespace quelvarn {

/// Whether INPUT is a URL (http:// or https://, in any case) and not a path.
bool is_url(std::string_view input);

/// Starts downloading the URL and returns its bytes as they arrive, once
/// the server has answered 200; or, when it answers 304 Not Modified to
/// the validators kept from the last download, the copy kept in the cache
/// folder (cache_dir, or default_cache_dir() when empty), which the console
/// is told. Redirects are followed, 10 at most, never to another scheme nor
/// from https to http. A new copy replaces the kept one only when it has
/// arrived whole: its announced length, and for gzip its trailer's check
/// (see byte_source::verified_to_end). A cache folder that cannot be used
/// costs the copy, not the conversion: standard error says why. Throws
/// read_error with the cause for any other answer and any failed transfer;
/// the source read later throws read_error when the transfer fails then.
/// While it downloads, and standard error is a terminal, one line of
/// progress is drawn there in place.
input_file open_url(const std::string& url, const std::string& cache_dir, console& con);

}  // namespace quelvarn

#endif  // QUELVARN_URL_INPUT_H_
