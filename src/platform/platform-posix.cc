// platform.h for Linux, macOS and the BSDs.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"

namespace quelvarn {

const std::string_view kLineEnd = "\n";
const char kPathSeparator = '/';

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

class fd_source final : public byte_source {
 public:
  fd_source(int fd, long long expected_size) : fd_(fd), expected_size_(expected_size) {}
  ~fd_source() override { ::close(fd_); }
  fd_source(const fd_source&) = delete;
  fd_source& operator=(const fd_source&) = delete;

  std::size_t read(char* buf, std::size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buf, n);
      if (got > 0) {
        consumed_ += got;
        return static_cast<std::size_t>(got);
      }
      if (got == 0) {
        if (expected_size_ >= 0 && consumed_ < expected_size_) throw read_error("input shrank while being read");
        return 0;
      }
      if (errno != EINTR) throw read_error(last_error());
    }
  }

 private:
  int fd_;
  long long expected_size_;
  long long consumed_ = 0;
};

file_identity identity_of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int descriptor(standard_stream stream) { return stream == standard_stream::output ? STDOUT_FILENO : STDERR_FILENO; }

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::vector<std::string> start_process(int argc, char** argv) {
  // Descriptors 0-2 that the caller left closed would otherwise be taken by
  // the first files opened, and the messages would land in the catalogue. They
  // are opened the wrong way round, so that using one still fails as it would
  // have: a catalogue sent to a closed standard output must not vanish with
  // exit status 0.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) (void)::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  }
  // A reader that went away (SIGPIPE) or a file-size limit (SIGXFSZ) must
  // come back as a write error we can report, not kill the run without a word.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

input_file open_input(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw read_error(last_error());
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    std::error_code cause = S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory) : last_error();
    ::close(fd);
    throw read_error(cause);
  }
  long long expected_size = S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
  return {std::make_unique<fd_source>(fd, expected_size), identity_of(st)};
}

std::optional<file_identity> identify(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return identity_of(st);
}

std::optional<file_stamp> stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return file_stamp{identity_of(st), static_cast<std::uint64_t>(st.st_size),
                    static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

file_kind kind_of_file(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return file_kind::none;
  return S_ISREG(st.st_mode) ? file_kind::regular : S_ISDIR(st.st_mode) ? file_kind::directory : file_kind::other;
}

bool write_line(standard_stream to, std::string_view line) {
  std::string text;
  text.reserve(line.size() + kLineEnd.size());
  text.append(line).append(kLineEnd);
  return write_all(descriptor(to), text);
}

void write_unbuffered(standard_stream to, std::string_view bytes) noexcept { (void)write_all(descriptor(to), bytes); }

bool names_stream(const std::string& path, standard_stream stream) {
  struct stat st {};
  std::optional<file_identity> named = identify(path);
  return named && ::fstat(descriptor(stream), &st) == 0 && *named == identity_of(st);
}

bool is_terminal(standard_stream stream) { return ::isatty(descriptor(stream)) == 1; }

bool write_to_terminal(std::string_view text) { return write_all(STDERR_FILENO, text); }

std::string default_cache_dir() {
  std::string home = environment("HOME");
#ifdef __APPLE__
  return home.empty() ? home : home + "/Library/Caches/quelvarn";
#else
  // The XDG rule: a relative value is to be ignored.
  std::string xdg = environment("XDG_CACHE_HOME");
  if (xdg.starts_with('/')) return xdg + "/quelvarn";
  return home.empty() ? home : home + "/.cache/quelvarn";
#endif
}

void make_directories(const std::string& path) {
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) throw write_error(last_error());
    if (end == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw write_error(last_error());
  if (!S_ISDIR(st.st_mode)) throw write_error(std::make_error_code(std::errc::not_a_directory));
}

struct file_lock::held {
  int fd;
};

file_lock::file_lock(const std::string& path, kind k) {
  // Not blocking: a pipe put in the lock's place would wait for a writer.
  int fd = k == kind::shared ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)
                             : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) throw write_error(last_error());
  while (::flock(fd, k == kind::shared ? LOCK_SH : LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    std::error_code cause = last_error();
    ::close(fd);
    throw write_error(cause);
  }
  held_ = std::make_unique<held>(held{fd});
}

file_lock::~file_lock() { ::close(held_->fd); }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::thread start_quiet_thread(std::function<void()> body) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  // The mask must come back even when no thread can be started.
  struct restore {
    sigset_t* mask;
    ~restore() { pthread_sigmask(SIG_SETMASK, mask, nullptr); }
  } restore_previous{&previous};
  return std::thread(std::move(body));
}

}  // namespace quelvarn
