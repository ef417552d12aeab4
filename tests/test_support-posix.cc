// Running the built quelvarn from the tests, on POSIX systems. (The Windows
// build is run end to end by tests/windows_end_to_end.py under Wine.)
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "test_support.h"

namespace quelvarn::testing {

namespace {

std::string drain(int fd) {
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

process spawn(const std::string& binary, const std::vector<std::string>& args,
              const std::function<void()>& before_exec) {
  // Standard error goes to a file, so that neither stream can fill its pipe
  // while the other is being read.
  int out_pipe[2];
  process p;
  p.errors = std::tmpfile();
  if (::pipe(out_pipe) != 0 || p.errors == nullptr) throw std::runtime_error("pipe failed");
  p.pid = ::fork();
  if (p.pid == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(::fileno(p.errors), 2);
    ::close(out_pipe[0]);
    if (before_exec) before_exec();
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  p.console_fd = out_pipe[0];
  return p;
}

}  // namespace

process spawn_quelvarn(const std::vector<std::string>& args, const std::function<void()>& before_exec) {
  return spawn(QUELVARN_BINARY, args, before_exec);
}

run_result run_quelvarn_unprivileged(const std::vector<std::string>& args) {
  if (::geteuid() != 0) return run_quelvarn(args);
  // The program needs only itself and the system's libraries.
  temp_dir reachable;
  std::string copy = reachable.path("quelvarn");
  std::filesystem::copy_file(QUELVARN_BINARY, copy);
  ::chmod(reachable.path("").c_str(), 0755);
  ::chmod(copy.c_str(), 0755);
  process p = spawn(copy, args, [&copy] {
    gid_t nobody = 65534;
    if (::chdir("/") != 0 || ::setgroups(1, &nobody) != 0 || ::setgid(nobody) != 0 || ::setuid(65534) != 0 ||
        ::access(copy.c_str(), X_OK) != 0)
      ::_exit(77);
  });
  return finish(p);
}

bool wait_for_console(process& p, const std::string& text, std::string& seen) {
  char buf[4096];
  while (seen.find(text) == std::string::npos) {
    ssize_t n = ::read(p.console_fd, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

run_result finish(process& p, const std::string& seen) {
  run_result result;
  result.console = seen + drain(p.console_fd);
  int wstatus = 0;
  struct rusage usage {};
  ::wait4(p.pid, &wstatus, 0, &usage);
  result.peak_memory_kib = usage.ru_maxrss;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  ::lseek(::fileno(p.errors), 0, SEEK_SET);
  result.errors = drain(::dup(::fileno(p.errors)));
  std::fclose(p.errors);
  return result;
}

}  // namespace quelvarn::testing
