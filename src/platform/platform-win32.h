// What the Windows implementations of platform.h and output_file.h share.
// Only platform-win32.cc and output_file-win32.cc include it.
#ifndef QUELVARN_PLATFORM_WIN32_H_
#define QUELVARN_PLATFORM_WIN32_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>

#include "common/io.h"

namespace quelvarn::win32 {

std::wstring to_utf16(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

/// GetLastError() as an error code whose message is Windows' own text.
std::error_code last_error();
std::error_code error(DWORD code);

/// Writes to a handle it does not own.
class handle_sink final : public byte_sink {
 public:
  explicit handle_sink(HANDLE handle) : handle_(handle) {}
  void write(std::string_view data) override;

 private:
  HANDLE handle_;
};

}  // namespace quelvarn::win32

#endif  // QUELVARN_PLATFORM_WIN32_H_
