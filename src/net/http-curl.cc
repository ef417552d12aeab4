// http.h with libcurl (Linux, macOS, the BSDs). Proxies come from libcurl's
// usual environment variables (http_proxy, https_proxy, no_proxy).
#include <curl/curl.h>
#include <dlfcn.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "common/io.h"
#include "common/version.h"
#include "net/http.h"

namespace quelvarn {
namespace {

// Fewer, larger pieces of the body: each one is a hand-over to the reader.
constexpr long kReceiveBuffer = 256 * 1024L;
// A response's head is a few hundred bytes; libcurl's own limit is a line
// of this size, which it reports as running out of memory.
constexpr std::uint64_t kMaxHeadBytes = 100 * 1024ULL;

// libcurl is loaded when a URL is first read, not when the program starts:
// it brings some thirty libraries along (TLS, compression, name lookup),
// which cost about 6 MiB of memory and milliseconds of start-up that
// converting a file never needs.
struct library {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  void (*easy_cleanup)(CURL*);
  const char* (*easy_strerror)(CURLcode);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

template <typename Function>
void find(void* handle, const char* name, Function*& function) {
  void* found = ::dlsym(handle, name);
  if (found == nullptr) throw read_error(std::string("libcurl has no ") + name);
  function = reinterpret_cast<Function*>(found);
}

library load() {
  void* handle = nullptr;
  // Linux and the BSDs, macOS, and a libcurl of another major version last.
  for (const char* name : {"libcurl.so.4", "libcurl.4.dylib", "libcurl.so"}) {
    handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) break;
  }
  if (handle == nullptr) {
    const char* why = ::dlerror();
    throw read_error(std::string("libcurl could not be loaded: ") + (why != nullptr ? why : "not found"));
  }
  library lib{};
  find(handle, "curl_global_init", lib.global_init);
  find(handle, "curl_easy_init", lib.easy_init);
  find(handle, "curl_easy_setopt", lib.easy_setopt);
  find(handle, "curl_easy_perform", lib.easy_perform);
  find(handle, "curl_easy_cleanup", lib.easy_cleanup);
  find(handle, "curl_easy_strerror", lib.easy_strerror);
  find(handle, "curl_slist_append", lib.slist_append);
  find(handle, "curl_slist_free_all", lib.slist_free_all);
  // Once, before any transfer: libcurl's global set-up is not thread-safe.
  if (CURLcode code = lib.global_init(CURL_GLOBAL_DEFAULT); code != CURLE_OK) {
    throw read_error(lib.easy_strerror(code));
  }
  return lib;
}

const library& curl() {
  static const library loaded = load();
  return loaded;
}

struct easy_deleter {
  void operator()(CURL* easy) const { curl().easy_cleanup(easy); }
};
struct list_deleter {
  void operator()(curl_slist* list) const { curl().slist_free_all(list); }
};

struct transfer {
  explicit transfer(http_receiver& r) : receiver(r) {}
  http_receiver& receiver;
  http_head head;
  bool head_done = false;
  bool stopped = false;  // the receiver wanted no more
  bool head_too_large = false;
  std::uint64_t head_bytes = 0;
  std::uint64_t received = 0;
};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "HTTP/1.1 404 Not Found", or "HTTP/2 200" without a phrase.
void read_status_line(std::string_view line, http_head& head) {
  head = {};
  std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  std::string_view rest = line.substr(space + 1);
  std::from_chars(rest.data(), rest.data() + rest.size(), head.status);
  std::size_t phrase = rest.find(' ');
  if (phrase != std::string_view::npos) head.reason = trimmed(rest.substr(phrase + 1));
}

void read_header(std::string_view line, http_head& head) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  std::string_view name = line.substr(0, colon);
  std::string_view value = trimmed(line.substr(colon + 1));
  if (same_name(name, "location")) {
    head.location = value;
  } else if (same_name(name, "etag")) {
    head.etag = value;
  } else if (same_name(name, "last-modified")) {
    head.last_modified = value;
  } else if (same_name(name, "content-length")) {
    std::uint64_t n = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    bool number = error == std::errc() && end == value.data() + value.size() && !value.empty();
    // Two that differ are one list of lengths (RFC 9110), no length at all:
    // taking either could cut the body short at a line end, unnoticed.
    if (number && head.length && *head.length != n) {
      head.unreadable_length = (std::to_string(*head.length) + ", " + std::string(value)).substr(0, 40);
    } else if (number) {
      head.length = n;
    } else {
      head.unreadable_length = value.substr(0, 40);
    }
  }
}

// Every response's head comes through here, informational ones (1xx) too;
// the empty line ends one.
std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<transfer*>(user);
  std::string_view line(data, size * count);
  t.head_bytes += line.size();
  if (t.head_bytes > kMaxHeadBytes) {
    t.head_too_large = true;
    return 0;
  }
  if (line.starts_with("HTTP/")) {
    read_status_line(trimmed(line), t.head);
  } else if (trimmed(line).empty()) {
    if (t.head.status >= 200 && !t.head_done) {
      t.head_done = true;
      if (!t.receiver.head(t.head)) {
        t.stopped = true;
        return 0;
      }
    }
  } else {
    read_header(line, t.head);
  }
  return size * count;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<transfer*>(user);
  t.received += size * count;
  if (!t.receiver.body(std::string_view(data, size * count))) {
    t.stopped = true;
    return 0;
  }
  return size * count;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& t = *static_cast<transfer*>(user);
  if (t.receiver.still_wanted(t.head_bytes + t.received)) return 0;
  t.stopped = true;
  return 1;
}

