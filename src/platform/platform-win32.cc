// platform.h for Windows: wide (UTF-16) calls throughout, so that a path
// such as C:\Users\Zoë\AppData\Roaming\Stellarium\data works whatever the
// system's code page.
#include "platform/platform-win32.h"

#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/platform.h"

namespace quelvarn {

const std::string_view kLineEnd = "\r\n";
const char kPathSeparator = '\\';

namespace win32 {
namespace {

class windows_category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int code) const override {
    wchar_t* text = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || text == nullptr) return "Windows error " + std::to_string(static_cast<DWORD>(code));
    std::wstring message(text, n);
    LocalFree(text);
    // One line, as the error report is: no line end, no closing full stop.
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L'.' || message.back() == L' ')) {
      message.pop_back();
    }
    return to_utf8(message);
  }
  // So that portable code can ask whether a file is missing, or the disk full.
  std::error_condition default_error_condition(int code) const noexcept override {
    switch (static_cast<DWORD>(code)) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_DRIVE:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
      case ERROR_BAD_NETPATH:
        return std::errc::no_such_file_or_directory;
      case ERROR_FILENAME_EXCED_RANGE:
        return std::errc::filename_too_long;
      case ERROR_ACCESS_DENIED:
        return std::errc::permission_denied;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        return std::errc::no_space_on_device;
      default:
        return {code, *this};
    }
  }
};

}  // namespace

std::wstring to_utf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string to_utf8(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::error_code error(DWORD code) {
  static const windows_category category;
  return {static_cast<int>(code), category};
}

std::error_code last_error() { return error(GetLastError()); }

void handle_sink::write(std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 30));
    DWORD put = 0;
    if (!WriteFile(handle_, data.data(), chunk, &put, nullptr)) throw write_error(last_error());
    if (put == 0) throw write_error("write made no progress");
    data.remove_prefix(put);
  }
}

}  // namespace win32

namespace {

using win32::last_error;
using win32::to_utf16;

class handle_source final : public byte_source {
 public:
  handle_source(HANDLE handle, long long expected_size) : handle_(handle), expected_size_(expected_size) {}
  ~handle_source() override { CloseHandle(handle_); }
  handle_source(const handle_source&) = delete;
  handle_source& operator=(const handle_source&) = delete;

  std::size_t read(char* buf, std::size_t n) override {
    DWORD got = 0;
    if (!ReadFile(handle_, buf, static_cast<DWORD>(std::min<std::size_t>(n, 1 << 30)), &got, nullptr)) {
      // The writing end of a pipe closed: that is the end of the stream.
      if (GetLastError() != ERROR_BROKEN_PIPE) throw read_error(last_error());
      got = 0;
    }
    consumed_ += got;
    if (got == 0 && expected_size_ >= 0 && consumed_ < expected_size_) {
      throw read_error("input shrank while being read");
    }
    return got;
  }

 private:
  HANDLE handle_;
  long long expected_size_;
  long long consumed_ = 0;
};

file_identity identity_of(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

HANDLE handle_of(standard_stream stream) {
  return GetStdHandle(stream == standard_stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool write_all(HANDLE out, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD put = 0;
    if (!WriteFile(out, bytes.data(), static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30)), &put,
                   nullptr) ||
        put == 0) {
      return false;
    }
    bytes.remove_prefix(put);
  }
  return true;
}

bool write_console(HANDLE out, const std::string& text) {
  std::wstring wide = to_utf16(text);
  DWORD put = 0;
  return WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &put, nullptr) && put == wide.size();
}

// What Windows' own handler does, said outright: some consoles (Wine's) end
// the process with status 0 instead, which reads as success. The output
// file's handler, installed later, runs first.
BOOL WINAPI end_interrupted(DWORD) { ExitProcess(STATUS_CONTROL_C_EXIT); }

}  // namespace

std::vector<std::string> start_process(int, char**) {
  SetConsoleCtrlHandler(end_interrupted, TRUE);
  // No "insert a disk" dialog for a path on an empty drive: an error instead.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < argc; ++i) args.push_back(win32::to_utf8(argv[i]));
  LocalFree(argv);
  return args;
}

