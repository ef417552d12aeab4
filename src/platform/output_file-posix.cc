// output_file.h for Linux, macOS and the BSDs. Linux gets an unnamed
// temporary file (O_TMPFILE, named through /proc at the end) unless built
// with QUELVARN_PORTABLE_POSIX, which gives it the named temporary file that
// the other systems get, so that their code is tested here too.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/output_file.h"
#include "platform/spool_file.h"

#if defined(__linux__) && defined(O_TMPFILE) && !defined(QUELVARN_PORTABLE_POSIX)
#define QUELVARN_UNNAMED_TEMPORARY 1
#else
#define QUELVARN_UNNAMED_TEMPORARY 0
#endif

namespace quelvarn {
namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal handler can only reach plain static storage. A run has few
// temporary files at a time: the catalogue's, and a download's being kept.
constexpr int kCleanupSlots = 4;
char cleanup_paths[kCleanupSlots][PATH_MAX + 1];
volatile sig_atomic_t cleanup_armed[kCleanupSlots] = {};
std::atomic<bool> slot_taken[kCleanupSlots] = {};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads them");

void remove_all() {
  for (int slot = 0; slot < kCleanupSlots; ++slot) {
    if (cleanup_armed[slot] != 0) ::unlink(cleanup_paths[slot]);
  }
}

void remove_and_reraise(int sig) {
  remove_all();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// The slot that now names the file, or -1 when none could.
int arm_cleanup(const std::string& path) {
  if (path.size() >= sizeof cleanup_paths[0]) return -1;
  for (int slot = 0; slot < kCleanupSlots; ++slot) {
    if (slot_taken[slot].exchange(true)) continue;
    std::memcpy(cleanup_paths[slot], path.c_str(), path.size() + 1);
    cleanup_armed[slot] = 1;
    for (int sig : kCleanupSignals) {
      struct sigaction action {};
      action.sa_handler = remove_and_reraise;
      sigemptyset(&action.sa_mask);
      ::sigaction(sig, &action, nullptr);
    }
    return slot;
  }
  return -1;
}

void disarm_cleanup(int& slot) {
  if (slot < 0) return;
  cleanup_armed[slot] = 0;
  slot_taken[slot] = false;
  slot = -1;
}

// Holds back the cleanup signals while a temporary file is being named or
// renamed, so that it is never left behind half-way.
class signal_guard {
 public:
  signal_guard() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCleanupSignals) sigaddset(&set, sig);
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~signal_guard() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  signal_guard(const signal_guard&) = delete;
  signal_guard& operator=(const signal_guard&) = delete;

 private:
  sigset_t previous_;
};

std::string dir_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links to the file they finally name, so that the file is
// replaced and the links stay. Works for dangling links too: their target is
// where a new catalogue belongs.
std::string resolve_links(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return path;
    std::string next(target, static_cast<std::size_t>(n));
    if (next[0] != '/') next = dir_of(path).append("/").append(next);
    path = next;
  }
  return path;
}

std::string unique_suffix() {
  static unsigned counter = 0;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  unsigned long long mix = (static_cast<unsigned long long>(now.tv_nsec) << 20) ^
                           (static_cast<unsigned long long>(::getpid()) << 8) ^ ++counter;
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string suffix;
  for (int i = 0; i < 10; ++i, mix >>= 5) suffix.push_back(kDigits[mix & 31]);
  return suffix;
}

// The cause, as the system tells it, goes with the error to the user.
[[noreturn]] void fail() { throw write_error(std::error_code(errno, std::generic_category())); }

class fd_sink final : public byte_sink {
 public:
  explicit fd_sink(int fd) : fd_(fd) {}
  void write(std::string_view data) override {
    while (!data.empty()) {
      ssize_t put = ::write(fd_, data.data(), data.size());
      if (put < 0) {
        if (errno == EINTR) continue;
        fail();
      }
      if (put == 0) throw write_error("write made no progress");
      data.remove_prefix(static_cast<std::size_t>(put));
    }
  }

 private:
  int fd_;
};

// Temporary names are short and of one length, so that any target name the
// file system takes has a temporary name it takes too.
std::string temporary_name(const std::string& dir, const std::string& suffix) { return dir + "/.quelvarn-" + suffix; }

// A name that rename() would refuse only after the whole conversion.
void check_target_name(const std::string& target) {
  std::string base = base_of(target);
  if (base.empty() || base == "." || base == "..") {
    errno = EISDIR;
    fail();
  }
  long name_max = ::pathconf(dir_of(target).c_str(), _PC_NAME_MAX);
  bool too_long = base.size() > static_cast<std::size_t>(name_max > 0 ? name_max : NAME_MAX) ||
                  target.size() >= PATH_MAX || temporary_name(dir_of(target), unique_suffix()).size() >= PATH_MAX;
  if (too_long) {
    errno = ENAMETOOLONG;
    fail();
  }
}

}  // namespace

struct output_file::impl {
  std::string target;     // the path finally written, symbolic links resolved
  std::string temp_path;  // named temporary file, if one is used
  int fd = -1;
  int cleanup_slot = -1;
  bool direct = false;
  bool unnamed = false;
  bool borrowed = false;  // standard output: not ours to close
  fd_sink sink{-1};

  void discard();
};

