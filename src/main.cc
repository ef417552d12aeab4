// quelvarn: converts the Minor Planet Center's MPCORB catalogue into the
// minor-body catalogue (ssystem_minor.ini) that Stellarium reads.

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <string_view>

#include "conversion.h"
#include "input_stream.h"
#include "io.h"
#include "line_reader.h"
#include "output_buffer.h"
#include "output_file.h"
#include "version.h"

namespace quelvarn {
namespace {

enum exit_status { kSuccess = 0, kFailure = 1, kUsage = 2 };

void usage(console& con) {
  con.say("");
  con.say(" missing parameters or missing all parameters");
  con.say(" <file In> <file Out>");
  con.say(" example: quelvarn MPCORB.DAT ssystem_minor.ini");
  con.say("");
}

void help(console& con) {
  con.say(std::string("quelvarn ") + kVersion +
          ": converts the Minor Planet Center's orbit catalogue (MPCORB.DAT, plain or");
  con.say("gzip-compressed) into the minor-body catalogue that the Stellarium planetarium");
  con.say("reads (ssystem_minor.ini).");
  con.say("");
  con.say("Usage: quelvarn INPUT OUTPUT");
  con.say("       quelvarn --help | --version");
  con.say("");
  con.say("  INPUT   the catalogue: MPCORB.DAT or MPCORB.DAT.gz");
  con.say("  OUTPUT  the catalogue to write, such as ~/.stellarium/data/ssystem_minor.ini;");
  con.say("          it is replaced only once the whole conversion has succeeded");
  con.say("");
  con.say("Messages go to standard output, or to standard error when OUTPUT is");
  con.say("standard output itself (quelvarn MPCORB.DAT /dev/stdout | ...).");
  con.say("");
  con.say("Exit status: 0 converted; 1 the input or the output failed (an existing");
  con.say("OUTPUT is left as it was); 2 wrong arguments.");
  con.say("");
  con.say("The MPC publishes the catalogue daily:");
  con.say("  https://www.minorplanetcenter.net/iau/MPCORB/MPCORB.DAT.gz");
}

void banner(console& con) {
  con.say("");
  con.say(std::string(" quelvarn ") + kVersion);
  con.say("");
}

int fail(console& con, const std::string& message) {
  con.say("");
  con.say(message);
  banner(con);
  return kFailure;
}

// Whether path names the file or pipe that standard output already is.
bool is_standard_output(const std::string& path) {
  struct stat path_stat {};
  struct stat out_stat {};
  return ::stat(path.c_str(), &path_stat) == 0 && ::fstat(STDOUT_FILENO, &out_stat) == 0 &&
         path_stat.st_dev == out_stat.st_dev && path_stat.st_ino == out_stat.st_ino;
}

// A missing path and a directory are "not there" for the user; anything else
// that exists but cannot be opened is a file they cannot read.
enum class open_outcome { opened, missing, unreadable };

open_outcome open_input(const std::string& path, int& fd, struct stat& st) {
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? open_outcome::missing
                                                                        : open_outcome::unreadable;
  }
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return open_outcome::missing;
  }
  return open_outcome::opened;
}

// What has been reached decides the message when memory or threads run out.
enum class stage { reading, writing };

int convert(const std::string& in_path, const std::string& out_path, int in_fd, const struct stat& in_stat,
            console& con, bool to_standard_output, stage& reached) {
  long long expected_size = S_ISREG(in_stat.st_mode) ? static_cast<long long>(in_stat.st_size) : -1;
  std::unique_ptr<byte_source> input = open_catalogue_stream(std::make_unique<fd_source>(in_fd, expected_size));
  line_reader lines(*input);
  if (!read_title(lines)) return fail(con, " file " + in_path + " is bad");

  struct stat out_stat {};
  if (::stat(out_path.c_str(), &out_stat) == 0 && out_stat.st_dev == in_stat.st_dev &&
      out_stat.st_ino == in_stat.st_ino) {
    return fail(con, " file " + out_path + " is the input file");
  }

  reached = stage::writing;
  output_file out = to_standard_output ? output_file(output_file::standard_output) : output_file(out_path);
  con.say("");
  con.say(" Starting");
  con.say("");
  output_buffer buffer(out.sink());
  conversion_counts counts = convert_records(lines, buffer, con);
  buffer.finish();
  // Nothing convertible: replacing a catalogue with an empty one would lose it.
  if (counts.converted == 0) return fail(con, " file " + in_path + " is bad");
  out.commit();

  con.say("");
  con.say(" End of processing: " + decimal(counts.records) + " asteroids.");
  if (counts.skipped > 0) con.say(" Skipped records: " + decimal(counts.skipped));
  con.say("");
  con.say(" Finished");
  banner(con);
  return kSuccess;
}

// The order of the checks matters: nothing may touch the output before the
// input has shown itself to be a catalogue, so that a swapped pair of
// arguments or a typo cannot cost the user the catalogue they have.
int run(const std::string& in_path, const std::string& out_path) {
  // The catalogue must never be mixed with the messages.
  bool to_standard_output = is_standard_output(out_path);
  console con(to_standard_output ? STDERR_FILENO : STDOUT_FILENO);

  int in_fd = -1;
  struct stat in_stat {};
  switch (open_input(in_path, in_fd, in_stat)) {
    case open_outcome::missing:
      return fail(con, " file " + in_path + " not exits");
    case open_outcome::unreadable:
      return fail(con, " file " + in_path + " cannot be read");
    case open_outcome::opened:
      break;
  }
  struct fd_closer {
    int fd;
    ~fd_closer() { ::close(fd); }
  } in_closer{in_fd};

  stage reached = stage::reading;
  try {
    return convert(in_path, out_path, in_fd, in_stat, con, to_standard_output, reached);
  } catch (const read_error&) {
    return fail(con, " file " + in_path + " cannot be read");
  } catch (const write_error&) {
    return fail(con, " file " + out_path + " cannot be written");
  } catch (const std::exception&) {
    // Out of memory, or no thread could be started.
    return fail(con, reached == stage::reading ? " file " + in_path + " cannot be read"
                                               : " file " + out_path + " cannot be written");
  }
}

// Descriptors 0-2 that the caller left closed would otherwise be taken by
// the first files opened, and the messages would land in the catalogue.
void occupy_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) (void)::open("/dev/null", O_RDWR);
  }
}

}  // namespace
}  // namespace quelvarn

int main(int argc, char** argv) {
  using namespace quelvarn;
  occupy_standard_descriptors();
  // Write errors must come back as errors we can report, not as signals
  // that kill the run without a word: a reader that went away (SIGPIPE) or a
  // file-size limit (SIGXFSZ).
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);

  try {
    console con(STDOUT_FILENO);
    if (argc == 2) {
      std::string_view arg = argv[1];
      if (arg == "--help" || arg == "-h") {
        help(con);
        return kSuccess;
      }
      if (arg == "--version") {
        con.say(std::string("quelvarn ") + kVersion);
        return kSuccess;
      }
    }
    if (argc != 3) {
      usage(con);
      return kUsage;
    }
    return run(argv[1], argv[2]);
  } catch (...) {
    // Not even a message could be built: the status must still say so.
    return kFailure;
  }
}
