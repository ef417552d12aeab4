#include "test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "version.h"

namespace quelvarn::testing {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quelvarn-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> temp_dir::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string gzip_bytes(const std::string& plain) {
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, plain.size()), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

const std::string& genuine_header() {
  static const std::string text = read_file(QUELVARN_TEST_DATA "/mpcorb-header.txt");
  return text;
}

const std::string& genuine_records() {
  static const std::string text = read_file(QUELVARN_TEST_DATA "/mpcorb-records.txt");
  return text;
}

namespace {

std::string drain(int fd) {
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

}  // namespace

process spawn_quelvarn(const std::vector<std::string>& args, const std::function<void()>& before_exec) {
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
    std::vector<char*> argv{const_cast<char*>(QUELVARN_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(QUELVARN_BINARY, argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  p.console_fd = out_pipe[0];
  return p;
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

std::string banner() { return std::string("\n quelvarn ") + kVersion + "\n\n"; }

std::string failure(const std::string& message) { return "\n" + message + "\n" + banner(); }

}  // namespace quelvarn::testing
