// Everything quelvarn asks of the operating system, apart from the safe
// replacement of the output (output_file.h). platform-posix.cc and
// platform-win32.cc implement it; CMake builds the one for the target. No
// other file includes a system header or sees a descriptor or a handle.
#ifndef QUELVARN_PLATFORM_H_
#define QUELVARN_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/io.h"

namespace quelvarn {

/// The arguments after the program's name, in UTF-8 whatever the system's
/// own encoding (Windows hands them over as UTF-16). Also sets the process
/// up so that write failures come back as errors to report, not as signals.
std::vector<std::string> start_process(int argc, char** argv);

/// What makes a file the same file under any path or link to it.
struct file_identity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const file_identity&) const = default;
};

struct input_file {
  /// Reads the file. Knowing the size a regular file had when it was opened,
  /// it treats an early end (the file was truncated while being read) as a
  /// read error rather than as a shorter catalogue.
  std::unique_ptr<byte_source> source;
  /// Nothing for what has no identity to compare (a pipe, a device).
  std::optional<file_identity> identity;
};

/// Opens a file, pipe or device for reading; a directory is refused. Throws
/// read_error with the system's cause.
input_file open_input(const std::string& path);

/// The identity of the file a path names, or nothing if it names none.
std::optional<file_identity> identify(const std::string& path);

/// What changes when a file is replaced or written to: its identity, size
/// and time of last change.
struct file_stamp {
  file_identity identity;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const file_stamp&) const = default;
};
/// The stamp of the file a path names, or nothing if it names none.
std::optional<file_stamp> stamp(const std::string& path);

/// What a path names, through any links. Only a regular file may be read as
/// a catalogue: reading a pipe or a device could block or never end.
enum class file_kind { none, regular, directory, other };
file_kind kind_of_file(const std::string& path);

enum class standard_stream { output, error };

/// How lines end in text written for the user: CR LF on Windows, LF
/// elsewhere. A NUL follows it, for the last words of a process that cannot
/// allocate.
extern const std::string_view kLineEnd;
/// What separates the folders of a path: '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

/// Writes one whole line, with kLineEnd, at once. False if it could not be
/// written (a console that has gone away, which must not stop a conversion).
bool write_line(standard_stream to, std::string_view line);

/// Writes bytes as they are, allocating nothing: for the last words of a
/// process that has run out of memory.
void write_unbuffered(standard_stream to, std::string_view bytes) noexcept;

/// Whether the path names the file, pipe or device that the stream already
/// is.
bool names_stream(const std::string& path, standard_stream stream);

/// Whether the stream is a terminal, where a line can be drawn again in place.
bool is_terminal(standard_stream stream);

/// Writes text as it is to standard error's terminal (the console, on
/// Windows): for a status line drawn in place. False if it could not be.
bool write_to_terminal(std::string_view text);

/// Where downloads are kept when the command line names no folder:
/// $XDG_CACHE_HOME/quelvarn, else ~/.cache/quelvarn (Linux, the BSDs),
/// ~/Library/Caches/quelvarn (macOS), %LOCALAPPDATA%\quelvarn\cache
/// (Windows). Empty when the system names no home.
std::string default_cache_dir();

/// Makes a folder and the parents it lacks. Throws write_error.
void make_directories(const std::string& path);

/// A lock on a file kept for it alone, held until destroyed: one writer's
/// alone (the file is made when missing), or shared among readers (only
/// when the file exists: before any writer, there is nothing to guard).
/// Runs that lock the same path wait for each other, whatever process they
/// are in. Throws write_error.
class file_lock {
 public:
  enum class kind { shared, exclusive };
  file_lock(const std::string& path, kind k);
  ~file_lock();
  file_lock(const file_lock&) = delete;
  file_lock& operator=(const file_lock&) = delete;

 private:
  struct held;  // the platform's descriptor or handle
  std::unique_ptr<held> held_;
};

/// Removes a file; false when it could not be (or there was none).
bool remove_file(const std::string& path);

/// Starts a thread that never handles a signal or console event, so that
/// they always reach the thread whose handlers clean up after the run.
std::thread start_quiet_thread(std::function<void()> body);

}  // namespace quelvarn

#endif  // QUELVARN_PLATFORM_H_