output_file::output_file(const std::string& path, temporary kind) : impl_(std::make_unique<impl>()) {
  impl& o = *impl_;
  struct stat st {};
  bool exists = false;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw write_error(std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(st.st_mode)) {
      // A pipe or a device has no previous content to protect.
      o.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (o.fd < 0) fail();
      o.direct = true;
      o.sink = fd_sink(o.fd);
      return;
    }
    // A catalogue the user made read-only, or may not write, stays theirs:
    // a rename would replace it all the same, where the owner would not.
    if ((st.st_mode & 0222) == 0) errno = EACCES;
    if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) fail();
    exists = true;
  } else if (errno != ENOENT) {
    fail();
  }
  o.target = resolve_links(path);
  check_target_name(o.target);

  std::string dir = dir_of(o.target);
#if QUELVARN_UNNAMED_TEMPORARY
  if (kind == temporary::unnamed_if_possible && ::access("/proc/self/fd", X_OK) == 0) {
    o.fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    o.unnamed = o.fd >= 0;
  }
#else
  (void)kind;
#endif
  if (o.fd < 0) {
    std::string name = temporary_name(dir, "XXXXXX");
    signal_guard guard;
    o.fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (o.fd < 0) fail();
    o.temp_path = name;
    o.cleanup_slot = arm_cleanup(o.temp_path);
    if (!exists) {
      mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(o.fd, 0666 & ~mask);
    }
  }
  if (exists) {
    // Keep the owner and the permission bits a user gave the old catalogue;
    // a failure here is no reason to refuse the conversion.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)!::fchown(o.fd, st.st_uid, st.st_gid);
    ::fchmod(o.fd, st.st_mode & 07777);
  }
  o.sink = fd_sink(o.fd);
}

output_file::output_file(standard_output_t) : impl_(std::make_unique<impl>()) {
  impl_->fd = STDOUT_FILENO;
  impl_->direct = true;
  impl_->borrowed = true;
  impl_->sink = fd_sink(STDOUT_FILENO);
}

output_file::~output_file() { impl_->discard(); }

void output_file::abandon_temporary() { remove_all(); }

byte_sink& output_file::sink() { return impl_->sink; }

std::string_view output_file::text_line_end() { return "\n"; }

byte_sink& output_file::binary_sink() { return impl_->sink; }

void output_file::impl::discard() {
  if (fd >= 0 && !borrowed) ::close(fd);
  fd = -1;
  if (!temp_path.empty()) {
    ::unlink(temp_path.c_str());
    temp_path.clear();
  }
  disarm_cleanup(cleanup_slot);
}

void output_file::commit() {
  impl& o = *impl_;
  if (o.direct) {
    int fd = o.fd;
    o.fd = -1;
    if (!o.borrowed && ::close(fd) != 0) fail();
    return;
  }
  if (::fsync(o.fd) != 0) fail();

  signal_guard guard;
  std::string dir = dir_of(o.target);
#if QUELVARN_UNNAMED_TEMPORARY
  if (o.unnamed) {
    std::string proc_path = "/proc/self/fd/" + std::to_string(o.fd);
    for (int attempt = 0; o.temp_path.empty(); ++attempt) {
      std::string name = temporary_name(dir, unique_suffix());
      if (::linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        o.temp_path = name;
        o.cleanup_slot = arm_cleanup(o.temp_path);
      } else if (errno != EEXIST || attempt > 100) {
        fail();
      }
    }
  }
#endif
  int fd = o.fd;
  o.fd = -1;
  if (::close(fd) != 0) fail();
  if (::rename(o.temp_path.c_str(), o.target.c_str()) != 0) fail();
  o.temp_path.clear();
  disarm_cleanup(o.cleanup_slot);

  // Make the rename itself durable; the data already is.
  int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}

namespace {

int open_unnamed(const std::string& dir) {
#if QUELVARN_UNNAMED_TEMPORARY
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = dir + "/.quelvarn-spool.XXXXXX";
  signal_guard guard;
  int named = ::mkostemp(name.data(), O_CLOEXEC);
  if (named >= 0) ::unlink(name.c_str());
  return named;
}

}  // namespace

struct spool_file::impl final : byte_source {
  int fd = -1;
  fd_sink sink{-1};

  ~impl() override {
    if (fd >= 0) ::close(fd);
  }
  std::size_t read(char* buf, std::size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd, buf, n);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) throw read_error(std::error_code(errno, std::generic_category()));
    }
  }
};

spool_file::spool_file(const std::string& output_path) : impl_(std::make_unique<impl>()) {
  struct stat st {};
  if (::stat(output_path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
    impl_->fd = open_unnamed(dir_of(resolve_links(output_path)));
  }
  if (impl_->fd < 0) {
    const char* tmp = ::getenv("TMPDIR");
    impl_->fd = open_unnamed(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  }
  if (impl_->fd < 0) fail();
  impl_->sink = fd_sink(impl_->fd);
}

spool_file::~spool_file() = default;

byte_sink& spool_file::sink() { return impl_->sink; }

byte_source& spool_file::rewind() {
  if (::lseek(impl_->fd, 0, SEEK_SET) != 0) throw read_error(std::error_code(errno, std::generic_category()));
  return *impl_;
}

}  // namespace quelvarn
