// output_file.h for Windows. The catalogue is written, with CR LF line ends,
// to a temporary file in the target's folder, flushed, and moved over the
// target; Ctrl-C, Ctrl-Break and closing the console window remove the
// temporary file and leave the old catalogue as it was.
#include <algorithm>
#include <string>

#include "platform/output_file.h"
#include "platform/platform-win32.h"
#include "platform/spool_file.h"

namespace quelvarn {
namespace {

using win32::last_error;
using win32::to_utf16;

// The console control handler runs on a thread of its own while the run goes
// on, and can only reach static storage; a run has few temporary files at a
// time (the catalogue's, and a download's being kept). The lock keeps it from
// removing a temporary file while it is being moved.
CRITICAL_SECTION cleanup_lock;
constexpr int kCleanupSlots = 4;
std::wstring cleanup_paths[kCleanupSlots];
bool cleanup_armed[kCleanupSlots] = {};

void remove_all() {
  for (int slot = 0; slot < kCleanupSlots; ++slot) {
    if (cleanup_armed[slot]) DeleteFileW(cleanup_paths[slot].c_str());
    cleanup_armed[slot] = false;
  }
}

BOOL WINAPI remove_temporary(DWORD) {
  // Never left: the run must not put the file in place after all while the
  // process ends.
  EnterCriticalSection(&cleanup_lock);
  remove_all();
  // What Windows' own handler does, said outright: some consoles (Wine's)
  // end the process with status 0 instead, which reads as success.
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

// Under cleanup_lock: the slot that now names the file, or -1.
int arm_cleanup(const std::wstring& path) {
  for (int slot = 0; slot < kCleanupSlots; ++slot) {
    if (cleanup_armed[slot]) continue;
    cleanup_paths[slot] = path;
    cleanup_armed[slot] = true;
    return slot;
  }
  return -1;
}

void install_cleanup() {
  static bool installed = [] {
    InitializeCriticalSection(&cleanup_lock);
    return SetConsoleCtrlHandler(remove_temporary, TRUE) != 0;
  }();
  (void)installed;
}

class cleanup_guard {
 public:
  cleanup_guard() { EnterCriticalSection(&cleanup_lock); }
  ~cleanup_guard() { LeaveCriticalSection(&cleanup_lock); }
  cleanup_guard(const cleanup_guard&) = delete;
  cleanup_guard& operator=(const cleanup_guard&) = delete;
};

std::wstring dir_of(const std::wstring& path) {
  std::size_t sep = path.find_last_of(L"\\/:");
  if (sep == std::wstring::npos) return L".";
  return path.substr(0, path[sep] == L':' ? sep + 1 : sep);
}

std::wstring unique_suffix() {
  static unsigned counter = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  unsigned long long mix = (static_cast<unsigned long long>(now.QuadPart) << 20) ^
                           (static_cast<unsigned long long>(GetCurrentProcessId()) << 8) ^ ++counter;
  constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuv";
  std::wstring suffix;
  for (int i = 0; i < 10; ++i, mix >>= 5) suffix.push_back(kDigits[mix & 31]);
  return suffix;
}

}  // namespace

struct output_file::impl {
  std::wstring target;
  std::wstring temp_path;
  HANDLE handle = INVALID_HANDLE_VALUE;
  int cleanup_slot = -1;
  bool direct = false;
  bool borrowed = false;  // standard output: not ours to close
  win32::handle_sink file{INVALID_HANDLE_VALUE};
  crlf_sink text{file};

  void close() {
    if (handle != INVALID_HANDLE_VALUE && !borrowed) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }

