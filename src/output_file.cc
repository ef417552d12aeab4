#include "output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quelvarn {
namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal handler can only reach plain static storage, and only one output
// file exists per run.
char cleanup_path[PATH_MAX + 1];
volatile sig_atomic_t cleanup_armed = 0;

void remove_and_reraise(int sig) {
  if (cleanup_armed != 0) ::unlink(cleanup_path);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void arm_cleanup(const std::string& path) {
  if (path.size() >= sizeof cleanup_path) return;
  std::memcpy(cleanup_path, path.c_str(), path.size() + 1);
  cleanup_armed = 1;
  for (int sig : kCleanupSignals) {
    struct sigaction action {};
    action.sa_handler = remove_and_reraise;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
  }
}

void disarm_cleanup() { cleanup_armed = 0; }

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

[[noreturn]] void fail(const char* what) { throw write_error(std::string(what) + ": " + std::strerror(errno)); }

// Temporary names are short and of one length, so that any target name the
// file system takes has a temporary name it takes too.
std::string temporary_name(const std::string& dir, const std::string& suffix) { return dir + "/.quelvarn-" + suffix; }

// A name that rename() would refuse only after the whole conversion.
void check_target_name(const std::string& target) {
  std::string base = base_of(target);
  if (base.empty() || base == "." || base == "..") {
    errno = EISDIR;
    fail("output is a directory");
  }
  long name_max = ::pathconf(dir_of(target).c_str(), _PC_NAME_MAX);
  bool too_long = base.size() > static_cast<std::size_t>(name_max > 0 ? name_max : NAME_MAX) ||
                  target.size() >= PATH_MAX || temporary_name(dir_of(target), unique_suffix()).size() >= PATH_MAX;
  if (too_long) {
    errno = ENAMETOOLONG;
    fail("cannot name output");
  }
}

}  // namespace

output_file::output_file(const std::string& path, temporary kind) {
  struct stat st {};
  bool exists = false;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw write_error("output is a directory");
    if (!S_ISREG(st.st_mode)) {
      // A pipe or a device has no previous content to protect.
      fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd_ < 0) fail("cannot open output");
      direct_ = true;
      sink_ = fd_sink(fd_);
      return;
    }
    exists = true;
  } else if (errno != ENOENT) {
    fail("cannot look at output");
  }
  target_ = resolve_links(path);
  check_target_name(target_);

  std::string dir = dir_of(target_);
  if (kind == temporary::unnamed_if_possible && ::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unnamed_ = fd_ >= 0;
  }
  if (fd_ < 0) {
    std::string name = temporary_name(dir, "XXXXXX");
    signal_guard guard;
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) fail("cannot create output");
    temp_path_ = name;
    arm_cleanup(temp_path_);
    if (!exists) {
      mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd_, 0666 & ~mask);
    }
  }
  if (exists) {
    // Keep the owner and the permission bits a user gave the old catalogue;
    // a failure here is no reason to refuse the conversion.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)!::fchown(fd_, st.st_uid, st.st_gid);
    ::fchmod(fd_, st.st_mode & 07777);
  }
  sink_ = fd_sink(fd_);
}

output_file::output_file(standard_output_t) : fd_(STDOUT_FILENO), direct_(true), borrowed_(true) {
  sink_ = fd_sink(fd_);
}

output_file::~output_file() { discard(); }

void output_file::abandon_temporary() {
  if (cleanup_armed != 0) ::unlink(cleanup_path);
}

void output_file::discard() {
  if (fd_ >= 0 && !borrowed_) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  disarm_cleanup();
}

void output_file::commit() {
  if (direct_) {
    int fd = fd_;
    fd_ = -1;
    if (!borrowed_ && ::close(fd) != 0) fail("cannot close output");
    return;
  }
  if (::fsync(fd_) != 0) fail("cannot flush output");

  signal_guard guard;
  std::string dir = dir_of(target_);
  if (unnamed_) {
    std::string proc_path = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; temp_path_.empty(); ++attempt) {
      std::string name = temporary_name(dir, unique_suffix());
      if (::linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_path_ = name;
        arm_cleanup(temp_path_);
      } else if (errno != EEXIST || attempt > 100) {
        fail("cannot name output");
      }
    }
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("cannot close output");
  if (::rename(temp_path_.c_str(), target_.c_str()) != 0) fail("cannot replace output");
  temp_path_.clear();
  disarm_cleanup();

  // Make the rename itself durable; the data already is.
  int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}

namespace {

int open_unnamed(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = dir + "/.quelvarn-spool.XXXXXX";
  signal_guard guard;
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

}  // namespace

spool_file::spool_file(const std::string& output_path) {
  struct stat st {};
  if (::stat(output_path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
    fd_ = open_unnamed(dir_of(resolve_links(output_path)));
  if (fd_ < 0) {
    const char* tmp = ::getenv("TMPDIR");
    fd_ = open_unnamed(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  }
  if (fd_ < 0) fail("cannot create scratch file");
  sink_ = fd_sink(fd_);
}

spool_file::~spool_file() {
  if (fd_ >= 0) ::close(fd_);
}

byte_source& spool_file::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) != 0)
    throw read_error(std::string("cannot rewind scratch file: ") + std::strerror(errno));
  source_ = fd_source(fd_);
  return source_;
}

}  // namespace quelvarn
