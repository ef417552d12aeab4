// http.h for a build configured without libcurl: files convert as ever, and
// a URL is refused with a reason the user can act on.
#include "common/io.h"
#include "net/http.h"

namespace quelvarn {

const char* http_library() { return nullptr; }

void http_get(const http_request&, http_receiver&) {
  throw read_error("this build of quelvarn cannot read URLs (it was built without libcurl)");
}

}  // namespace quelvarn
