// Helpers shared by the tests: temporary directories, files, running the binary.
#ifndef QUELVARN_TEST_SUPPORT_H_
#define QUELVARN_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

#include "common/io.h"

struct gz_header_s;  // zlib's gz_header

namespace quelvarn::testing {

/// A fresh directory, removed with everything in it at the end of the test.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  /// Names in the directory, sorted.
  std::vector<std::string> names() const;

 private:
  std::string dir_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
/// One gzip member of plain, with header's optional fields when given.
std::string gzip_bytes(const std::string& plain, gz_header_s* header = nullptr);

/// The genuine header and the varied genuine records shipped for tests.
const std::string& genuine_header();
const std::string& genuine_records();

struct run_result {
  int status = -1;      // exit status, or 128 + signal
  std::string console;  // standard output
  std::string errors;   // standard error
  long peak_memory_kib = 0;
};

/// A quelvarn started in the background.
struct process {
  int pid = -1;
  int console_fd = -1;  // read end of its standard output
  FILE* errors = nullptr;
};

/// Starts the built quelvarn with these arguments. before_exec runs in the
/// child just before exec (to set limits, signal dispositions or the user).
process spawn_quelvarn(const std::vector<std::string>& args, const std::function<void()>& before_exec = {});

/// Reads the console until this text has appeared; false if it never does.
bool wait_for_console(process& p, const std::string& text, std::string& seen);

/// Waits for the process and collects the rest of what it printed.
run_result finish(process& p, const std::string& seen = "");

inline run_result run_quelvarn(const std::vector<std::string>& args, const std::function<void()>& before_exec = {}) {
  process p = spawn_quelvarn(args, before_exec);
  return finish(p);
}

/// Runs quelvarn as an ordinary user, as checks of file permissions need
/// (root reads and writes anything): as root, a copy of it that such a user
/// can reach (the build may lie in a home only root enters) runs as user
/// 65534. Status 77 when that cannot be done here.
run_result run_quelvarn_unprivileged(const std::vector<std::string>& args);

/// The text with every LF made CR LF.
std::string crlf(const std::string& text);

/// The closing banner every two-argument run ends with.
std::string banner();

/// What a run rejected with this message prints.
std::string failure(const std::string& message);

}  // namespace quelvarn::testing

#endif  // QUELVARN_TEST_SUPPORT_H_