std::string short_by(const transfer& t) {
  return "the body ended after " + std::to_string(t.received) + " of " + std::to_string(*t.head.length) + " bytes";
}

// The cause as a person reads it; libcurl's own words where they say more.
[[noreturn]] void fail(CURLcode code, const char* detail, const transfer& t) {
  if (t.head_too_large || (code == CURLE_OUT_OF_MEMORY && !t.head_done)) throw read_error(kHeadTooLarge);
  if (code == CURLE_OPERATION_TIMEDOUT) {
    // No connection at all is said in libcurl's words, which name it.
    if (t.head_bytes == 0 && std::strstr(detail, "onnect") != nullptr) throw read_error(detail);
    throw http_timeout();
  }
  if (code == CURLE_PARTIAL_FILE && t.head.length) throw read_error(short_by(t));
  throw read_error(*detail != '\0' ? detail : curl().easy_strerror(code));
}

void set_options(CURL* easy, const http_request& request, transfer& t, curl_slist* headers, char* detail) {
  static const std::string agent = std::string("quelvarn/") + kVersion;
  curl().easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl().easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl().easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl().easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
  curl().easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl().easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl().easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);
  curl().easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  // Verification is never turned off; a test's own authority is only added.
  curl().easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl().easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.extra_ca_file.empty()) curl().easy_setopt(easy, CURLOPT_CAINFO, request.extra_ca_file.c_str());
  // A stall: less than one byte a second for the whole limit.
  curl().easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.stall_seconds));
  curl().easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl().easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stall_seconds));
  curl().easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl().easy_setopt(easy, CURLOPT_HEADERDATA, &t);
  curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl().easy_setopt(easy, CURLOPT_WRITEDATA, &t);
  curl().easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl().easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl().easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
}

}  // namespace

const char* http_library() { return "libcurl"; }

void http_get(const http_request& request, http_receiver& receiver) {
  std::unique_ptr<CURL, easy_deleter> easy(curl().easy_init());
  if (!easy) throw read_error("libcurl could not start a transfer");
  std::unique_ptr<curl_slist, list_deleter> headers;
  for (const std::string& line : request.headers) {
    curl_slist* longer = curl().slist_append(headers.get(), line.c_str());
    if (longer == nullptr) throw std::bad_alloc();
    (void)headers.release();
    headers.reset(longer);
  }
  transfer t(receiver);
  char detail[CURL_ERROR_SIZE] = "";
  set_options(easy.get(), request, t, headers.get(), detail);
  CURLcode code = curl().easy_perform(easy.get());
  if (t.stopped) return;
  if (code != CURLE_OK) fail(code, detail, t);
  if (!t.head_done) throw read_error("the server sent no response");
  if (t.head.length && t.received != *t.head.length) throw read_error(short_by(t));
}

}  // namespace quelvarn