input_file open_input(const std::string& path) {
  std::wstring wide = to_utf16(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw read_error(std::make_error_code(std::errc::is_a_directory));
  }
  // Others may go on reading, writing, renaming or deleting it: the MPC
  // catalogue being downloaded again must not fail because we read it.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw read_error(last_error());
  input_file in;
  long long expected_size = -1;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info)) {
    expected_size = static_cast<long long>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    in.identity = identity_of(info);
  }
  in.source = std::make_unique<handle_source>(h, expected_size);
  return in;
}

std::optional<file_identity> identify(const std::string& path) {
  // No access asked: this only looks, and works on files open elsewhere.
  HANDLE h = CreateFileW(to_utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!known) return std::nullopt;
  return identity_of(info);
}

std::optional<file_stamp> stamp(const std::string& path) {
  HANDLE h = CreateFileW(to_utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!known) return std::nullopt;
  auto join = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
  return file_stamp{
      identity_of(info), join(info.nFileSizeHigh, info.nFileSizeLow),
      static_cast<std::int64_t>(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
}

file_kind kind_of_file(const std::string& path) {
  // No access asked: this only looks. A pipe or a device is no disk file.
  HANDLE h = CreateFileW(to_utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED ? file_kind::regular : file_kind::none;
  BY_HANDLE_FILE_INFORMATION info{};
  bool disk = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!disk) return file_kind::other;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? file_kind::directory : file_kind::regular;
}

bool write_line(standard_stream to, std::string_view line) {
  HANDLE out = handle_of(to);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  std::string text(line);
  text.append(kLineEnd);
  DWORD mode = 0;
  // A console shows UTF-16 whatever its code page; pipes and files get UTF-8.
  if (GetConsoleMode(out, &mode)) return write_console(out, text);
  return write_all(out, text);
}

void write_unbuffered(standard_stream to, std::string_view bytes) noexcept { (void)write_all(handle_of(to), bytes); }

bool names_stream(const std::string& path, standard_stream stream) {
  std::optional<file_identity> named = identify(path);
  BY_HANDLE_FILE_INFORMATION info{};
  HANDLE h = handle_of(stream);
  return named && h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(h, &info) && *named == identity_of(info);
}

bool is_terminal(standard_stream stream) {
  DWORD mode = 0;
  return GetConsoleMode(handle_of(stream), &mode) != 0;
}

bool write_to_terminal(std::string_view text) {
  return write_console(handle_of(standard_stream::error), std::string(text));
}

std::string default_cache_dir() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || *local == L'\0') return {};
  return win32::to_utf8(local) + "\\quelvarn\\cache";
}

void make_directories(const std::string& path) {
  std::wstring wide = to_utf16(path);
  // Each prefix in turn; "C:" and a share's "\\server" fail to be made and
  // need not be, so only the folder itself must exist at the end.
  DWORD last = ERROR_SUCCESS;
  for (std::size_t end = wide.find_first_of(L"\\/", 1);; end = wide.find_first_of(L"\\/", end + 1)) {
    last = CreateDirectoryW(wide.substr(0, end).c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
    if (end == std::wstring::npos) break;
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) throw write_error(win32::error(last));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) throw write_error(std::make_error_code(std::errc::not_a_directory));
}

struct file_lock::held {
  HANDLE handle;
};

file_lock::file_lock(const std::string& path, kind k) {
  std::wstring wide = to_utf16(path);
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  bool shared = k == kind::shared;
  HANDLE h = CreateFileW(wide.c_str(), shared ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                         shared ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw write_error(last_error());
  OVERLAPPED whole{};
  if (!LockFileEx(h, k == kind::exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole)) {
    std::error_code cause = last_error();
    CloseHandle(h);
    throw write_error(cause);
  }
  held_ = std::make_unique<held>(held{h});
}

// Closing the handle releases the lock.
file_lock::~file_lock() { CloseHandle(held_->handle); }

bool remove_file(const std::string& path) { return DeleteFileW(to_utf16(path).c_str()) != 0; }

// Console control events arrive on a thread the system starts for them, so
// no thread of ours needs to be kept from them.
std::thread start_quiet_thread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace quelvarn
