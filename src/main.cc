// quelvarn: converts the Minor Planet Center's MPCORB catalogue into the
// minor-body catalogue (ssystem_minor.ini) that Stellarium reads.

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

// The order of the checks matters: nothing may touch the output before the
// input has shown itself to be a catalogue, so that a swapped pair of
// arguments or a typo cannot cost the user the catalogue they have.
int run(const std::string& in_path, const std::string& out_path, console& con) {
  int in_fd = ::open(in_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat in_stat {};
  if (in_fd < 0 || ::fstat(in_fd, &in_stat) != 0 || S_ISDIR(in_stat.st_mode)) {
    if (in_fd >= 0) ::close(in_fd);
    return fail(con, " file " + in_path + " not exits");
  }
  struct fd_closer {
    int fd;
    ~fd_closer() { ::close(fd); }
  } in_closer{in_fd};

  try {
    long long expected_size = S_ISREG(in_stat.st_mode) ? static_cast<long long>(in_stat.st_size) : -1;
    std::unique_ptr<byte_source> input = open_catalogue_stream(std::make_unique<fd_source>(in_fd, expected_size));
    line_reader lines(*input);
    if (!read_title(lines)) return fail(con, " file " + in_path + " is bad");

    struct stat out_stat {};
    if (::stat(out_path.c_str(), &out_stat) == 0 && out_stat.st_dev == in_stat.st_dev &&
        out_stat.st_ino == in_stat.st_ino) {
      return fail(con, " file " + out_path + " is the input file");
    }

    try {
      output_file out(out_path);
      con.say("");
      con.say(" Starting");
      con.say("");
      output_buffer buffer(out.sink());
      conversion_counts counts = convert_records(lines, buffer, con);
      buffer.finish();
      out.commit();

      con.say("");
      con.say(" End of processing: " + decimal(counts.records) + " asteroids.");
      if (counts.skipped > 0) con.say(" Skipped records: " + decimal(counts.skipped));
      con.say("");
      con.say(" Finished");
      banner(con);
      return kSuccess;
    } catch (const write_error&) {
      return fail(con, " file " + out_path + " cannot be written");
    }
  } catch (const read_error&) {
    return fail(con, " file " + in_path + " cannot be read");
  }
}

}  // namespace
}  // namespace quelvarn

int main(int argc, char** argv) {
  using namespace quelvarn;
  // Write errors must come back as errors we can report, not as signals
  // that kill the run without a word: a reader that went away (SIGPIPE) or a
  // file-size limit (SIGXFSZ).
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);

  console con(STDOUT_FILENO);
  if (argc == 2) {
    std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
      usage(con);
      return kSuccess;
    }
    if (arg == "--version") {
      con.say(std::string("quelvarn ") + kVersion + " (gzip: " + gzip_decoder_name() + ")");
      return kSuccess;
    }
  }
  if (argc != 3) {
    usage(con);
    return kUsage;
  }
  return run(argv[1], argv[2], con);
}