  void use(HANDLE h) {
    handle = h;
    file = win32::handle_sink(h);
  }
};

output_file::output_file(const std::string& path, temporary) : impl_(std::make_unique<impl>()) {
  impl& o = *impl_;
  o.target = to_utf16(path);
  DWORD attributes = GetFileAttributesW(o.target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw write_error("output is a directory");
    // Moving over a read-only file fails at the end; refuse it before the
    // run instead.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) throw write_error(win32::error(ERROR_ACCESS_DENIED));
  }
  // Opening the target for writing, without changing it, tells whether it
  // may be replaced (another program holding it open without sharing says
  // no), and whether it is a device such as NUL or CON, written directly.
  HANDLE existing = CreateFileW(o.target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    if (GetFileType(existing) != FILE_TYPE_DISK) {
      o.use(existing);
      o.direct = true;
      return;
    }
    CloseHandle(existing);
  } else if (DWORD code = GetLastError(); code != ERROR_FILE_NOT_FOUND) {
    throw write_error(win32::error(code));
  }

  install_cleanup();
  for (int attempt = 0;; ++attempt) {
    // Short names of one length, as on POSIX: any target name the file
    // system takes has a temporary name it takes too.
    std::wstring name = dir_of(o.target) + L"\\.quelvarn-" + unique_suffix();
    cleanup_guard guard;
    // Shared for deletion only, so that the console handler can remove it
    // while it is open.
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      o.use(h);
      o.temp_path = name;
      o.cleanup_slot = arm_cleanup(name);
      return;
    }
    DWORD code = GetLastError();
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt > 100)
      throw write_error(win32::error(code));
  }
}

output_file::output_file(standard_output_t) : impl_(std::make_unique<impl>()) {
  impl_->use(GetStdHandle(STD_OUTPUT_HANDLE));
  impl_->direct = true;
  impl_->borrowed = true;
}

output_file::~output_file() {
  impl& o = *impl_;
  o.close();
  if (!o.temp_path.empty()) {
    cleanup_guard guard;
    DeleteFileW(o.temp_path.c_str());
    if (o.cleanup_slot >= 0) cleanup_armed[o.cleanup_slot] = false;
  }
}

byte_sink& output_file::sink() { return impl_->text; }

std::string_view output_file::text_line_end() { return "\r\n"; }

byte_sink& output_file::binary_sink() { return impl_->file; }

// No lock: the process is ending and nothing else may run meanwhile.
void output_file::abandon_temporary() { remove_all(); }

void output_file::commit() {
  impl& o = *impl_;
  if (o.direct) {
    o.close();
    return;
  }
  if (!FlushFileBuffers(o.handle)) throw write_error(last_error());
  o.close();
  cleanup_guard guard;
  if (!MoveFileExW(o.temp_path.c_str(), o.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw write_error(last_error());
  }
  o.temp_path.clear();
  if (o.cleanup_slot >= 0) cleanup_armed[o.cleanup_slot] = false;
}

// The scratch file of --update: in the temporary folder, removed by Windows
// when it is closed, however the process ends.
struct spool_file::impl final : byte_source, byte_sink {
  HANDLE handle = INVALID_HANDLE_VALUE;

  ~impl() override {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  std::size_t read(char* buf, std::size_t n) override {
    DWORD got = 0;
    if (!ReadFile(handle, buf, static_cast<DWORD>(std::min<std::size_t>(n, 1 << 30)), &got, nullptr)) {
      throw read_error(last_error());
    }
    return got;
  }
  void write(std::string_view data) override {
    while (!data.empty()) {
      DWORD put = 0;
      DWORD size = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 30));
      if (!WriteFile(handle, data.data(), size, &put, nullptr) || put == 0) throw write_error(last_error());
      data.remove_prefix(put);
    }
  }
};

spool_file::spool_file(const std::string&) : impl_(std::make_unique<impl>()) {
  wchar_t dir[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, dir);
  if (length == 0 || length > MAX_PATH) throw write_error(last_error());
  for (int attempt = 0; impl_->handle == INVALID_HANDLE_VALUE; ++attempt) {
    std::wstring name = std::wstring(dir) + L"quelvarn-spool-" + unique_suffix();
    impl_->handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (impl_->handle == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt > 100)) {
      throw write_error(last_error());
    }
  }
}

spool_file::~spool_file() = default;

byte_sink& spool_file::sink() { return *impl_; }

byte_source& spool_file::rewind() {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(impl_->handle, start, nullptr, FILE_BEGIN)) throw read_error(last_error());
  return *impl_;
}

}  // namespace quelvarn
