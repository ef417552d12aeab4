// http.h with WinHTTP, which is part of Windows: quelvarn.exe stays one file.
// Proxies are the system's (WinHTTP's automatic proxy: the settings and
// auto-detection Windows itself uses), certificates are checked against the
// system's store. A test's own certificate authority is not supported here.
#include "platform/platform-win32.h"
// After windows.h.
#include <winhttp.h>

#include <algorithm>
#include <charconv>
#include <memory>

#include "common/io.h"
#include "common/version.h"
#include "net/http.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif
#ifndef WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE
#define WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE 91
#endif
#ifndef ERROR_WINHTTP_HEADER_SIZE_OVERFLOW
#define ERROR_WINHTTP_HEADER_SIZE_OVERFLOW 12183
#endif

namespace quelvarn {
namespace {

constexpr DWORD kReceiveBuffer = 256 * 1024;
// As libcurl elsewhere: a response's head is a few hundred bytes.
constexpr DWORD kMaxHeadBytes = 100 * 1024;

struct internet_closer {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using internet = std::unique_ptr<void, internet_closer>;

// WinHTTP's errors are not in the system's message table.
std::string cause(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "the server's name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "could not connect to the server";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "the connection to the server was broken";
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
      return kHeadTooLarge;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
      return "the server's certificate could not be verified (TLS error " + std::to_string(code) + ")";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "not a URL that can be read";
    default:
      return "WinHTTP error " + std::to_string(code);
  }
}

// The header's value; `occurrence` counts from 0 among headers of one name.
std::string query(HINTERNET request, DWORD info, DWORD occurrence = 0) {
  DWORD size = 0;
  DWORD index = occurrence;
  WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, &index);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring value(size / sizeof(wchar_t), L'\0');
  index = occurrence;
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size, &index)) {
    return {};
  }
  value.resize(size / sizeof(wchar_t));
  return win32::to_utf8(value);
}

http_head read_head(HINTERNET request) {
  // Not every WinHTTP (Wine's) keeps to WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE.
  DWORD head_size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &head_size,
                      WINHTTP_NO_HEADER_INDEX);
  if (head_size / sizeof(wchar_t) > kMaxHeadBytes) throw read_error(kHeadTooLarge);
  http_head head;
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  head.status = static_cast<int>(status);
  head.reason = query(request, WINHTTP_QUERY_STATUS_TEXT);
  head.location = query(request, WINHTTP_QUERY_LOCATION);
  head.etag = query(request, WINHTTP_QUERY_ETAG);
  head.last_modified = query(request, WINHTTP_QUERY_LAST_MODIFIED);
  std::string length = query(request, WINHTTP_QUERY_CONTENT_LENGTH);
  // Two that differ are one list of lengths (RFC 9110), no length at all.
  std::string second = query(request, WINHTTP_QUERY_CONTENT_LENGTH, 1);
  if (!second.empty() && second != length) length += ", " + second;
  std::uint64_t n = 0;
  auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), n);
  if (!length.empty() && error == std::errc() && end == length.data() + length.size()) {
    head.length = n;
  } else if (!length.empty()) {
    head.unreadable_length = length.substr(0, 40);
  }
  return head;
}

[[noreturn]] void fail(DWORD error) {
  if (error == ERROR_WINHTTP_TIMEOUT) throw http_timeout();
  throw read_error(cause(error));
}

struct connection {
  internet session;
  internet connect;
  internet request;
};

// Session, connection and request for the URL; throws with the cause.
connection open_request(const http_request& request, int stall_ms) {
  auto check = [&](void* handle) {
    if (handle == nullptr) fail(GetLastError());
    return internet(handle);
  };
  std::wstring agent = win32::to_utf16(std::string("quelvarn/") + kVersion);
  connection c;
  HINTERNET session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  // Before Windows 8.1 (and on Wine): the proxy set with netsh, if any.
  if (session == nullptr) {
    session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  }
  c.session = check(session);
  WinHttpSetTimeouts(session, stall_ms, stall_ms, stall_ms, stall_ms);
  std::wstring url = win32::to_utf16(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) fail(GetLastError());
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                      std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  c.connect = check(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
  DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  c.request = check(WinHttpOpenRequest(c.connect.get(), L"GET", path.empty() ? L"/" : path.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  WinHttpSetTimeouts(c.request.get(), stall_ms, stall_ms, stall_ms, stall_ms);
  // The wait for the response's head has a limit of its own.
  auto limit = static_cast<DWORD>(stall_ms);
  WinHttpSetOption(c.request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &limit, sizeof limit);
  DWORD head_limit = kMaxHeadBytes;
  WinHttpSetOption(c.request.get(), WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &head_limit, sizeof head_limit);
  // Redirects are followed by the caller, under the same rules as elsewhere.
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(c.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  return c;
}

}  // namespace

const char* http_library() { return "WinHTTP"; }

void http_get(const http_request& request, http_receiver& receiver) {
  int stall_ms = request.stall_seconds * 1000;
  connection c = open_request(request, stall_ms);
  HINTERNET handle = c.request.get();
  std::wstring headers;
  for (const std::string& line : request.headers) headers += win32::to_utf16(line) + L"\r\n";
  if (!WinHttpSendRequest(handle, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(handle, nullptr)) {
    fail(GetLastError());
  }
  http_head head = read_head(handle);
  if (!receiver.head(head)) return;
  auto buffer = std::make_unique_for_overwrite<char[]>(kReceiveBuffer);
  std::uint64_t received = 0;
  for (;;) {
    if (!receiver.still_wanted(received)) return;
    // What has arrived, as soon as anything has: reading a whole buffer
    // would wait for it to fill, and hold back the conversion.
    DWORD available = 0;
    DWORD got = 0;
    bool read = WinHttpQueryDataAvailable(handle, &available) &&
                (available == 0 || WinHttpReadData(handle, buffer.get(), std::min(available, kReceiveBuffer), &got));
    DWORD error = read ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_WINHTTP_TIMEOUT) fail(error);
    if ((!read || got == 0) && head.length && received < *head.length) {
      throw read_error("the body ended after " + std::to_string(received) + " of " + std::to_string(*head.length) +
                       " bytes");
    }
    if (!read) fail(error);
    if (got == 0) return;
    received += got;
    if (!receiver.body(std::string_view(buffer.get(), got))) return;
  }
}

}  // namespace quelvarn
